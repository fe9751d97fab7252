// The feature gatherer on generated signals: where a tone's pitch class lands at each rate, that
// hops and pulses are whole frames and cover what was fed, and that the way blocks are cut
// (frames of 1, 7, 450 or 4096, bytes split mid-frame, through the worker's thread) changes
// nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "analysis/feature_worker.h"
#include "analysis/features.h"

namespace {

using analysis::FeatureGatherer;
using analysis::Features;

// `seconds` of a tone at `hz`, in every channel, at half scale; silent for the first `silent` s.
std::vector<int16_t> Tone(uint32_t rate, uint32_t channels, double hz, double seconds, double silent = 0) {
  const auto frames = static_cast<size_t>(seconds * rate);
  std::vector<int16_t> out(frames * channels);
  for (size_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(f) / rate;
    const double v = t < silent ? 0 : 16384 * std::sin(2 * std::numbers::pi * hz * t);
    for (uint32_t c = 0; c < channels; ++c) out[f * channels + c] = static_cast<int16_t>(std::lround(v));
  }
  return out;
}

size_t Strongest(const analysis::Hop& hop) {
  return static_cast<size_t>(std::max_element(hop.chroma.begin(), hop.chroma.end()) - hop.chroma.begin());
}

TEST(FeatureGatherer, FindsTheTonesPitchClassAtEveryRate) {
  struct Case {
    uint32_t rate, channels;
    double hz;
    size_t pitchClass;
  } const cases[] = {{44100, 2, 440.0, 9},  {22050, 1, 261.63, 0}, {48000, 6, 392.0, 7},
                     {8000, 1, 329.63, 4},  {96000, 2, 1760.0, 9}, {11025, 2, 155.56, 3}};
  for (const Case& c : cases) {
    FeatureGatherer g(c.rate, c.channels);
    const auto pcm = Tone(c.rate, c.channels, c.hz, 3.0);
    g.PushFrames(pcm.data(), pcm.size() / c.channels);
    const Features f = g.Finish();
    EXPECT_EQ(f.pulseFrames, std::max<uint32_t>(1, c.rate / 100)) << c.rate;
    EXPECT_EQ(f.hopFrames, f.pulseFrames * analysis::kPulsesPerHop) << c.rate;
    EXPECT_EQ(f.frames, static_cast<int64_t>(pcm.size() / c.channels));
    EXPECT_EQ(f.hops.size(), static_cast<size_t>(f.frames) / f.hopFrames) << c.rate;
    EXPECT_EQ(f.pulses.size(), static_cast<size_t>(f.frames) / f.pulseFrames) << c.rate;
    // From the second hop on the window is full of the tone.
    for (size_t h = 1; h < f.hops.size(); ++h) {
      EXPECT_EQ(Strongest(f.hops[h]), c.pitchClass) << c.rate << " Hz, hop " << h;
      EXPECT_NEAR(f.hops[h].energy, 0.125, 0.01) << c.rate;  // (1/2)^2 / 2
    }
  }
}

TEST(FeatureGatherer, LoudnessFollowsTheSignal) {
  FeatureGatherer g(44100, 2);
  const auto pcm = Tone(44100, 2, 440, 2.0, 1.0);
  g.PushFrames(pcm.data(), pcm.size() / 2);
  const Features f = g.Finish();
  ASSERT_EQ(f.pulses.size(), 200u);
  EXPECT_EQ(f.pulses[99], 0.0f);
  EXPECT_GT(f.pulses[100], 0.1f);
  EXPECT_EQ(f.hops[4].energy, 0.0f);
  EXPECT_GT(f.hops[5].energy, 0.1f);
}

// At 22050 Hz every run of a pulse decimates in pairs; at 44100 Hz (4:1) and with six channels
// the runs also cut the groups of four and the sums of channels.
void ExpectBlockSizesChangeNothing(uint32_t rate, uint32_t channels) {
  auto pcm = Tone(rate, channels, 440, 1.5);
  const auto chirp = Tone(rate, channels, 660, 1.5);
  pcm.insert(pcm.end(), chirp.begin(), chirp.end());
  const size_t frames = pcm.size() / channels;
  FeatureGatherer whole(rate, channels);
  whole.PushFrames(pcm.data(), frames);
  const Features expected = whole.Finish();
  auto same = [&](const Features& got, const char* how) {
    SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
    EXPECT_EQ(got.frames, expected.frames) << how;
    EXPECT_EQ(got.pulses, expected.pulses) << how;
    ASSERT_EQ(got.hops.size(), expected.hops.size()) << how;
    for (size_t h = 0; h < got.hops.size(); ++h) {
      EXPECT_EQ(got.hops[h].chroma, expected.hops[h].chroma) << how << ", hop " << h;
      EXPECT_EQ(got.hops[h].energy, expected.hops[h].energy) << how << ", hop " << h;
    }
  };
  for (size_t chunk : {1u, 7u, 450u, 4096u}) {
    FeatureGatherer g(rate, channels);
    for (size_t at = 0; at < frames; at += chunk) g.PushFrames(pcm.data() + at * channels, std::min(chunk, frames - at));
    same(g.Finish(), "frames");
  }
  // Bytes as a DSP may see them: pieces that split frames and samples, from an odd address.
  std::vector<uint8_t> bytes(pcm.size() * 2 + 1);
  std::memcpy(bytes.data() + 1, pcm.data(), pcm.size() * 2);
  for (size_t piece : {3u, 1001u}) {
    FeatureGatherer g(rate, channels);
    for (size_t at = 1; at < bytes.size(); at += piece) g.Push(bytes.data() + at, std::min(piece, bytes.size() - at));
    same(g.Finish(), "bytes");
    // The same bytes through the gatherer's own thread.
    analysis::FeatureWorker w(rate, channels);
    for (size_t at = 1; at < bytes.size(); at += piece) w.Push(bytes.data() + at, std::min(piece, bytes.size() - at));
    same(w.Finish(), "worker");
  }
}

TEST(FeatureGatherer, BlockSizesDoNotChangeTheResult) {
  ExpectBlockSizesChangeNothing(22050, 2);
  ExpectBlockSizesChangeNothing(44100, 2);
  ExpectBlockSizesChangeNothing(48000, 6);
  ExpectBlockSizesChangeNothing(44100, 1);
}

// More than the worker's queue holds at once, fed faster than it is gathered: the feeder waits,
// nothing is lost, and a worker dropped before its end stops without gathering the rest.
TEST(FeatureGatherer, TheWorkersQueueIsBounded) {
  const auto pcm = Tone(44100, 2, 440, 30);
  const size_t bytes = pcm.size() * sizeof(int16_t), piece = 4608;
  ASSERT_GT(bytes, 2 * analysis::FeatureWorker::kQueuedBytes);
  const auto* p = reinterpret_cast<const uint8_t*>(pcm.data());
  analysis::FeatureWorker w(44100, 2);
  for (size_t at = 0; at < bytes; at += piece) w.Push(p + at, std::min(piece, bytes - at));
  EXPECT_EQ(w.Finish().frames, static_cast<int64_t>(pcm.size() / 2));
  analysis::FeatureWorker dropped(44100, 2);
  for (size_t at = 0; at < bytes; at += piece) dropped.Push(p + at, std::min(piece, bytes - at));
}

}  // namespace
