// The suggested part of whole files: songs of a known form (as WAV and as LAME MP3), a
// speech-like file where nothing repeats, a file shorter than the part and files that do not open.
// On the form songs the part starts at a chorus, on the beat, lasts whole bars and holds no quiet
// stretch; the next parts on request are distinct.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "analysis/beats.h"
#include "analysis/chorus.h"
#include "analysis/part_level.h"
#include "analysis/song_beats.h"
#include "analysis/suggest_file.h"
#include "audio/engine.h"
#include "support/fixtures.h"

namespace {

using analysis::PartKind;
using analysis::SuggestPartOfFile;

class SuggestTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { audio::Free(); }
};

// A form song's sidecar: its length on the first line ("... 128.000 s long"), its beat on the
// second ("# a beat every 0.500000 s from 0"), then the chorus starts in seconds, one a line.
struct Form {
  double seconds = 0;
  double beat = 0;
  std::vector<double> choruses;
};

Form ReadForm(const std::string& song) {
  Form form;
  std::ifstream in(twtest::Fixture(song + ".txt"));
  std::string line;
  std::getline(in, line);
  const size_t s = line.rfind(" s long");
  if (s != std::string::npos) form.seconds = std::stod(line.substr(line.rfind(' ', s - 1) + 1));
  while (std::getline(in, line)) {
    if (line.rfind("# a beat every ", 0) == 0) form.beat = std::stod(line.substr(15));
    if (!line.empty() && line[0] != '#') form.choruses.push_back(std::stod(line));
  }
  return form;
}

// How far `seconds` is from the nearest beat of the form song.
double FromBeat(const Form& form, double seconds) {
  return std::abs(seconds - form.beat * std::round(seconds / form.beat));
}

double FromChorus(const Form& form, double seconds) {
  double nearest = 1e9;
  for (double c : form.choruses) nearest = std::min(nearest, std::abs(seconds - c));
  return nearest;
}

const char* const kFormSongs[] = {"form_pop", "form_solo", "form_quiet_chorus", "form_long_intro", "form_ballad",
                                  "form_fade", "form_halves", "form_quiet_halves", "form_key_change",
                                  "form_loud_bridge"};

TEST_F(SuggestTest, StartsAtAChorusOfMostFormSongsOnTheBeatForWholeBars) {
  constexpr double kMaxSeconds = analysis::kDefaultPartSeconds;
  for (const char* ext : {".wav", ".mp3"}) {
    int hits = 0;
    for (const char* song : kFormSongs) {
      const Form form = ReadForm(song);
      ASSERT_FALSE(form.choruses.empty()) << song;
      ASSERT_GT(form.beat, 0) << song;
      const auto got = SuggestPartOfFile(twtest::Fixture(std::string(song) + ext));
      ASSERT_TRUE(got.has_value()) << song << ext;
      const double nearest = FromChorus(form, got->part.start);
      const bool hit = got->kind == PartKind::Chorus && nearest <= 1.0;
      hits += hit ? 1 : 0;
      const double length = got->part.end - got->part.start, bars = length / (4 * form.beat);
      std::printf("%s%s: %.3f .. %.3f (%.2f bars), %.2f s from a chorus start, %.3f s and %.3f s from a beat%s\n",
                  song, ext, got->part.start, got->part.end, bars, nearest, FromBeat(form, got->part.start),
                  FromBeat(form, got->part.end), hit ? "" : " (missed)");
      // Both ends on the beat (the MP3's delay included), whole bars, 20 s to the requested length,
      // never past the end (MP3s are a little longer: the encoder's padding).
      const double slack = ext[1] == 'm' ? 0.06 : 0.0;
      EXPECT_LE(FromBeat(form, got->part.start), 0.05 + slack) << song << ext;
      EXPECT_LE(FromBeat(form, got->part.end), 0.05 + slack) << song << ext;
      EXPECT_NEAR(bars, std::round(bars), 0.05) << song << ext;
      EXPECT_GE(length, 20 - 0.05) << song << ext;
      EXPECT_LE(length, kMaxSeconds + 1e-9) << song << ext;
      EXPECT_LE(got->part.end, form.seconds + (ext[1] == 'm' ? 0.1 : 0.0)) << song << ext;
    }
    EXPECT_GE(hits, 9) << ext;
  }
}

// Songs whose off-beats ring as loud as their beats (piano stabs between the beats; a riff whose
// bass and kick push against the bar): the part still runs from one of the song's bar lines to
// another, not from a local guess at the beat.
TEST_F(SuggestTest, FromBarLineToBarLineWhereTheOffBeatsRingAsLoud) {
  for (const char* song : {"beat_syncopated", "beat_riff"}) {
    const std::vector<double> bars = twtest::SidecarTimes(song, "bar");
    ASSERT_FALSE(bars.empty()) << song;
    const auto got = SuggestPartOfFile(twtest::Fixture(std::string(song) + ".wav"));
    ASSERT_TRUE(got.has_value()) << song;
    for (const double end : {got->part.start, got->part.end})
      EXPECT_NEAR(analysis::Nearest(bars, end), end, 0.05) << song;
  }
}

// No 5 s of a suggested part lie 6 dB or more below the song's median level: not the last chorus
// that fades out, nor a quiet intro; and where the chorus comes back at one level, its first full
// instance is the one taken.
TEST_F(SuggestTest, NeverAFadeOrAQuietStretchAndTheFirstFullChorus) {
  struct Case {
    const char* song;
    int chorus;  // the chorus (from 0) the part starts at; -1: any
  } const cases[] = {{"form_fade", 0}, {"form_long_intro", 0}, {"form_halves", 0}, {"form_pop", 0},
                     {"form_loud_bridge", 0}, {"form_quiet_halves", 0}, {"form_key_change", -1}};
  for (const Case& c : cases) {
    for (const char* ext : {".wav", ".mp3"}) {
      const std::string path = twtest::Fixture(std::string(c.song) + ext);
      const auto features = analysis::FeaturesOfFile(path);
      ASSERT_TRUE(features.has_value()) << c.song << ext;
      const analysis::Suggestion got = analysis::SuggestPart(*features);
      const double median = analysis::MedianLevelDb(*features);
      const double quietest = analysis::QuietestLevelDb(*features, got.part.start, got.part.end);
      EXPECT_GT(quietest, median - 6) << c.song << ext << " " << got.part.start << " .. " << got.part.end;
      const Form form = ReadForm(c.song);
      if (c.chorus >= 0) {
        EXPECT_NEAR(got.part.start, form.choruses[static_cast<size_t>(c.chorus)], 1.0) << c.song << ext;
      }
    }
  }
}

// Up to N parts, best first, none overlapping another; the first is the one suggested.
TEST_F(SuggestTest, TheNextPartsOnRequestAreDistinct) {
  struct Case {
    const char* song;
    size_t count, atLeast;
  } const cases[] = {{"form_pop.wav", 3, 3}, {"form_halves.mp3", 3, 3}, {"form_fade.wav", 3, 2}, {"form_solo.wav", 2, 2},
                     {"speech_like.wav", 2, 2}, {"ref.wav", 3, 1}, {"form_ballad.wav", 0, 0}};
  for (const Case& c : cases) {
    const auto parts = analysis::SuggestPartsOfFile(twtest::Fixture(c.song), analysis::kDefaultPartSeconds, c.count);
    ASSERT_TRUE(parts.has_value()) << c.song;
    EXPECT_GE(parts->size(), c.atLeast) << c.song;
    EXPECT_LE(parts->size(), c.count) << c.song;
    for (size_t i = 0; i < parts->size(); ++i)
      for (size_t j = i + 1; j < parts->size(); ++j)
        EXPECT_TRUE((*parts)[i].part.end <= (*parts)[j].part.start || (*parts)[j].part.end <= (*parts)[i].part.start)
            << c.song << " " << i << " " << j;
    if (parts->empty()) continue;
    const auto one = SuggestPartOfFile(twtest::Fixture(c.song));
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(parts->front().part.start, one->part.start) << c.song;
    EXPECT_EQ(parts->front().part.end, one->part.end) << c.song;
  }
}

TEST_F(SuggestTest, TakesTheLoudestStretchWhereNothingRepeats) {
  // Syllables of noise at 22050 Hz mono, louder from 45 s to 75 s.
  for (double length : {29.0, 20.0}) {
    const auto got = SuggestPartOfFile(twtest::Fixture("speech_like.wav"), length);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->kind, PartKind::Loudest);
    EXPECT_GE(got->part.start, 44.5) << length;
    EXPECT_LE(got->part.end, 75.5) << length;
    EXPECT_NEAR(got->part.end - got->part.start, length, 1e-9);
  }
}

TEST_F(SuggestTest, TakesTheWholeOfAShortFile) {
  struct Case {
    const char* name;
    double length, seconds;
  } const cases[] = {{"ref.wav", 29, 10}, {"short5s.wav", 20, 5}, {"ref.mp3", 10, 10}, {"tiny7ms.wav", 29, 0.007}};
  for (const Case& c : cases) {
    const auto got = SuggestPartOfFile(twtest::Fixture(c.name), c.length);
    ASSERT_TRUE(got.has_value()) << c.name;
    EXPECT_EQ(got->kind, PartKind::WholeFile) << c.name;
    EXPECT_EQ(got->part.start, 0.0) << c.name;
    EXPECT_NEAR(got->part.end, c.seconds, 0.06) << c.name;
  }
}

TEST_F(SuggestTest, FailsOnWhatDoesNotOpen) {
  for (const char* name : {"random.mp3", "empty.wav", "text.wav", "header_only.wav", "no_such_file.mp3"}) {
    EXPECT_FALSE(SuggestPartOfFile(twtest::FixtureDir() + "/" + name).has_value()) << name;
  }
}

}  // namespace

// Features of a made-up song: verse, chorus, verse, chorus, chorus, in hops of 0.2 s, with a beat
// every 0.5 s that rises `accent` times over pulses of noise (a faint beat, as in many
// recordings) and from 35 s on every `secondPeriod` seconds (a steady tempo or not).
analysis::Features FaintBeatSong(double accent, double secondPeriod) {
  analysis::Features f;
  f.rate = 44100;
  f.pulseFrames = 441;
  f.hopFrames = f.pulseFrames * analysis::kPulsesPerHop;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> noise(0.5f, 1.5f);
  auto section = [&](unsigned seed, size_t hops) {
    std::mt19937 pick(seed);
    std::vector<analysis::Hop> out(hops);
    for (analysis::Hop& h : out) {
      for (uint8_t& c : h.chroma) c = static_cast<uint8_t>(pick() % 256);
      h.energy = 0.05f;
    }
    return out;
  };
  const auto verse = section(1, 100), chorus = section(2, 100);  // 20 s each
  for (const auto* s : {&verse, &chorus, &verse, &chorus, &chorus}) f.hops.insert(f.hops.end(), s->begin(), s->end());
  const size_t pulses = f.hops.size() * analysis::kPulsesPerHop;
  f.frames = static_cast<int64_t>(pulses) * f.pulseFrames;
  double next = 0;
  for (size_t p = 0; p < pulses; ++p) {
    const double t = static_cast<double>(p) * 0.01;
    float v = 0.05f * noise(rng);
    if (t >= next) {
      v *= static_cast<float>(accent);
      next += t < 35 ? 0.5 : secondPeriod;
    }
    f.pulses.push_back(v);
  }
  return f;
}

// Where the beat is faint (not clear enough to place the part's ends on it) but keeps its tempo,
// the part still lasts whole bars of it; a period that does not hold is not used.
TEST(SuggestFaintBeat, WholeBarsOfASteadyTempoOnly) {
  struct Case {
    double secondPeriod, length;
  } const cases[] = {{0.5, 29}, {0.37, 29}};
  for (const Case& c : cases) {
    const analysis::Features f = FaintBeatSong(1.6, c.secondPeriod);
    const analysis::BeatGrid grid = analysis::FindBeats(f, 20, 35);
    ASSERT_FALSE(grid.clear);
    ASSERT_NEAR(grid.period, 0.5, 0.01);
    const analysis::Suggestion got = analysis::SuggestPart(f, c.length);
    EXPECT_EQ(got.kind, PartKind::Chorus);
    const double length = got.part.end - got.part.start;
    if (c.secondPeriod == 0.5) {
      EXPECT_NEAR(got.part.start, 20, 1.0);
      EXPECT_NEAR(length, 2.0 * std::floor(c.length / 2.0), 0.1) << c.length;
    } else if (got.part.start < 35) {
      // Over the change of tempo: the length asked for.
      EXPECT_NEAR(got.part.start, 20, 1.0);
      EXPECT_DOUBLE_EQ(length, c.length);
    } else {
      // A later chorus, wholly at the second tempo: from bar line to bar line of the song's.
      const std::vector<double> bars = analysis::TrackBeats(f).bars;
      EXPECT_NEAR(analysis::Nearest(bars, got.part.start), got.part.start, 1e-9);
      EXPECT_NEAR(analysis::Nearest(bars, got.part.end), got.part.end, 1e-9);
    }
  }
}

// A song whose loudest stretch is its last 20 s (an outro over a long fade of nothing repeating):
// in a song of a minute or more the part never ends in its last tenth, unless nothing else is
// left to offer.
TEST(SuggestOutro, NoPartEndsInTheLastTenth) {
  for (const double seconds : {100.0, 50.0}) {
    analysis::Features f;
    f.rate = 44100;
    f.pulseFrames = 441;
    f.hopFrames = f.pulseFrames * analysis::kPulsesPerHop;
    std::mt19937 pick(3);
    const auto hops = static_cast<size_t>(seconds / 0.2);
    for (size_t i = 0; i < hops; ++i) {
      analysis::Hop h;
      for (uint8_t& c : h.chroma) c = static_cast<uint8_t>(pick() % 256);
      h.energy = i * 0.2 >= seconds - 20 ? 0.08f : 0.05f;
      f.hops.push_back(h);
      for (uint32_t p = 0; p < analysis::kPulsesPerHop; ++p) f.pulses.push_back(h.energy);
    }
    f.frames = static_cast<int64_t>(f.pulses.size()) * f.pulseFrames;
    const auto parts = analysis::SuggestParts(f, 20, 3);
    ASSERT_FALSE(parts.empty()) << seconds;
    if (seconds >= 60) {
      EXPECT_LE(parts[0].part.end, 0.9 * seconds + 0.06) << seconds;
      EXPECT_EQ(parts.size(), 3u);  // the outro is offered last
    } else {
      EXPECT_GT(parts[0].part.end, 0.9 * seconds) << seconds;  // the loudest: a short song's end
    }
  }
}
