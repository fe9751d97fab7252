// The view's span at its limits: the whole song, the deepest zoom (one 20-ms reading a column),
// panning held at both ends, a part fitted; columns to bytes and seconds and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "wave/view_span.h"

namespace {

using wave::ViewSpan;

constexpr int64_t kSecond = 176400;  // bytes of a second of 16-bit stereo at 44100 Hz
constexpr int64_t kReading = kSecond / 50;
constexpr int kColumns = 520;

// A song of `seconds` as opening it scales the view: its end on the last column, 20 ms a column at least.
ViewSpan Song(int64_t seconds) {
  const int64_t length = seconds * kSecond;
  const auto bpp = static_cast<uint32_t>(std::max<int64_t>((length + kColumns - 2) / (kColumns - 1), kReading));
  return ViewSpan(length, bpp, kReading, kColumns);
}

TEST(ViewSpan, TheWholeSongIsTheScansColumns) {
  const struct {
    int64_t seconds;
    int endColumn;  // a short song fills the view's left only
  } songs[] = {{5, 250}, {240, 518}, {7200, 518}};
  for (const auto& [seconds, endColumn] : songs) {
    ViewSpan span = Song(seconds);
    const int64_t bpp = span.bytesPerColumn();
    EXPECT_TRUE(span.whole());
    EXPECT_EQ(span.lastFirst(), 0) << seconds;
    for (const int x : {0, 1, 300, 519}) {
      EXPECT_EQ(span.PositionOf(x), x * bpp) << seconds;
      EXPECT_EQ(span.ColumnOf(x * bpp + bpp - 1), x) << seconds;
    }
    EXPECT_EQ(span.ColumnOf(seconds * kSecond), endColumn) << seconds;
    EXPECT_EQ(span.ColumnOf(-1), -1);
    span.PanBy(100);
    EXPECT_EQ(span.first(), 0) << "nothing to pan";
    span.ZoomAround(200, 0.5);
    EXPECT_TRUE(span.whole()) << "no further out than the whole song";
  }
  // The scan's scale alone, as a view without a zoom places its marks.
  EXPECT_EQ(ViewSpan(1000u).ColumnOf(480 * 1000), 480);
  EXPECT_TRUE(ViewSpan(0u).empty());
}

TEST(ViewSpan, TheDeepestZoomIsOneReadingAColumnAroundThePointer) {
  const struct {
    int64_t seconds;
    int x;
  } cases[] = {{240, 260}, {240, 0}, {240, 519}, {7200, 100}, {7200, 519}, {11, 400}};
  for (const auto& c : cases) {
    ViewSpan span = Song(c.seconds);
    const int64_t under = span.PositionOf(c.x);
    for (int i = 0; i < 40 && !span.deepest(); ++i) span.ZoomAround(c.x, 1.5);
    EXPECT_TRUE(span.deepest()) << c.seconds;
    EXPECT_EQ(span.bytesPerColumn(), kReading) << c.seconds;
    EXPECT_NEAR(span.SecondsOf(kColumns, kSecond) - span.SecondsOf(0, kSecond), 10.4, 1e-9);
    // What was under the pointer still is, unless the song's start or end holds the view.
    if (span.first() > 0 && span.first() < span.lastFirst()) {
      EXPECT_EQ(span.ColumnOf(under), c.x) << c.seconds;
    }
    const ViewSpan before = span;
    span.ZoomAround(c.x, 4);
    EXPECT_EQ(span.bytesPerColumn(), kReading) << "never deeper";
    EXPECT_EQ(span.first(), before.first());
  }
  // A song of 10 s or less is at its deepest whole.
  EXPECT_TRUE(Song(5).deepest());
}

TEST(ViewSpan, PanningStopsAtTheSongsStartAndEnd) {
  const struct {
    int64_t seconds;
    int by;
    double firstSeconds;  // of column 0 after the pan
  } cases[] = {{240, -100000, 0},       {240, 100000, 240 - 519 * 0.02}, {7200, 1 << 30, 7200 - 519 * 0.02},
               {7200, -(1 << 30), 0}, {240, 50, 120 - 260 * 0.02 + 1.0}};
  for (const auto& c : cases) {
    ViewSpan span = Song(c.seconds);
    span.Fit(c.seconds * kSecond / 2, c.seconds * kSecond / 2);  // the middle, at the deepest zoom
    span.PanBy(c.by);
    EXPECT_NEAR(span.SecondsOf(0, kSecond), c.firstSeconds, 0.02) << c.seconds << " by " << c.by;
    EXPECT_GE(span.first(), 0);
    EXPECT_LE(span.first(), span.lastFirst());
    if (span.first() == span.lastFirst()) {
      EXPECT_EQ(span.ColumnOf(c.seconds * kSecond), 519) << "the end on the last column";
    }
  }
}

TEST(ViewSpan, APartFitsWithATwentiethEachSide) {
  const struct {
    int64_t seconds;
    double from, to;   // the part
    double viewFrom;   // seconds of column 0
    double perColumn;  // seconds a column
  } cases[] = {
      {240, 60, 90, 75 - 260 * (33.0 / 519), 33.0 / 519},  // centred, 1.5 s each side
      {240, 90, 60, 75 - 260 * (33.0 / 519), 33.0 / 519},  // either order
      {240, 100, 102, 101 - 260 * 0.02, 0.02},             // short: no deeper than a reading
      {240, 230, 240, 240 - 519 * (11.0 / 519), 11.0 / 519},  // at the end: held there
      {240, 0.5, 20, 0, 21.45 / 519},                          // at the start: held there
      {240, 0.1, 239.9, 0, 240.0 / 519},                       // the song: the whole view
  };
  for (const auto& c : cases) {
    ViewSpan span = Song(c.seconds);
    span.Fit(static_cast<int64_t>(c.from * kSecond), static_cast<int64_t>(c.to * kSecond));
    EXPECT_NEAR(span.bytesPerColumn() / double(kSecond), c.perColumn, 1e-4) << c.from;
    EXPECT_NEAR(span.SecondsOf(0, kSecond), c.viewFrom, 0.01) << c.from;
    // The part is in view.
    EXPECT_GE(span.ColumnOfSeconds(std::min(c.from, c.to), kSecond), 0) << c.from;
    EXPECT_LT(span.ColumnOfSeconds(std::max(c.from, c.to), kSecond), kColumns) << c.from;
    span.ShowWhole();
    EXPECT_TRUE(span.whole());
  }
}

}  // namespace
