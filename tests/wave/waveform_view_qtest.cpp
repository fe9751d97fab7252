// The composed waveform picture, read pixel by pixel: bar colours, rows, markers and labels.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <tuple>
#include <utility>

#include "app/lsan_suppressions.h"
#include "wave/waveform_view.h"

namespace {

using namespace wave;

constexpr int kW = 520, kH = 148, kClient = 537, kMid = 74;

class ViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "view";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr) app = new QGuiApplication(argc, argv);
  }
  void SetUp() override {
    bitmap.fill(Qt::black);
    QImage back(kW, kH, QImage::Format_RGB32);
    back.fill(QColor(10, 20, 30));
    view.setBackground(back);
    for (size_t i = 0; i < peaks.size(); ++i) {
      peaks.setLeft(i, 30);
      peaks.setRight(i, 20);
    }
  }
  // Bytes of 16-bit stereo at 44100 Hz.
  static double Seconds(int64_t bytes) { return bytes < 0 ? -1.0 : bytes / 176400.0; }

  QRgb At(int x, int y) const { return bitmap.pixel(x, y) | 0xFF000000; }
  // The leftmost column in row band [top, top+12) whose pixel has `color`, or -1.
  int LeftmostIn(int top, QRgb color) const {
    for (int x = 0; x < kW; ++x)
      for (int y = top; y < top + 12; ++y)
        if (At(x, y) == color) return x;
    return -1;
  }

  static inline QGuiApplication* app = nullptr;
  QImage bitmap{kW, kH, QImage::Format_RGB32};
  PeakBuffers peaks{kClient};
  WaveformView view{&bitmap, &peaks, kClient, &ViewTest::Seconds};
};

TEST(TimeText, MinutesAreNeitherPaddedNorLimited) {
  EXPECT_EQ(TimeText(0), "0:00");
  EXPECT_EQ(TimeText(65), "1:05");
  EXPECT_EQ(TimeText(3725), "62:05");
  EXPECT_EQ(TimeText(59), "0:59");
  EXPECT_EQ(MarkerLabel(kPlayRow, 3725), "Play:62:05");
  EXPECT_EQ(MarkerLabel(kStartRow, 65), "Start:1:05");
  EXPECT_EQ(MarkerLabel(kEndRow, 0), "End:0:00");
}

TEST_F(ViewTest, BarsFillTheirRowsAndNeverTheMiddleRow) {
  ViewState s{1000, 0, 0};
  view.setPlayColumn(-1);
  view.DrawWaveform(s);
  for (int x : {0, 1, 250, 519}) {
    for (int y = kMid - 30; y <= kMid - 1; ++y) ASSERT_EQ(At(x, y), colors::kLeft) << x << "," << y;
    for (int y = kMid + 1; y <= kMid + 20; ++y) ASSERT_EQ(At(x, y), colors::kRight) << x << "," << y;
    EXPECT_EQ(At(x, kMid), qRgb(10, 20, 30)) << x;
    // The sparkle sits 0..4 rows beyond the tip; the rows between stay background.
    int white = 0;
    for (int y = kMid - 35; y <= kMid - 31; ++y) white += At(x, y) == colors::kSparkle;
    EXPECT_EQ(white, 1) << x;
  }
}

TEST_F(ViewTest, PlayedSelectedAndPlainColumns) {
  const uint32_t bpp = 1000;
  ViewState s{bpp, 100 * bpp, 200 * bpp + 999};
  view.setPlayColumn(150);
  view.DrawWaveform(s);
  EXPECT_EQ(At(99, kMid - 5), colors::kPlayed);
  EXPECT_EQ(At(100, kMid - 5), colors::kSelected);
  EXPECT_EQ(At(200, kMid + 5), colors::kSelected);
  EXPECT_EQ(At(201, kMid - 5), colors::kLeft);
  EXPECT_EQ(At(201, kMid + 5), colors::kRight);
  // A selection with a bound of 0 is not shaded at all.
  ViewState unset{bpp, 0, 200 * bpp};
  view.setPlayColumn(-1);
  view.DrawWaveform(unset);
  EXPECT_EQ(At(100, kMid - 5), colors::kLeft);
  EXPECT_EQ(At(0, kMid - 5), colors::kLeft);
}

TEST_F(ViewTest, MarkersAndLabelsSitWhereTheirColumnsSay) {
  const uint32_t bpp = 1000;
  ViewState s{bpp, 480 * bpp, 530 * bpp};
  view.DrawWaveform(s);
  view.DrawMarker(kStartRow, colors::kStart, s.selStart, s);
  EXPECT_EQ(view.playColumn(), 480);
  EXPECT_EQ(At(480, 0), colors::kStart);
  EXPECT_EQ(At(480, kH - 1), colors::kStart);
  EXPECT_EQ(view.LabelLeft(480), 422);
  EXPECT_EQ(view.LabelLeft(530), 432);
  EXPECT_EQ(view.LabelLeft(100), 102);
  EXPECT_EQ(view.LabelLeft(459), 461);
  EXPECT_EQ(view.LabelLeft(460), 402);
  // The label's glyphs start at (or just right of) its left edge and stay right of it.
  const int startLabel = LeftmostIn(kStartRow, colors::kStart);
  EXPECT_GE(startLabel, 422);
  EXPECT_LE(startLabel, 426);
  view.DrawMarker(kEndRow, colors::kEnd, s.selEnd, s);
  EXPECT_EQ(view.playColumn(), 530);
  const int endLabel = LeftmostIn(kEndRow, colors::kEnd);
  EXPECT_GE(endLabel, 432);
  EXPECT_LE(endLabel, 436);
}

TEST_F(ViewTest, RefreshDrawsPlayMarkerLastAndTracksItsColumn) {
  const uint32_t bpp = 176400;  // one second per column
  ViewState s{bpp, 0, 0};
  view.Refresh(s, int64_t{3725} * 176400);
  EXPECT_EQ(view.playColumn(), 3725);
  // Start and end at 0 share column 0 with the play marker only when it is there; here the
  // play marker is far right of the view and the start/end line at column 0 is the end's colour.
  EXPECT_EQ(At(0, 100), colors::kEnd);
  // No stream: the position reads -1 and the marker lands in column 0.
  view.Refresh(s, -1);
  EXPECT_EQ(view.playColumn(), 0);
  EXPECT_EQ(At(0, 100), colors::kPlay);
}

TEST_F(ViewTest, AnErrorReadingRunsOffTheEdge) {
  peaks.setLeft(10, 120);
  peaks.setRight(10, 120);
  ViewState s{1000, 0, 0};
  view.setPlayColumn(-1);
  view.DrawWaveform(s);
  EXPECT_EQ(At(10, 0), colors::kLeft);
  EXPECT_EQ(At(10, kH - 1), colors::kRight);
}

// A zoomed view of 2000 readings of 20 ms (40 s of 16-bit stereo at 44100 Hz), reading k of
// heights k % 57 and 7k % 57.
constexpr int64_t kReading = 3528, kSong = 2000 * kReading;

class ZoomedViewTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    peaks.ResetReadings(kSong, kReading);
    for (size_t k = 0; k < peaks.readingCount(); ++k) peaks.setReading(k, int(k % 57), int(k * 7 % 57));
    view.setPlayColumn(-1);
  }
  static ViewState Fitted(int64_t from, int64_t to, int64_t selStart = 0, int64_t selEnd = 0) {
    ViewSpan span(kSong, (kSong + kW - 2) / (kW - 1), kReading, kW);
    span.Fit(from, to);
    return {static_cast<uint32_t>((kSong + kW - 2) / (kW - 1)), selStart, selEnd, span};
  }
  // The height of the bar drawn in column x above the middle (below it for the second channel).
  int BarAt(int x, bool first) const {
    int h = 0;
    while (h < kMid - 1 && At(x, first ? kMid - 1 - h : kMid + 1 + h) == (first ? colors::kLeft : colors::kRight)) ++h;
    return h;
  }
};

TEST_F(ZoomedViewTest, EachColumnShowsTheHighestOfTheReadingsThatBeginInIt) {
  // The deepest zoom off the readings' grid, and about 1.4 and 3.8 readings a column.
  for (const auto& [from, to] : {std::pair{300 * kReading + 17, 300 * kReading + 17}, {0, kSong / 3}, {100 * kReading, 1900 * kReading}}) {
    const ViewState s = Fitted(from, to);
    view.DrawWaveform(s);
    int64_t k = 0;
    for (int x = 0; x < kW; ++x) {
      int left = 0, right = 0;
      for (; k < 2000 && k * kReading < s.span.PositionOf(x + 1); ++k) {
        if (k * kReading < s.span.PositionOf(x)) continue;
        left = std::max(left, int(k % 57));
        right = std::max(right, int(k * 7 % 57));
      }
      ASSERT_EQ(BarAt(x, true), left) << from << " column " << x;
      ASSERT_EQ(BarAt(x, false), right) << from << " column " << x;
    }
  }
}

TEST_F(ZoomedViewTest, MarksPlayAndMapFollowTheZoom) {
  // The deepest zoom around reading 1000 (20 s): column x holds reading 740 + x.
  const ViewState s = Fitted(1000 * kReading, 1000 * kReading, 800 * kReading, 1500 * kReading);
  ASSERT_EQ(s.span.first(), 740 * kReading);
  SongMap map{{19.0, 20.0, 20.5, 40.0}, {20.0}, {{18.0, 22.0, 0}, {30.0, 34.0, 0}}, -1};
  view.setSongMap(map, 176400);
  view.Refresh(s, 1100 * kReading);
  EXPECT_EQ(view.playColumn(), 360);
  EXPECT_EQ(At(360, 100), colors::kPlay);
  EXPECT_EQ(LeftmostIn(kStartRow, colors::kStart), 60) << "the start's line; its label right of it";
  EXPECT_EQ(LeftmostIn(kEndRow, colors::kEnd), -1) << "the end is right of the view: no line, no label";
  EXPECT_EQ(At(59, kMid - 1), colors::kLeft);
  EXPECT_EQ(At(519, kMid + 1), colors::kSelected) << "selected from the start's column on";
  // A beat tick at 20.5 s (column 285), the bar line at 20 s (260), the section 18-22 s over 160-359.
  const QRgb ground = qRgb(10, 20, 30), band = GroupColor(0, false) | 0xFF000000;
  for (const auto& [x, y, drawn] : {std::tuple{285, 1, true}, {284, 1, false}, {260, 5, true}, {259, 5, false}})
    EXPECT_EQ(At(x, y) != ground, drawn) << x;
  for (const auto& [x, color] : {std::pair{159, ground}, {200, band}, {361, ground}}) EXPECT_EQ(At(x, kH - 2), color) << x;
}

TEST_F(ViewTest, NothingIsDrawnWithoutBytesPerPixel) {
  bitmap.fill(Qt::magenta);
  view.Refresh(ViewState{0, 0, 0}, 0);
  EXPECT_EQ(At(100, 100), qRgb(255, 0, 255));
}

}  // namespace
