// The meter on whole fixtures, decoded by the engine to 16-bit stereo 44100 Hz, against ffmpeg's
// ebur128 filter; its result independent of how the samples are cut into blocks; and the levels
// after a gain, derived or measured.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/loudness_meter.h"
#include "audio/engine.h"
#include "support/ffmpeg_loudness.h"
#include "support/fixtures.h"

namespace {

using analysis::Loudness;
using analysis::LoudnessMeter;

// Every sample of a 44100 Hz stereo fixture, as the engine decodes it to 16 bits.
std::vector<int16_t> Decode(const std::string& name) {
  std::vector<int16_t> all;
  if (!audio::Init(-1, 44100, 0, nullptr)) return all;
  const std::string path = twtest::Fixture(name);
  const audio::Handle stream = audio::StreamCreateFile(path.c_str(), 0, 0, audio::STREAM_DECODE);
  if (stream != 0) {
    std::vector<int16_t> block(4096);
    for (;;) {
      const uint32_t got = audio::ChannelGetData(stream, block.data(), uint32_t(block.size() * 2));
      if (got == 0 || got == audio::DATA_ERROR) break;
      all.insert(all.end(), block.begin(), block.begin() + got / 2);
    }
  }
  audio::Free();
  return all;
}

Loudness Measure(const std::vector<int16_t>& samples, size_t framesPerBlock) {
  LoudnessMeter meter;
  EXPECT_TRUE(meter.ok());
  const size_t step = framesPerBlock * 2;
  for (size_t at = 0; at < samples.size(); at += step)
    meter.Add(samples.data() + at, std::min(step, samples.size() - at));
  return meter.Result();
}

TEST(LoudnessMeterTest, AgreesWithFfmpegOnFixtures) {
  // (Not sine_half.wav: it is a cosine, whose first sample jumps from silence to its peak, and
  // libebur128 reads the ringing of that step, which ffmpeg's resampler does not start with.)
  for (const char* name : {"quiet24.wav", "quiet30.wav", "hot_master.wav", "ref.wav", "ref.mp3"}) {
    const std::vector<int16_t> samples = Decode(name);
    ASSERT_FALSE(samples.empty()) << name;
    const Loudness ours = Measure(samples, 4096);
    const twtest::FfmpegLoudness theirs = twtest::FfmpegEbur128(twtest::Fixture(name));
    ASSERT_TRUE(theirs.ok) << name;
    EXPECT_NEAR(ours.integrated, theirs.integrated, 0.5) << name;
    EXPECT_NEAR(ours.truePeak, theirs.truePeak, 0.5) << name;
    EXPECT_LE(ours.samplePeak, ours.truePeak + 1e-9) << name;
  }
}

TEST(LoudnessMeterTest, BlocksOfAnySizeGiveTheSameResult) {
  const std::vector<int16_t> samples = Decode("ref.wav");
  ASSERT_FALSE(samples.empty());
  const Loudness whole = Measure(samples, samples.size() / 2);
  for (size_t frames : {1u, 7u, 450u, 4096u}) {
    const Loudness cut = Measure(samples, frames);
    EXPECT_DOUBLE_EQ(cut.integrated, whole.integrated) << frames;
    EXPECT_DOUBLE_EQ(cut.truePeak, whole.truePeak) << frames;
    EXPECT_DOUBLE_EQ(cut.samplePeak, whole.samplePeak) << frames;
  }
}

TEST(LoudnessMeterTest, SilenceAndTooShortHaveNoLoudness) {
  const Loudness silent = Measure(Decode("silence.wav"), 4096);
  EXPECT_EQ(silent.integrated, Loudness::kNone);
  EXPECT_EQ(silent.truePeak, Loudness::kNone);
  // 7 ms is shorter than one 400-ms gating block.
  const Loudness tiny = Measure(Decode("tiny7ms.wav"), 4096);
  EXPECT_EQ(tiny.integrated, Loudness::kNone);
  EXPECT_GT(tiny.truePeak, -20.0);
  EXPECT_FALSE(LoudnessMeter().Result().truePeak > Loudness::kNone);
}

// Samples scaled by a gain in dB as the gain effect does it: rounded, limited to 16 bits.
std::vector<int16_t> Scaled(std::vector<int16_t> samples, double db) {
  const double g = std::pow(10.0, db / 20.0);
  for (int16_t& s : samples) s = int16_t(std::clamp(std::nearbyint(s * g), -32768.0, 32767.0));
  return samples;
}

TEST(LoudnessMeterTest, GainIsDerivedUntilItClips) {
  struct Case {
    const char* name;
    double db;
    bool clips;
  } const cases[] = {
      {"quiet24.wav", 10.0, false},
      {"quiet30.wav", 12.0, false},
      {"sine_half.wav", 6.0, false},   // 16384 -> 32690
      {"sine_half.wav", 6.03, true},   // 16384 -> 32805
      {"hot_master.wav", 0.0, false},  // full scale, but no gain
      {"hot_master.wav", -4.0, false},
      {"hot_master.wav", 0.1, true},
  };
  for (const auto& c : cases) {
    const std::vector<int16_t> samples = Decode(c.name);
    ASSERT_FALSE(samples.empty()) << c.name;
    const Loudness bare = Measure(samples, 4096);
    EXPECT_EQ(analysis::GainClips(bare, c.db), c.clips) << c.name << " " << c.db;
    const Loudness measured = Measure(Scaled(samples, c.db), 4096);
    const Loudness derived = analysis::WithGain(bare, c.db);
    if (!c.clips) {
      EXPECT_NEAR(derived.integrated, measured.integrated, 0.02) << c.name << " " << c.db;
      EXPECT_NEAR(derived.truePeak, measured.truePeak, 0.02) << c.name << " " << c.db;
    } else {
      // What clipping takes off the peaks is what the derivation would miss.
      EXPECT_GT(derived.samplePeak, measured.samplePeak + 0.005) << c.name << " " << c.db;
    }
  }
}

}  // namespace
