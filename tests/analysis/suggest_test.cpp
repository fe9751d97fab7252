// The suggested part of whole files: songs of a known form (as WAV and as LAME MP3), a
// speech-like file where nothing repeats, a file shorter than the part and files that do not open.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

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

// A form song's sidecar: its length on the first line ("... 128.000 s long"), then the chorus
// starts in seconds, one a line.
struct Form {
  double seconds = 0;
  std::vector<double> choruses;
};

Form ReadForm(const std::string& song) {
  Form form;
  std::ifstream in(twtest::Fixture(song + ".txt"));
  std::string line;
  std::getline(in, line);
  const size_t s = line.rfind(" s long");
  if (s != std::string::npos) form.seconds = std::stod(line.substr(line.rfind(' ', s - 1) + 1));
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') form.choruses.push_back(std::stod(line));
  return form;
}

const char* const kFormSongs[] = {"form_pop", "form_solo", "form_quiet_chorus", "form_long_intro", "form_ballad"};

TEST_F(SuggestTest, StartsAtAChorusOfMostFormSongs) {
  for (const char* ext : {".wav", ".mp3"}) {
    int hits = 0;
    for (const char* song : kFormSongs) {
      const Form form = ReadForm(song);
      ASSERT_FALSE(form.choruses.empty()) << song;
      const auto got = SuggestPartOfFile(twtest::Fixture(std::string(song) + ext));
      ASSERT_TRUE(got.has_value()) << song << ext;
      double nearest = 1e9;
      for (double c : form.choruses) nearest = std::min(nearest, std::abs(got->part.start - c));
      const bool hit = got->kind == PartKind::Chorus && nearest <= 1.0;
      hits += hit ? 1 : 0;
      std::printf("%s%s: %.3f .. %.3f, %.2f s from a chorus start%s\n", song, ext, got->part.start, got->part.end,
                  nearest, hit ? "" : " (missed)");
      // Always the whole part, and never past the end (MP3s are a little longer: the encoder's padding).
      EXPECT_NEAR(got->part.end - got->part.start, analysis::kDefaultPartSeconds, 1e-9) << song << ext;
      EXPECT_LE(got->part.end, form.seconds + (ext[1] == 'm' ? 0.1 : 0.0)) << song << ext;
    }
    EXPECT_GE(hits, 4) << ext;
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
