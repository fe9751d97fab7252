#include "analysis/loudness_worker.h"

#include <utility>

namespace analysis {

LoudnessWorker::LoudnessWorker(Measure measure, std::chrono::milliseconds settle)
    : measure_(std::move(measure)), settle_(settle), thread_([this] { Run(); }) {}

LoudnessWorker::~LoudnessWorker() { Stop(); }

void LoudnessWorker::Request(const PartRequest& request) {
  std::lock_guard<std::mutex> hold(lock_);
  if (stop_ || (hasAsked_ && SameRequest(asked_, request))) return;
  asked_ = request;
  hasAsked_ = true;
  pending_ = true;
  askedAt_ = std::chrono::steady_clock::now();
  ++generation_;
  reading_.measuring = true;
  cancel_.store(true);
  wake_.notify_all();
}

void LoudnessWorker::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  if (stop_) return;
  hasAsked_ = false;
  pending_ = false;
  ++generation_;
  cancel_.store(true);
  reading_.measuring = false;
  reading_.request = PartRequest{};
  reading_.loudness.reset();
  ++reading_.serial;
}

void LoudnessWorker::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    reading_.measuring = false;
    cancel_.store(true);
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

LoudnessWorker::Reading LoudnessWorker::Latest() const {
  std::lock_guard<std::mutex> hold(lock_);
  return reading_;
}

void LoudnessWorker::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [this] { return stop_ || pending_; });
    if (stop_) return;
    // Settle: a newer request within the settle time starts the wait again.
    const auto until = askedAt_ + settle_;
    if (std::chrono::steady_clock::now() < until) {
      wake_.wait_until(hold, until, [this] { return stop_; });
      continue;
    }
    const PartRequest request = asked_;
    const uint64_t generation = generation_;
    pending_ = false;
    cancel_.store(false);
    hold.unlock();
    std::optional<PartLoudness> loudness = measure_(request, &cancel_);
    hold.lock();
    // A newer request or a clear came meanwhile: this reading is of nothing shown any more.
    if (generation != generation_ || stop_) continue;
    reading_.request = request;
    reading_.loudness = std::move(loudness);
    reading_.measuring = false;
    ++reading_.serial;
  }
}

}  // namespace analysis
