// The waveform scan: reduces a decode-only stream to one bar height per column and channel.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "audio/engine.h"
#include "wave/peak_buffers.h"

namespace wave {

// Told of a scan's stream on the scan's thread, so that what else is learnt of the file is
// learnt in the same decoding: before the first reading (a DSP set now sees every block) and
// after the last one, before the stream is freed. `complete` is true when the scan read the file
// to its end or to its last column, false when it was stopped.
class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  virtual void ScanStarted(audio::Handle stream) = 0;
  virtual void ScanEnded(audio::Handle stream, bool complete) = 0;
};

// What a scan reads and writes of its owner. Everything here must outlive the scan.
struct ScanTarget {
  PeakBuffers* peaks = nullptr;
  const std::atomic<uint32_t>* bytesPerPixel = nullptr;  // 0: nothing to draw, the scan stops
  const std::atomic<bool>* scanStop = nullptr;           // set once at shut-down
  ScanObserver* observer = nullptr;                      // optional
};

// MulDiv(60, level, 32768): the product in 64 bits, the quotient rounded to the nearest integer
// (halves away from zero).
int32_t BarHeight(uint32_t level16);

// Reads `stream` level by level from its current position to its end (or until `cancel` or the
// target's scanStop is set) and stores one reading per column it crosses into, and every reading
// while the stream is active in the peaks' readings (as far as they were made). Frees the stream
// before it returns.
void ScanPeaks(audio::Handle stream, const ScanTarget& target, const std::atomic<bool>& cancel);

// A running scan on a thread of its own. The owner stops and waits for it (Stop, or the
// destructor) before anything the scan uses is torn down, so two scans never write the buffers.
class TScanThread {
 public:
  TScanThread(audio::Handle stream, ScanTarget target);
  ~TScanThread();
  TScanThread(const TScanThread&) = delete;
  TScanThread& operator=(const TScanThread&) = delete;

  // Ends the scan at its next reading and waits for the thread; its stream is freed by then.
  void Stop();
  bool finished() const { return finished_.load(std::memory_order_acquire); }

 private:
  void Execute();

  audio::Handle stream_;
  ScanTarget target_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace wave
