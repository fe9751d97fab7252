// libebur128's readings of a stream of 16-bit stereo 44100 Hz frames, spread over two threads.
//
// Integrated loudness runs every frame through one state, in order, on a helper thread. The peaks,
// the true peak being the larger cost (libebur128 oversamples 4x through a 49-tap interpolator), is the largest
// value of the oversampled signal, so the frames are cut into chunks that either thread measures
// with a state of its own: each chunk is preceded by the frames before it (silence at the start),
// which leaves the interpolator with the history a single state would have, and only the chunk's
// own outputs are read. The caller's thread takes chunks when they pile up and at the end.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "analysis/loudness_meter.h"

namespace analysis {

class LoudnessPipeline {
 public:
  static constexpr unsigned kRate = LoudnessMeter::kRate;
  static constexpr unsigned kChannels = LoudnessMeter::kChannels;
  // Frames of history in front of each chunk; the interpolator remembers 12.
  static constexpr size_t kHistoryFrames = 32;
  static constexpr size_t kChunkFrames = 16384;

  // Linear peaks (1.0 = full scale) and the integrated loudness in LUFS, or -inf / 0 for none.
  struct Reading {
    double integrated;
    double truePeak;
    double samplePeak;
  };

  LoudnessPipeline();
  // Stops the helper (after at most one chunk) and joins it.
  ~LoudnessPipeline();
  LoudnessPipeline(const LoudnessPipeline&) = delete;
  LoudnessPipeline& operator=(const LoudnessPipeline&) = delete;

  // False when libebur128 could not set up its states.
  bool ok() const { return ok_; }
  // The caller's thread only, before Finish.
  void Add(const int16_t* samples, size_t frames);
  // Measures what is left, joins the helper and reads the states; once.
  Reading Finish();

 private:
  struct Chunk {
    std::vector<int16_t> samples;  // kHistoryFrames of history, then the chunk's own frames
  };
  struct Ebur128;  // one libebur128 state, kept out of this header
  using State = std::unique_ptr<Ebur128>;
  // A state in libebur128's `mode`, or none when it cannot make one.
  static State MakeState(int mode);
  struct PeakState {
    State state;
    double truePeak[kChannels] = {0, 0};
    double samplePeak[kChannels] = {0, 0};
  };

  void Publish();
  // Takes one queued true-peak chunk and measures it with `peak`; false when none is queued.
  bool MeasureQueuedPeak(PeakState& peak);
  static void MeasurePeak(PeakState& peak, const Chunk& chunk);
  void HelperLoop();

  bool ok_ = false;
  // Immutable after construction; each used by one thread until the helper is joined.
  State loudness_;         // helper: integrated loudness, every frame in order
  PeakState helperPeak_;   // helper
  PeakState callerPeak_;   // caller
  std::unique_ptr<Chunk> filling_;  // caller only

  std::mutex mutex_;
  std::condition_variable work_;    // the helper waits for chunks or the end
  std::condition_variable drained_; // the caller waits for the loudness queue to shrink
  // Guarded by mutex_.
  std::deque<std::shared_ptr<const Chunk>> loudnessQueue_;
  std::deque<std::shared_ptr<const Chunk>> peakQueue_;
  bool finished_ = false;  // nothing more will be queued
  bool stop_ = false;      // give up at once

  bool done_ = false;   // caller only: Finish ran
  std::thread helper_;  // last: started after everything it uses
};

}  // namespace analysis
