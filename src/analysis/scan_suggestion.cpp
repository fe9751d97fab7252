#include "analysis/scan_suggestion.h"

namespace analysis {

void ScanSuggestion::ScanStarted(audio::Handle stream) {
  Clear();
  audio::ChannelInfo info{};
  if (!audio::ChannelGetInfo(stream, &info) || info.bits != 16 || info.freq == 0 || info.chans == 0) {
    gatherer_.reset();
    return;
  }
  gatherer_ = std::make_unique<FeatureGatherer>(info.freq, info.chans);
  if (audio::ChannelSetDSP(stream, &ScanSuggestion::Feed, gatherer_.get(), 0) == 0) gatherer_.reset();
}

void ScanSuggestion::ScanEnded(audio::Handle, bool complete) {
  if (!gatherer_) return;
  // The DSP goes with the stream, which is freed after this returns; it is not fed any more.
  const Features features = gatherer_->Finish();
  gatherer_.reset();
  if (!complete) return;
  const Part part = SuggestPart(features, length_).part;
  const std::lock_guard<std::mutex> lock(mutex_);
  ready_ = part;
}

void ScanSuggestion::Clear() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ready_.reset();
}

std::optional<Part> ScanSuggestion::Ready() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return ready_;
}

void ScanSuggestion::Feed(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user) {
  static_cast<FeatureGatherer*>(user)->Push(buffer, length);
}

}  // namespace analysis
