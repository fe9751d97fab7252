#include "analysis/suggest_file.h"

#include <vector>

#include "analysis/features.h"
#include "audio/engine.h"
#include "source/openers.h"

namespace analysis {

std::optional<Features> FeaturesOfFile(const std::string& path) {
  const audio::Handle stream = source::OpenSourceStream(path, source::kScanFlags);
  if (stream == 0) return std::nullopt;
  audio::ChannelInfo info{};
  if (!audio::ChannelGetInfo(stream, &info) || info.bits != 16 || info.freq == 0 || info.chans == 0) {
    audio::StreamFree(stream);
    return std::nullopt;
  }
  FeatureGatherer gatherer(info.freq, info.chans);
  std::vector<uint8_t> block(1 << 16);
  for (;;) {
    const uint32_t got = audio::ChannelGetData(stream, block.data(), static_cast<uint32_t>(block.size()));
    if (got == audio::DATA_ERROR || got == 0) break;
    gatherer.Push(block.data(), got);
  }
  audio::StreamFree(stream);
  Features features = gatherer.Finish();
  if (features.frames == 0) return std::nullopt;
  return features;
}

std::optional<Suggestion> SuggestPartOfFile(const std::string& path, double lengthSeconds) {
  const auto features = FeaturesOfFile(path);
  if (!features) return std::nullopt;
  return SuggestPart(*features, lengthSeconds);
}

std::optional<std::vector<Suggestion>> SuggestPartsOfFile(const std::string& path, double lengthSeconds, size_t count) {
  const auto features = FeaturesOfFile(path);
  if (!features) return std::nullopt;
  return SuggestParts(*features, lengthSeconds, count);
}

}  // namespace analysis
