// The beats and bar lines of whole songs: small MIDI songs rendered by FluidSynth whose beats and
// bar lines are known (tests/FIXTURES.md). The beats lie on the song's beats, not between them
// (also where the loudest onsets are off the beat, or the eighths are swung), follow a change of
// tempo, and the bar lines fall where the bars begin (after a pickup beat; every third beat in
// 3/4; where the chords change while the bass and kick land on other beats).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/song_beats.h"
#include "analysis/suggest_file.h"
#include "audio/engine.h"
#include "support/fixtures.h"

namespace {

// FluidSynth sounds a note about 11 ms after its MIDI time; beats are placed a pulse before the
// rise, so they land within a pulse or two of the MIDI time.
constexpr double kTolerance = 0.05;
// The first and last seconds are left out: the tracker needs a few beats to lock on, and the
// song's release rings after its last beat.
constexpr double kEdgeSeconds = 3;

class SongBeatsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { audio::Free(); }
};

// The share of the times of `want` within [from, to) that have one of `got` within kTolerance.
double Found(const std::vector<double>& want, const std::vector<double>& got, double from, double to) {
  int n = 0, hit = 0;
  for (double w : want) {
    if (w < from || w >= to) continue;
    ++n;
    const double near = analysis::Nearest(got, w);
    hit += std::abs(near - w) <= kTolerance ? 1 : 0;
  }
  return n == 0 ? 0.0 : static_cast<double>(hit) / n;
}

TEST_F(SongBeatsTest, BeatsOnTheBeatAndBarLinesWhereBarsBegin) {
  struct Case {
    const char* song;
    int beatsPerBar;
  } const cases[] = {{"beat_pickup", 4}, {"beat_waltz", 3}, {"beat_syncopated", 4}, {"beat_tempo_change", 4}, {"beat_riff", 4},
                     {"beat_swing", 4}};
  for (const Case& c : cases) {
    const std::vector<double> beats = twtest::SidecarTimes(c.song, "beat"), bars = twtest::SidecarTimes(c.song, "bar");
    ASSERT_GT(beats.size(), 40u) << c.song;
    const auto features = analysis::FeaturesOfFile(twtest::Fixture(std::string(c.song) + ".wav"));
    ASSERT_TRUE(features.has_value()) << c.song;
    const analysis::SongBeats got = analysis::TrackBeats(*features);
    const double from = kEdgeSeconds, to = beats.back() - kEdgeSeconds;
    // Every beat found (the phase held, no drift), and no beat between them (not the off-beats).
    EXPECT_GE(Found(beats, got.beats, from, to), 0.95) << c.song;
    EXPECT_GE(Found(got.beats, beats, from, to), 0.95) << c.song;
    // The bar lines where the bars begin.
    EXPECT_EQ(got.beatsPerBar, c.beatsPerBar) << c.song;
    EXPECT_GE(Found(bars, got.bars, from, to), 0.9) << c.song;
    EXPECT_GE(Found(got.bars, bars, from, to), 0.9) << c.song;
    ASSERT_EQ(got.strength.size(), got.beats.size()) << c.song;
  }
}

// Nothing to follow: no beats in silence or in a file too short to hold a few.
TEST_F(SongBeatsTest, NoBeatsWithoutMusic) {
  for (const char* name : {"silence.wav", "tiny7ms.wav"}) {
    const auto features = analysis::FeaturesOfFile(twtest::Fixture(name));
    ASSERT_TRUE(features.has_value()) << name;
    const analysis::SongBeats got = analysis::TrackBeats(*features);
    EXPECT_TRUE(got.beats.empty()) << name;
    EXPECT_TRUE(got.bars.empty()) << name;
  }
}

}  // namespace
