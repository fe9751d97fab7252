// The meter's two-thread measurement against one libebur128 state fed every frame in one call:
// the same integrated loudness and sample peak, and the same true peak to a hundredth of a dB,
// also where the peak lies across the boundary of two chunks measured by different states.
#include <gtest/gtest.h>

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/loudness_meter.h"
#include "analysis/loudness_pipeline.h"

namespace {

using analysis::Loudness;
using analysis::LoudnessMeter;
using analysis::LoudnessPipeline;

constexpr size_t kChunk = LoudnessPipeline::kChunkFrames;

double Decibels(double linear) { return linear > 0 ? 20.0 * std::log10(linear) : Loudness::kNone; }

// One state, every frame at once.
Loudness Reference(const std::vector<int16_t>& samples) {
  ebur128_state* st = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
  EXPECT_NE(st, nullptr);
  Loudness result;
  if (st == nullptr) return result;
  ebur128_add_frames_short(st, samples.data(), samples.size() / 2);
  double integrated = 0;
  if (ebur128_loudness_global(st, &integrated) == EBUR128_SUCCESS && std::isfinite(integrated))
    result.integrated = integrated;
  double truePeak = 0, samplePeak = 0;
  for (unsigned c = 0; c < 2; ++c) {
    double t = 0, s = 0;
    ebur128_true_peak(st, c, &t);
    ebur128_sample_peak(st, c, &s);
    truePeak = std::max(truePeak, t);
    samplePeak = std::max(samplePeak, s);
  }
  ebur128_destroy(&st);
  result.truePeak = Decibels(truePeak);
  result.samplePeak = Decibels(samplePeak);
  return result;
}

Loudness Metered(const std::vector<int16_t>& samples, size_t framesPerBlock) {
  LoudnessMeter meter;
  EXPECT_TRUE(meter.ok());
  for (size_t at = 0; at < samples.size(); at += framesPerBlock * 2)
    meter.Add(samples.data() + at, std::min(framesPerBlock * 2, samples.size() - at));
  return meter.Result();
}

void ExpectSame(const std::vector<int16_t>& samples, const char* what) {
  const Loudness one = Reference(samples);
  for (size_t frames : {999u, 4096u, 50000u}) {
    const Loudness two = Metered(samples, frames);
    if (std::isfinite(one.integrated))
      EXPECT_DOUBLE_EQ(two.integrated, one.integrated) << what << " " << frames;
    else
      EXPECT_EQ(two.integrated, one.integrated) << what << " " << frames;
    EXPECT_NEAR(two.truePeak, one.truePeak, 0.01) << what << " " << frames;
    EXPECT_DOUBLE_EQ(two.samplePeak, one.samplePeak) << what << " " << frames;
  }
}

// Silence with two equal samples at frames `at - 1` and `at` in both channels: the oversampled
// signal peaks between them, above both, and the filter needs the frames before `at` to see it.
std::vector<int16_t> PairAt(size_t at, size_t frames) {
  std::vector<int16_t> samples(frames * 2, 0);
  for (size_t f : {at - 1, at})
    for (size_t c = 0; c < 2; ++c) samples[f * 2 + c] = int16_t(c == 0 ? 20000 : -18000);
  return samples;
}

TEST(LoudnessPipelineTest, MusicLikeSignalMeasuresAsOneState) {
  // Three tones under a beat and some noise, 10 s, so that both threads take many chunks.
  const size_t frames = 441000;
  std::vector<int16_t> samples(frames * 2);
  uint32_t noise = 12345;
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / 44100;
    const double beat = 0.5 + 0.5 * std::cos(2 * M_PI * 2 * t);
    for (size_t c = 0; c < 2; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double v = 9000 * std::sin(2 * M_PI * (220 + 3 * c) * t) + 6000 * beat * std::sin(2 * M_PI * 3517 * t) +
                       4000 * std::sin(2 * M_PI * 11025.5 * t + c) + 1500 * (double(noise >> 16) / 32768.0 - 1);
      samples[i * 2 + c] = int16_t(std::lround(v));
    }
  }
  ExpectSame(samples, "music");
}

TEST(LoudnessPipelineTest, PeakAcrossAChunkBoundaryIsFound) {
  const std::vector<int16_t> samples = PairAt(2 * kChunk, 4 * kChunk);
  const Loudness one = Reference(samples);
  // The peak is between the samples, where the history matters.
  ASSERT_GT(one.truePeak, one.samplePeak + 0.5);
  ExpectSame(samples, "pair across the second boundary");
}

TEST(LoudnessPipelineTest, PeakAtTheStartSeesSilenceBeforeIt) {
  ExpectSame(PairAt(1, kChunk / 2), "pair at the start");
  ExpectSame(PairAt(kChunk, kChunk + 5), "pair at the end of the first chunk, short tail");
}

}  // namespace
