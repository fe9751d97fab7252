#include "analysis/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

double Decibels(double linear) { return linear > 0 ? 20.0 * std::log10(linear) : Loudness::kNone; }

}  // namespace

Loudness WithGain(const Loudness& bare, double db) {
  // -inf + db stays -inf: silence stays silent.
  return {bare.integrated + db, bare.truePeak + db, bare.samplePeak + db};
}

bool GainClips(const Loudness& bare, double db) {
  // The largest value 16 bits hold, 32767, against the 32768 the peak is counted in; a scaled
  // sample rounds to the nearest integer, so it clips from 32767.5 on.
  // A gain of 0 dB or less never leaves the range.
  static const double kLimit = 20.0 * std::log10(32767.5 / 32768.0);
  return db > 0 && bare.samplePeak + db >= kLimit;
}

struct LoudnessMeter::State {
  ebur128_state* st;
};

LoudnessMeter::LoudnessMeter() {
  ebur128_state* st = ebur128_init(kChannels, kRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK);
  if (st != nullptr) state_ = new State{st};
}

LoudnessMeter::~LoudnessMeter() {
  if (state_ == nullptr) return;
  ebur128_destroy(&state_->st);
  delete state_;
}

void LoudnessMeter::Add(const int16_t* samples, size_t values) {
  const size_t frames = values / kChannels;
  if (state_ == nullptr || frames == 0) return;
  ebur128_add_frames_short(state_->st, samples, frames);
}

Loudness LoudnessMeter::Result() const {
  Loudness result;
  if (state_ == nullptr) return result;
  double integrated = 0;
  if (ebur128_loudness_global(state_->st, &integrated) == EBUR128_SUCCESS && std::isfinite(integrated))
    result.integrated = integrated;
  double truePeak = 0, samplePeak = 0;
  for (unsigned c = 0; c < kChannels; ++c) {
    double t = 0, s = 0;
    if (ebur128_true_peak(state_->st, c, &t) == EBUR128_SUCCESS) truePeak = std::max(truePeak, t);
    if (ebur128_sample_peak(state_->st, c, &s) == EBUR128_SUCCESS) samplePeak = std::max(samplePeak, s);
  }
  result.truePeak = Decibels(truePeak);
  result.samplePeak = Decibels(samplePeak);
  return result;
}

}  // namespace analysis
