// Fuzzes the file decoder's contract: whatever opens decodes to an end without error or hang;
// with a prescan it yields at most its length, and seeks inside the length either work or keep
// the position.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/decoder.h"

namespace {

using audio::detail::DecoderOptions;
using audio::detail::FileDecoder;

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "contract broken: %s\n", what);
  std::abort();
}

std::string TempPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/tw_fuzz_" + std::to_string(getpid()) + ".bin";
  }();
  return path;
}

void Check(const std::string& path, bool prescan) {
  DecoderOptions options;
  options.prescan = prescan;
  int error = 0;
  auto dec = FileDecoder::Open(path, options, &error);
  if (!dec) {
    if (error == 0) Broken("failed open without an error code");
    return;
  }
  if (dec->Rate() == 0 || dec->Channels() == 0) Broken("opened without rate or channels");
  const int64_t length = dec->LengthFrames();
  std::vector<int16_t> piece(1000 * dec->Channels());
  int64_t total = 0;
  // A bound far above what a 256 KiB input can hold at any rate guards against endless output.
  const int64_t bound = int64_t{dec->Rate()} * 3600;
  while (size_t got = dec->Read(piece.data(), 1000)) {
    if (got > 1000) Broken("read more than asked");
    total += static_cast<int64_t>(got);
    if (total > bound) Broken("decoding does not end");
  }
  if (!dec->AtEnd()) Broken("not at end after the last read");
  if (prescan && length >= 0 && total > length) Broken("decoded past the prescanned length");
  if (dec->Read(piece.data(), 10) != 0) Broken("data after the end");

  if (length > 0) {
    for (const int64_t target : {length / 2, int64_t{0}, length - 1, length / 3}) {
      if (dec->Seek(target)) {
        const size_t got = dec->Read(piece.data(), 1000);
        if (prescan && static_cast<int64_t>(got) > length - target) Broken("read past the length after a seek");
      }
    }
    if (dec->Seek(length + 1)) Broken("seek past the length succeeded");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  Check(path, true);
  Check(path, false);
  std::remove(path.c_str());
  return 0;
}
