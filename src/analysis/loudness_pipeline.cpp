#include "analysis/loudness_pipeline.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <system_error>

namespace analysis {

namespace {

// True-peak chunks queued beyond this are taken by the caller between its blocks, so the helper
// keeps up with the loudness and the queue (the memory) stays small.
constexpr size_t kPeakBacklog = 4;
// The caller waits while the loudness queue is this long.
constexpr size_t kLoudnessLag = 16;

}  // namespace

struct LoudnessPipeline::Ebur128 {
  explicit Ebur128(ebur128_state* s) : st(s) {}
  ~Ebur128() { ebur128_destroy(&st); }
  Ebur128(const Ebur128&) = delete;
  Ebur128& operator=(const Ebur128&) = delete;
  ebur128_state* st;
};

LoudnessPipeline::State LoudnessPipeline::MakeState(int mode) {
  ebur128_state* st = ebur128_init(kChannels, kRate, mode);
  return st != nullptr ? std::make_unique<Ebur128>(st) : nullptr;
}

LoudnessPipeline::LoudnessPipeline() {
  loudness_ = MakeState(EBUR128_MODE_I);
  for (PeakState* peak : {&helperPeak_, &callerPeak_}) {
    peak->state = MakeState(EBUR128_MODE_TRUE_PEAK);
    // Unused channels skip the K-weighting filter, which only the loudness needs; the peaks of
    // every channel are still measured (the sample peak with the true peak).
    for (unsigned c = 0; peak->state != nullptr && c < kChannels; ++c)
      ebur128_set_channel(peak->state->st, c, EBUR128_UNUSED);
  }
  ok_ = loudness_ != nullptr && helperPeak_.state != nullptr && callerPeak_.state != nullptr;
  if (!ok_) return;
  filling_ = std::make_unique<Chunk>();
  filling_->samples.reserve((kHistoryFrames + kChunkFrames) * kChannels);
  filling_->samples.assign(kHistoryFrames * kChannels, 0);  // silence before the first frame
  try {
    helper_ = std::thread([this] { HelperLoop(); });
  } catch (const std::system_error&) {
    // No second thread: Finish measures everything on the caller's.
  }
}

LoudnessPipeline::~LoudnessPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  if (helper_.joinable()) helper_.join();
}

void LoudnessPipeline::Add(const int16_t* samples, size_t frames) {
  if (!ok_ || done_) return;
  while (frames > 0) {
    const size_t own = filling_->samples.size() / kChannels - kHistoryFrames;
    const size_t take = std::min(frames, kChunkFrames - own);
    filling_->samples.insert(filling_->samples.end(), samples, samples + take * kChannels);
    samples += take * kChannels;
    frames -= take;
    if (own + take == kChunkFrames) Publish();
  }
  // Help with the true peaks that pile up, then wait for the loudness if it lags far behind.
  while (true) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (peakQueue_.size() <= kPeakBacklog) break;
    }
    MeasureQueuedPeak(callerPeak_);
  }
  if (helper_.joinable()) {
    std::unique_lock<std::mutex> lock(mutex_);
    drained_.wait(lock, [this] { return loudnessQueue_.size() < kLoudnessLag; });
  }
}

void LoudnessPipeline::Publish() {
  std::shared_ptr<const Chunk> full(std::move(filling_));
  filling_ = std::make_unique<Chunk>();
  filling_->samples.reserve((kHistoryFrames + kChunkFrames) * kChannels);
  filling_->samples.assign(full->samples.end() - kHistoryFrames * kChannels, full->samples.end());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    loudnessQueue_.push_back(full);
    peakQueue_.push_back(std::move(full));
  }
  work_.notify_one();
}

void LoudnessPipeline::MeasurePeak(PeakState& peak, const Chunk& chunk) {
  ebur128_state* st = peak.state->st;
  const size_t frames = chunk.samples.size() / kChannels - kHistoryFrames;
  // The history goes in a call of its own: what the interpolator makes of it is not read.
  ebur128_add_frames_short(st, chunk.samples.data(), kHistoryFrames);
  ebur128_add_frames_short(st, chunk.samples.data() + kHistoryFrames * kChannels, frames);
  for (unsigned c = 0; c < kChannels; ++c) {
    double value = 0;
    if (ebur128_prev_true_peak(st, c, &value) == EBUR128_SUCCESS) peak.truePeak[c] = std::max(peak.truePeak[c], value);
    if (ebur128_prev_sample_peak(st, c, &value) == EBUR128_SUCCESS)
      peak.samplePeak[c] = std::max(peak.samplePeak[c], value);
  }
}

bool LoudnessPipeline::MeasureQueuedPeak(PeakState& peak) {
  std::shared_ptr<const Chunk> chunk;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (peakQueue_.empty()) return false;
    chunk = std::move(peakQueue_.front());
    peakQueue_.pop_front();
  }
  MeasurePeak(peak, *chunk);
  return true;
}

void LoudnessPipeline::HelperLoop() {
  for (;;) {
    std::shared_ptr<const Chunk> chunk;
    bool loudness = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [this] { return stop_ || finished_ || !loudnessQueue_.empty() || !peakQueue_.empty(); });
      if (stop_) return;
      if (!loudnessQueue_.empty()) {
        chunk = std::move(loudnessQueue_.front());
        loudnessQueue_.pop_front();
        loudness = true;
      } else if (!peakQueue_.empty()) {
        chunk = std::move(peakQueue_.front());
        peakQueue_.pop_front();
      } else {
        return;  // finished, nothing left
      }
    }
    if (loudness) {
      ebur128_add_frames_short(loudness_->st, chunk->samples.data() + kHistoryFrames * kChannels,
                               chunk->samples.size() / kChannels - kHistoryFrames);
      drained_.notify_one();
    } else {
      MeasurePeak(helperPeak_, *chunk);
    }
  }
}

LoudnessPipeline::Reading LoudnessPipeline::Finish() {
  Reading reading{-HUGE_VAL, 0, 0};
  if (!ok_ || done_) return reading;
  done_ = true;
  if (filling_->samples.size() > kHistoryFrames * kChannels) Publish();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  work_.notify_all();
  while (MeasureQueuedPeak(callerPeak_)) {
  }
  if (helper_.joinable())
    helper_.join();
  else
    HelperLoop();  // no helper: the loudness chunks are still queued

  double integrated = 0;
  if (ebur128_loudness_global(loudness_->st, &integrated) == EBUR128_SUCCESS) reading.integrated = integrated;
  for (unsigned c = 0; c < kChannels; ++c) {
    reading.truePeak = std::max({reading.truePeak, helperPeak_.truePeak[c], callerPeak_.truePeak[c]});
    reading.samplePeak = std::max({reading.samplePeak, helperPeak_.samplePeak[c], callerPeak_.samplePeak[c]});
  }
  return reading;
}

}  // namespace analysis
