// The song map's rules on a made-up grid: a beat each 0.5 s, bars of 4 beats, sections in two
// groups. Snapping, nudging, the band's words and colours and the columns of the view.
#include <gtest/gtest.h>

#include "wave/song_map.h"

namespace {

using wave::SongMap;

SongMap Grid() {
  SongMap map;
  for (int i = 0; i < 40; ++i) map.beats.push_back(1.0 + 0.5 * i);  // 1.0 .. 20.5
  for (size_t i = 0; i < map.beats.size(); i += 4) map.bars.push_back(map.beats[i]);  // 1, 3, 5, ...
  map.sections = {{1, 5, 0}, {5, 9, 1}, {9, 13, 0}, {13, 17, 0}};
  map.suggestedGroup = 0;
  return map;
}

TEST(SongMap, SnapAndNudgeFollowTheBeatsAndBars) {
  const SongMap map = Grid();
  const SongMap none;
  const struct {
    const SongMap* map;
    double at;
    double snapped;
  } snaps[] = {{&map, 2.2, 2.0}, {&map, 2.3, 2.5}, {&map, 0.1, 1.0}, {&map, 30, 20.5}, {&map, 2.25, 2.0}, {&none, 2.3, 2.3}};
  for (const auto& s : snaps) EXPECT_DOUBLE_EQ(wave::SnapToBeat(*s.map, s.at), s.snapped) << s.at;

  const struct {
    const SongMap* map;
    double at;
    int steps;
    bool byBar;
    double to;
  } nudges[] = {
      {&map, 2.0, 1, false, 2.5},    // on a beat: the next one
      {&map, 2.2, 1, false, 2.5},    // between beats: the next one
      {&map, 2.2, -1, false, 2.0},   // ... or the one before
      {&map, 2.0, -2, false, 1.0},
      {&map, 2.0, 1, true, 3.0},     // by a bar
      {&map, 3.0, -1, true, 1.0},
      {&map, 20.5, 1, false, 20.5},  // nothing further: it stays
      {&map, 0.5, -1, false, 0.5},
      {&none, 2.0, 1, false, 2.01},  // without a beat: 10 ms
      {&none, 2.0, -1, true, 1.99},
      {&none, 0.005, -1, false, 0.0},  // never before the start
  };
  for (const auto& n : nudges) EXPECT_NEAR(wave::Nudge(*n.map, n.at, n.steps, n.byBar), n.to, 1e-9) << n.at << " " << n.steps;
}

TEST(SongMap, TheBandSaysHowOftenAPartIsHeardAndWhereItLies) {
  const SongMap map = Grid();
  EXPECT_EQ(wave::TimesHeard(map, 0), 3);
  EXPECT_EQ(wave::TimesText(wave::TimesHeard(map, 0)), "3 times in the song");
  EXPECT_EQ(wave::TimesText(2), "twice in the song");
  EXPECT_EQ(wave::TimesText(wave::TimesHeard(map, 1)), "heard once");
  ASSERT_NE(wave::SectionAt(map, 6.0), nullptr);
  EXPECT_EQ(wave::SectionAt(map, 6.0)->group, 1);
  EXPECT_EQ(wave::SectionAt(map, 9.0)->group, 0);  // a section starts where the last ends
  EXPECT_EQ(wave::SectionAt(map, 18.0), nullptr);
  EXPECT_NE(wave::GroupColor(0, false), wave::GroupColor(1, false));
  EXPECT_EQ(wave::GroupColor(0, true), wave::GroupColor(1, true));  // heard once: one grey
  // 44100 Hz stereo 16-bit, 1764 bytes a column (10 ms): a second is 100 columns.
  EXPECT_EQ(wave::ColumnOf(2.0, 176400, 1764), 200);
  EXPECT_EQ(wave::ColumnOf(2.004, 176400, 1764), 200);
  EXPECT_EQ(wave::ColumnOf(2.0, 176400, 0), -1);
}

// Grid lines at least 4 columns apart: every line of a few bars, every 32nd of a two-hour song's
// 3,600 bars across the 520-column view.
TEST(SongMap, ACrowdedGridIsThinned) {
  struct Case {
    size_t count;
    int columns;
    size_t stride;
  } const cases[] = {{10, 520, 1}, {130, 520, 1}, {131, 520, 2}, {3600, 520, 32}, {0, 520, 1}, {5, 0, 1}};
  for (const Case& c : cases) EXPECT_EQ(wave::GridStride(c.count, c.columns), c.stride) << c.count << " in " << c.columns;
}

}  // namespace
