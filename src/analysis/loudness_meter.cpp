#include "analysis/loudness_meter.h"

#include <algorithm>
#include <cmath>

#include "analysis/loudness_pipeline.h"

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

LoudnessMeter::LoudnessMeter() : pipeline_(std::make_unique<LoudnessPipeline>()) {}

LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::ok() const { return pipeline_->ok(); }

void LoudnessMeter::Add(const int16_t* samples, size_t values) {
  const size_t frames = values / kChannels;
  if (finished_ || frames == 0) return;
  pipeline_->Add(samples, frames);
}

Loudness LoudnessMeter::Result() {
  if (finished_ || !ok()) return result_;
  finished_ = true;
  const LoudnessPipeline::Reading reading = pipeline_->Finish();
  if (std::isfinite(reading.integrated)) result_.integrated = reading.integrated;
  result_.truePeak = Decibels(reading.truePeak);
  result_.samplePeak = Decibels(reading.samplePeak);
  return result_;
}

}  // namespace analysis
