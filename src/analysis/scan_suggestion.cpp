#include "analysis/scan_suggestion.h"

#include <utility>

#include "analysis/song_analysis.h"

namespace analysis {

ScanSuggestion::~ScanSuggestion() { JoinWorker(); }

void ScanSuggestion::ScanStarted(audio::Handle stream) {
  Clear();
  audio::ChannelInfo info{};
  if (!audio::ChannelGetInfo(stream, &info) || info.bits != 16 || info.freq == 0 || info.chans == 0) {
    gatherer_.reset();
    return;
  }
  gatherer_ = std::make_unique<FeatureWorker>(info.freq, info.chans);
  if (audio::ChannelSetDSP(stream, &ScanSuggestion::Feed, gatherer_.get(), 0) == 0) gatherer_.reset();
}

void ScanSuggestion::ScanEnded(audio::Handle, bool complete) {
  if (!gatherer_) return;
  // The DSP goes with the stream, which is freed after this returns; it is not fed any more.
  Features features = gatherer_->Finish();
  gatherer_.reset();
  if (!complete) return;
  const std::lock_guard<std::mutex> lock(workerMutex_);
  if (worker_.joinable()) worker_.join();  // none is left running by ScanStarted; kept safe anyway
  worker_ = std::thread([this, f = std::move(features)] {
    const SongAnalysis song = AnalyseSong(f, length_, kOfferedParts);
    std::vector<Part> parts;
    for (const Suggestion& found : song.parts) parts.push_back(found.part);
    wave::SongMap map = song.Map();
    const std::lock_guard<std::mutex> readyLock(mutex_);
    ready_ = std::move(parts);
    map_ = std::move(map);
  });
}

void ScanSuggestion::JoinWorker() {
  const std::lock_guard<std::mutex> lock(workerMutex_);
  if (worker_.joinable()) worker_.join();
}

void ScanSuggestion::Clear() {
  // The worker publishes under mutex_ only, never under workerMutex_: joining here cannot deadlock.
  JoinWorker();
  const std::lock_guard<std::mutex> lock(mutex_);
  ready_.clear();
  map_ = wave::SongMap{};
}

std::optional<Part> ScanSuggestion::Ready() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (ready_.empty()) return std::nullopt;
  return ready_.front();
}

std::vector<Part> ScanSuggestion::ReadyParts() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return ready_;
}

wave::SongMap ScanSuggestion::ReadyMap() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return map_;
}

std::optional<Part> ScanSuggestion::WaitReady() {
  JoinWorker();
  return Ready();
}

void ScanSuggestion::Feed(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user) {
  static_cast<FeatureWorker*>(user)->Push(buffer, length);
}

}  // namespace analysis
