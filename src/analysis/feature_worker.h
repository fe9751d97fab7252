// The feature gatherer on a thread of its own, fed the blocks a decoding thread produces: the
// decoding goes on while the blocks before are analysed, so the scan that feeds it ends about
// when the file is read. At most kQueuedBytes wait; a full queue makes the feeder wait, so the
// analysis never falls behind without bound.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "analysis/features.h"

namespace analysis {

class FeatureWorker {
 public:
  static constexpr size_t kQueuedBytes = size_t{1} << 20;  // about 6 s of 44.1 kHz stereo
  static constexpr size_t kBlockBytes = size_t{1} << 18;   // handed over in blocks of this many

  FeatureWorker(uint32_t rate, uint32_t channels);
  // Drops what is queued and joins the thread.
  ~FeatureWorker();
  FeatureWorker(const FeatureWorker&) = delete;
  FeatureWorker& operator=(const FeatureWorker&) = delete;

  // The feeding thread: `bytes` of interleaved 16-bit samples, copied (handed over by the block).
  void Push(const void* data, size_t bytes);
  // The feeding thread: waits until every block pushed is gathered and returns the features; once.
  Features Finish();

 private:
  // Hands the block being filled to the worker, waiting for room.
  void Send();
  void Loop();

  std::vector<uint8_t> filling_;  // the feeder's
  FeatureGatherer gatherer_;  // the worker's until it is joined
  std::mutex mutex_;
  std::condition_variable ready_;  // the worker waits for a block or the end
  std::condition_variable room_;   // the feeder waits for the queue to shrink
  // Guarded by mutex_.
  std::deque<std::vector<uint8_t>> queue_;
  std::vector<std::vector<uint8_t>> spare_;  // emptied blocks kept for reuse
  size_t queued_ = 0;
  bool finished_ = false;  // nothing more will be pushed
  bool stop_ = false;      // drop the rest
  std::thread thread_;     // last: started after everything it uses
};

}  // namespace analysis
