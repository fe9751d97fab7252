// The view's span at its limits: the whole song, the deepest zoom (one 20-ms reading a column),
// panning held at both ends, a part fitted with a twentieth either side.
#include <gtest/gtest.h>

#include <algorithm>

#include "wave/view_span.h"

namespace {

using wave::ViewSpan;

constexpr int64_t kSecond = 176400, kReading = kSecond / 50;  // 16-bit stereo at 44100 Hz
constexpr int64_t k4Min = 81573, k2Hours = 2447168;           // bytes a column of their whole songs

// A song scaled as opening it scales the view: its end by the last of 520 columns, 20 ms a column at least.
ViewSpan Song(int64_t seconds) {
  const int64_t length = seconds * kSecond;
  return ViewSpan(length, static_cast<uint32_t>(std::max((length + 518) / 519, kReading)), kReading, 520);
}

TEST(ViewSpan, ZoomAndPanStayBetweenTheWholeSongAndAReadingAColumn) {
  const struct {
    int64_t seconds;
    int x;              // the pointer the zoom keeps its byte under
    double factor;      // > 1 zooms in
    int pan;            // columns afterwards
    int64_t first, perColumn;
  } cases[] = {
      {240, 200, 0.1, 100, 0, k4Min},                                         // whole: no further out
      {240, 100, 2, 0, 100 * k4Min - 100 * 40787, 40787},                     // twice as deep
      {240, 260, 1e3, -100000, 0, kReading},                                  // held at the start
      {240, 260, 1e3, 100000, 240 * kSecond - 519 * kReading, kReading},      // the end on the last column
      {7200, 519, 1e3, 0, 7200 * kSecond - 519 * kReading, kReading},         // held at the end
      {7200, 10, 1e3, 0, 10 * k2Hours - 10 * kReading, kReading},             // never deeper
      {5, 100, 1e3, 0, 0, kReading},                                          // a short song is as deep whole
  };
  for (const auto& c : cases) {
    ViewSpan span = Song(c.seconds);
    ASSERT_TRUE(span.whole());
    EXPECT_EQ(span.ColumnOf(c.x * span.bytesPerColumn() + span.bytesPerColumn() - 1), c.x);
    span.ZoomAround(c.x, c.factor);
    span.PanBy(c.pan);
    EXPECT_EQ(span.first(), c.first) << c.seconds << " at " << c.x << " by " << c.factor;
    EXPECT_EQ(span.bytesPerColumn(), c.perColumn) << c.seconds << " at " << c.x << " by " << c.factor;
    EXPECT_EQ(span.ColumnOf(span.PositionOf(c.x)), c.x);
    EXPECT_EQ(span.ColumnOf(span.first() - 1), -1);
  }
}

TEST(ViewSpan, APartFitsWithATwentiethEachSide) {
  const struct {
    double from, to;    // the part, seconds of a 4-minute song
    double viewFrom;    // seconds of column 0
    double perColumn;   // seconds a column
  } cases[] = {
      {60, 90, 75 - 260 * (33.0 / 519), 33.0 / 519},  // centred, 1.5 s each side
      {90, 60, 75 - 260 * (33.0 / 519), 33.0 / 519},  // either order
      {100, 102, 101 - 260 * 0.02, 0.02},             // short: no deeper than a reading
      {230, 240, 240 - 519 * (11.0 / 519), 11.0 / 519},  // at the end: held there
      {0.5, 20, 0, 21.45 / 519},                      // at the start: held there
      {0.1, 239.9, 0, 240.0 / 519},                   // most of the song: the whole song
  };
  for (const auto& c : cases) {
    ViewSpan span = Song(240);
    span.Fit(static_cast<int64_t>(c.from * kSecond), static_cast<int64_t>(c.to * kSecond));
    EXPECT_NEAR(span.bytesPerColumn() / double(kSecond), c.perColumn, 1e-4) << c.from;
    EXPECT_NEAR(span.SecondsOf(0, kSecond), c.viewFrom, 0.01) << c.from;
  }
}

}  // namespace
