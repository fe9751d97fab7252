#include "analysis/feature_worker.h"

#include <cstring>
#include <utility>

namespace analysis {

FeatureWorker::FeatureWorker(uint32_t rate, uint32_t channels) : gatherer_(rate, channels), thread_([this] { Loop(); }) {
  filling_.reserve(kBlockBytes + 65536);
}

FeatureWorker::~FeatureWorker() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  ready_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void FeatureWorker::Push(const void* data, size_t bytes) {
  const auto* p = static_cast<const uint8_t*>(data);
  filling_.insert(filling_.end(), p, p + bytes);
  if (filling_.size() >= kBlockBytes) Send();
}

void FeatureWorker::Send() {
  if (filling_.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait(lock, [&] { return queued_ + filling_.size() <= kQueuedBytes || queue_.empty(); });
  queued_ += filling_.size();
  queue_.push_back(std::move(filling_));
  filling_.clear();
  if (!spare_.empty()) {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
    filling_.clear();
  }
  lock.unlock();
  ready_.notify_one();
}

Features FeatureWorker::Finish() {
  Send();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  ready_.notify_all();
  if (thread_.joinable()) thread_.join();
  return gatherer_.Finish();
}

void FeatureWorker::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ready_.wait(lock, [&] { return stop_ || finished_ || !queue_.empty(); });
    if (stop_ || queue_.empty()) return;  // stopped, or finished with nothing left
    std::vector<uint8_t> block = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    gatherer_.Push(block.data(), block.size());
    lock.lock();
    queued_ -= block.size();
    spare_.push_back(std::move(block));
    room_.notify_one();
  }
}

}  // namespace analysis
