// The sections of a song of a known form (tests/FIXTURES.md, beat_form): each chorus in one group
// with the others and apart from the verses, and the suggested part opening the first chorus on
// its bar line, in whole bars, before the outro.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/sections.h"
#include "analysis/song_analysis.h"
#include "analysis/suggest_file.h"
#include "audio/engine.h"
#include "support/fixtures.h"

namespace {

constexpr double kTolerance = 0.05;

class SectionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { audio::Free(); }
};

// The group of the section starting within kTolerance of `seconds`; -1 for none.
int GroupStartingAt(const std::vector<wave::Section>& sections, double seconds) {
  for (const wave::Section& s : sections)
    if (std::abs(s.start - seconds) <= kTolerance) return s.group;
  return -1;
}

TEST_F(SectionsTest, ChorusesGroupedAndTheFirstOneSuggested) {
  const std::vector<double> choruses = twtest::SidecarTimes("beat_form", "chorus"), bars = twtest::SidecarTimes("beat_form", "bar");
  ASSERT_EQ(choruses.size(), 4u);
  const auto features = analysis::FeaturesOfFile(twtest::Fixture("beat_form.wav"));
  ASSERT_TRUE(features.has_value());
  const analysis::SongAnalysis song = analysis::AnalyseSong(*features, analysis::kDefaultPartSeconds, 2);

  // Every chorus opens a section of one group; the verses (8 bars before the first and second
  // choruses) open sections of another.
  const int chorus = GroupStartingAt(song.sections, choruses[0]);
  ASSERT_GE(chorus, 0);
  for (double t : choruses) EXPECT_EQ(GroupStartingAt(song.sections, t), chorus) << t;
  const double bar = bars[1] - bars[0];
  for (double t : {choruses[0] - 8 * bar, choruses[1] - 8 * bar}) {
    const int verse = GroupStartingAt(song.sections, t);
    EXPECT_GE(verse, 0) << t;
    EXPECT_NE(verse, chorus) << t;
  }
  // Sections follow each other without gaps or overlaps.
  for (size_t i = 1; i < song.sections.size(); ++i) EXPECT_DOUBLE_EQ(song.sections[i].start, song.sections[i - 1].end);

  // The part: from the first chorus's bar line, whole bars of 20 s up to the length, the chorus's
  // group outlined on the map; the second part offered opens the verse's group, from the first
  // of its instances whose part does not overlap the first part.
  ASSERT_EQ(song.parts.size(), 2u);
  const analysis::Part part = song.parts[0].part;
  EXPECT_NEAR(part.start, choruses[0], kTolerance);
  const double bars_long = (part.end - part.start) / bar;
  EXPECT_NEAR(bars_long, std::round(bars_long), 0.05);
  EXPECT_GE(part.end - part.start, 20 - kTolerance);
  EXPECT_LE(part.end - part.start, analysis::kDefaultPartSeconds + 1e-9);
  EXPECT_EQ(song.Map().suggestedGroup, chorus);
  EXPECT_EQ(song.parts[1].group, GroupStartingAt(song.sections, choruses[0] - 8 * bar));
  EXPECT_GE(song.parts[1].part.start, part.end);
  for (const analysis::Suggestion& s : song.parts) EXPECT_LE(s.part.end, 0.9 * features->Seconds()) << s.part.start;
}

// Too few bar lines to compare: no sections, and the part is still chosen.
TEST_F(SectionsTest, NoSectionsWithoutBars) {
  const auto features = analysis::FeaturesOfFile(twtest::Fixture("silence.wav"));
  ASSERT_TRUE(features.has_value());
  const analysis::SongAnalysis song = analysis::AnalyseSong(*features, 10, 1);
  EXPECT_TRUE(song.sections.empty());
  EXPECT_EQ(song.Map().suggestedGroup, -1);
  ASSERT_EQ(song.parts.size(), 1u);
}

}  // namespace
