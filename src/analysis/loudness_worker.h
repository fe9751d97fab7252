// Measures the marked part off the window's thread: the latest request only, once the controls
// have settled for a moment, a running measurement cancelled by a newer request. The window polls
// the reading on its timer; nothing is called back.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "analysis/loudness_request.h"

namespace analysis {

class LoudnessWorker {
 public:
  using Measure = std::function<std::optional<PartLoudness>(const PartRequest&, const std::atomic<bool>* cancel)>;

  struct Reading {
    uint64_t serial = 0;      // grows with every published reading
    bool measuring = false;   // a request waits or is being measured
    PartRequest request;      // what `loudness` is of
    std::optional<PartLoudness> loudness;  // nothing before a first reading, after Clear or a failure
  };

  // How long a request waits for the next one before it is measured.
  static constexpr std::chrono::milliseconds kSettle{50};

  // `measure` runs on the worker's thread (MeasurePart, or a stand-in).
  explicit LoudnessWorker(Measure measure, std::chrono::milliseconds settle = kSettle);
  ~LoudnessWorker();
  LoudnessWorker(const LoudnessWorker&) = delete;
  LoudnessWorker& operator=(const LoudnessWorker&) = delete;

  // Asks for the loudness of `request`; the same request as the last one asked for changes
  // nothing. A measurement of another request still running is cancelled.
  void Request(const PartRequest& request);
  // Nothing to measure: a pending request is dropped, a running one cancelled, and the reading
  // becomes empty.
  void Clear();
  // Cancels what runs and ends the thread; later requests are ignored. Called before the engine
  // is released.
  void Stop();

  Reading Latest() const;

 private:
  void Run();

  const Measure measure_;
  const std::chrono::milliseconds settle_;

  mutable std::mutex lock_;
  std::condition_variable wake_;
  // Guarded by lock_.
  bool stop_ = false;
  bool pending_ = false;        // `asked_` waits to be measured
  bool hasAsked_ = false;       // `asked_` holds a request (none after Clear)
  uint64_t generation_ = 0;     // grows with every request and clear
  std::chrono::steady_clock::time_point askedAt_;
  PartRequest asked_;
  Reading reading_;

  std::atomic<bool> cancel_{false};  // the running measurement ends at its next block
  std::thread thread_;               // last: starts once everything above exists
};

}  // namespace analysis
