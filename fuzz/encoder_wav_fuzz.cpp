// Fuzzes the encoder program's WAV reader, which takes whatever arrives on its standard input:
// a header either reads or fails with the program's error, the frames come whole and within the
// header's size, and every sample converts to a finite value (in [-1, 1] for integer samples).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "encoder/errors.h"
#include "encoder/input_stream.h"
#include "encoder/sample_convert.h"
#include "encoder/wav_reader.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "contract broken: %s\n", what);
  std::abort();
}

constexpr size_t kBlock = 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  encoder::MemoryInput in(std::vector<uint8_t>(data, data + size), "standard input");
  encoder::WavReader reader(in);
  try {
    reader.ReadHeader();
  } catch (const encoder::EncodeError&) {
    return 0;
  }
  const encoder::WavFormat& f = reader.format();
  if (f.channels == 0 || f.rate == 0 || f.FrameBytes() == 0) Broken("a header without channels, rate or frame size");
  if (f.FrameBytes() > 64 * 1024) return 0;  // the encoder refuses these later; no need to buffer them
  std::vector<uint8_t> buf(kBlock * f.FrameBytes());
  std::vector<std::vector<float>> planes(f.channels, std::vector<float>(kBlock));
  std::vector<float*> ptrs;
  for (auto& p : planes) ptrs.push_back(p.data());
  const bool integer = f.type != encoder::SampleType::F32 && f.type != encoder::SampleType::F64;
  uint64_t frames = 0;
  try {
    while (const size_t n = reader.ReadFrames(buf.data(), kBlock)) {
      if (n > kBlock) Broken("more frames than asked");
      frames += n;
      encoder::ToPlanarFloat(buf.data(), n, f, ptrs.data());
      for (const auto& p : planes) {
        for (size_t i = 0; i < n; ++i) {
          if (!std::isfinite(p[i])) Broken("a sample not finite");
          if (integer && (p[i] < -1.0f || p[i] > 1.0f)) Broken("an integer sample out of range");
        }
      }
    }
  } catch (const encoder::EncodeError&) {
    return 0;
  }
  if (frames != reader.frames_read()) Broken("frames_read disagrees");
  if (f.data_bytes && frames * f.FrameBytes() > *f.data_bytes) Broken("read past the data size");
  if (frames * f.FrameBytes() > size) Broken("more data than the input held");
  return 0;
}
