// Fuzzes the file decoder's contract on bytes in memory, read through the engine's own I/O layer:
// whatever opens decodes without error or hang and ends; with a prescan it yields at most its
// length, and seeks inside the length either work or keep the position. Built once with the
// general opener (open_decode_fuzz) and once per opener family (open_<family>_fuzz, with
// TW_FUZZ_FAMILY and the extension the window gives that family).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/decoder.h"

#ifndef TW_FUZZ_FAMILY
#define TW_FUZZ_FAMILY Any
#define TW_FUZZ_NAME "input"
#endif

namespace {

using audio::detail::DecoderOptions;
using audio::detail::Family;
using audio::detail::FileDecoder;

// Decoding per input stops here: a few KiB of a tracker module or a damaged header can describe
// minutes of audio, and the contract is the same for the first seconds.
constexpr int64_t kDecodeBound = 1 << 16;

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "contract broken: %s\n", what);
  std::abort();
}

void Check(const uint8_t* data, size_t size, bool prescan, int seek) {
  DecoderOptions options;
  options.family = Family::TW_FUZZ_FAMILY;
  options.prescan = prescan;
  options.memory = data;
  options.memory_size = size;
  // A prescan renders a tracker song whole: songs longer than the decoding bound keep their
  // reported length, which reads must then respect as well.
  options.longest_rendered_seconds = 1;
  int error = 0;
  auto dec = FileDecoder::Open(TW_FUZZ_NAME, options, &error);
  if (!dec) {
    if (error == 0) Broken("failed open without an error code");
    return;
  }
  if (dec->Rate() == 0 || dec->Channels() == 0) Broken("opened without rate or channels");
  const int64_t length = dec->LengthFrames();
  std::vector<int16_t> piece(1000 * dec->Channels());
  int64_t total = 0;
  bool ended = false;
  while (total < kDecodeBound) {
    const size_t got = dec->Read(piece.data(), 1000);
    if (got > 1000) Broken("read more than asked");
    if (got == 0) {
      ended = true;
      break;
    }
    total += static_cast<int64_t>(got);
    if (prescan && length >= 0 && total > length) Broken("decoded past the prescanned length");
  }
  if (ended) {
    if (!dec->AtEnd()) Broken("not at end after the last read");
    if (dec->Read(piece.data(), 10) != 0) Broken("data after the end");
  }
  if (length <= 0) return;
  // One seek per input, chosen by the input's size as the prescan is: each seek that starts
  // afresh reopens the file, and three of them cost more than the opening and the decode.
  // Seeks that decode from the start (modules, WMA) cost their target: targets stay within the
  // decoding bound, and the end is tried only where it lies within it.
  switch (seek) {
    case 0:
    case 1: {
      const int64_t last = length - 1 <= kDecodeBound ? length - 1 : kDecodeBound / 2;
      const int64_t target = seek == 0 ? std::min(length / 2, kDecodeBound / 4) : last;
      if (dec->Seek(target)) {
        const size_t got = dec->Read(piece.data(), 1000);
        if (prescan && static_cast<int64_t>(got) > length - target) Broken("read past the length after a seek");
      }
      break;
    }
    default:
      // Past an exact length nothing is found; past an estimate the decoder looks for the
      // position, which for a family that seeks by decoding means rendering the whole song: tried
      // only where that stays within the bound.
      if (length < kDecodeBound && dec->Seek(length + 1) && !dec->LengthIsEstimate()) {
        Broken("seek past an exact length succeeded");
      }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One opening per input, with or without the prescan by the parity of its size and with one
  // of the seeks by the next bits: the fuzzer reaches every pairing by adding or dropping bytes,
  // at a fraction of the cost of trying each on every input.
  Check(data, size, (size & 1) == 0, static_cast<int>((size >> 1) % 3));
  return 0;
}
