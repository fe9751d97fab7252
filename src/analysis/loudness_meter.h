// The loudness of the ringtone's samples after ITU-R BS.1770 / EBU R128: integrated loudness in
// LUFS, true peak in dBTP, measured by libebur128 on 16-bit stereo 44100 Hz blocks (on two threads,
// see loudness_pipeline.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

namespace analysis {

// One part's levels. A silent part (or one shorter than the 400-ms gating block) has an
// integrated loudness of minus infinity; a part of digital silence has peaks of minus infinity.
struct Loudness {
  static constexpr double kNone = -std::numeric_limits<double>::infinity();
  double integrated = kNone;  // LUFS
  double truePeak = kNone;    // dBTP, over 4x oversampling
  double samplePeak = kNone;  // dBFS, the largest sample value against 32768
};

// The levels after a gain of `db`, where every sample is scaled and nothing clips.
Loudness WithGain(const Loudness& bare, double db);
// Whether a gain of `db` drives a sample of the part past the 16-bit range, so that the levels
// after it are not WithGain's.
bool GainClips(const Loudness& bare, double db);

class LoudnessPipeline;

// Not thread-safe (it runs a helper thread of its own, joined by Result or the destructor); one
// meter per measurement.
class LoudnessMeter {
 public:
  static constexpr unsigned kRate = 44100;
  static constexpr unsigned kChannels = 2;

  LoudnessMeter();
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  // False when libebur128 could not set up its state; such a meter measures nothing.
  bool ok() const;
  // Adds whole frames of interleaved samples (a trailing half frame is ignored).
  void Add(const int16_t* samples, size_t values);
  // Ends the measurement: later Adds are ignored and later calls give the same levels.
  Loudness Result();

 private:
  std::unique_ptr<LoudnessPipeline> pipeline_;
  bool finished_ = false;
  Loudness result_;
};

}  // namespace analysis
