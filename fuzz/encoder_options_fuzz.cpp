// Fuzzes the encoder program's command line: the input is split at NUL bytes into arguments.
// Parsing never throws; an accepted request names an input, an output, a rate within its limits
// and only tags that were given; an error comes with its message.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "encoder/options.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "contract broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> args;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    args.emplace_back(all.data() + start, end - start);
    start = end + 1;
  }
  encoder::ParseResult r;
  try {
    r = encoder::ParseCommandLine(args);
  } catch (...) {
    Broken("the parser threw");
  }
  using encoder::ParseAction;
  switch (r.action) {
    case ParseAction::Error:
      if (r.error.empty()) Broken("an error without its message");
      break;
    case ParseAction::Encode: {
      const encoder::Options& o = r.options;
      if (o.input.empty() || o.output.empty()) Broken("a request without input or output");
      if (o.bitrate_kbps < encoder::kMinBitrateKbps || o.bitrate_kbps > encoder::kMaxBitrateKbps)
        Broken("a bit rate out of range");
      if (o.mode == encoder::RateMode::Quality &&
          (o.quality < encoder::kMinQuality || o.quality > encoder::kMaxQuality))
        Broken("a quality out of range");
      if (all.find("--") == std::string::npos && o.tags.title) Broken("a title nobody gave");
      break;
    }
    case ParseAction::Help:
    case ParseAction::Version:
      break;
  }
  return 0;
}
