// The composed waveform picture, read pixel by pixel: bar colours, rows, markers and labels.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>

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

// A zoomed view of 2000 readings of 20 ms (40 s of 16-bit stereo at 44100 Hz).
constexpr int64_t kReading = 3528;
constexpr int64_t kSong = 2000 * kReading;
constexpr uint32_t kWholeBpp = (kSong + kW - 2) / (kW - 1);

class ZoomedViewTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    peaks.ResetReadings(kSong, kReading);
    for (size_t k = 0; k < peaks.readingCount(); ++k) peaks.setReading(k, int(k % 57), int(k * 7 % 57));
    view.setPlayColumn(-1);
  }
  static ViewSpan Fitted(int64_t from, int64_t to) {
    ViewSpan span(kSong, kWholeBpp, kReading, kW);
    span.Fit(from, to);
    return span;
  }
  // The height of the bar drawn in column x above the middle (below for the second channel).
  int BarAt(int x, bool first) const {
    const QRgb color = first ? colors::kLeft : colors::kRight;
    int h = 0;
    while (h < kMid - 1 && At(x, first ? kMid - 1 - h : kMid + 1 + h) == color) ++h;
    return h;
  }
};

TEST_F(ZoomedViewTest, EachColumnShowsTheHighestOfTheReadingsThatBeginInIt) {
  const struct {
    int64_t from, to;
    double perColumn;  // readings a column holds
  } zooms[] = {{300 * kReading + 17, 300 * kReading + 17, 1},  // deepest, off the readings' grid
               {0, kSong / 3, 666.7 * 1.1 / 519},              // a tenth more than the part
               {1500 * kReading, 1990 * kReading, 490 * 1.1 / 519},
               {100 * kReading, 1900 * kReading, 1800 * 1.1 / 519}};
  for (const auto& z : zooms) {
    const ViewSpan span = Fitted(z.from, z.to);
    ASSERT_FALSE(span.whole());
    EXPECT_NEAR(double(span.bytesPerColumn()) / kReading, z.perColumn, 0.01) << z.from;
    view.DrawWaveform(ViewState{kWholeBpp, 0, 0, span});
    for (int x = 0; x < kW; ++x) {
      int left = 0, right = 0;
      for (int64_t k = 0; k < 2000; ++k) {
        if (k * kReading < span.PositionOf(x) || k * kReading >= span.PositionOf(x + 1)) continue;
        left = std::max(left, int(k % 57));
        right = std::max(right, int(k * 7 % 57));
      }
      ASSERT_EQ(BarAt(x, true), left) << z.from << " column " << x;
      ASSERT_EQ(BarAt(x, false), right) << z.from << " column " << x;
    }
  }
  // Readings the scan has not reached yet are flat, as unscanned columns are.
  peaks.ResetReadings(kSong, kReading);
  view.DrawWaveform(ViewState{kWholeBpp, 0, 0, Fitted(kSong / 2, kSong / 2)});
  EXPECT_EQ(BarAt(260, true), 0);
}

TEST_F(ZoomedViewTest, MarksPlayAndMapFollowTheZoom) {
  // The deepest zoom around reading 1000 (20 s): column x holds reading 740 + x.
  const ViewSpan span = Fitted(1000 * kReading, 1000 * kReading);
  ASSERT_EQ(span.first(), 740 * kReading);
  SongMap map;
  map.beats = {19.0, 20.0, 20.5, 40.0};
  map.bars = {20.0};
  map.sections = {{18.0, 22.0, 0}, {30.0, 34.0, 0}};
  view.setSongMap(map, 176400);
  const ViewState s{kWholeBpp, 800 * kReading, 1500 * kReading, span};
  view.Refresh(s, 1100 * kReading);
  EXPECT_EQ(view.playColumn(), 360);
  EXPECT_EQ(At(60, 100), colors::kStart);
  EXPECT_EQ(At(360, 100), colors::kPlay);
  EXPECT_EQ(LeftmostIn(kStartRow, colors::kStart), 60) << "the start's line; its label right of it";
  EXPECT_EQ(LeftmostIn(kEndRow, colors::kEnd), -1) << "the end is right of the view: no line, no label";
  EXPECT_EQ(At(59, kMid - 1), colors::kLeft);
  EXPECT_EQ(At(61, kMid - 1), colors::kSelected) << "selected from the start on, to beyond the view";
  EXPECT_EQ(At(519, kMid + 1), colors::kSelected);
  // A beat tick at 20.5 s (column 285) and the bar line at 20 s (column 260), not their neighbours.
  const QRgb ground = qRgb(10, 20, 30);
  EXPECT_NE(At(285, 1), ground);
  EXPECT_EQ(At(284, 1), ground);
  EXPECT_NE(At(260, 5), ground);
  EXPECT_EQ(At(259, 5), ground);
  // The section 18-22 s over columns 160 to 359 of the band, the next one out of view.
  const QRgb band = GroupColor(0, false) | 0xFF000000;
  EXPECT_EQ(At(159, kH - 2), ground);
  EXPECT_EQ(At(200, kH - 2), band);
  EXPECT_EQ(At(361, kH - 2), ground);
}

TEST_F(ViewTest, NothingIsDrawnWithoutBytesPerPixel) {
  bitmap.fill(Qt::magenta);
  view.Refresh(ViewState{0, 0, 0}, 0);
  EXPECT_EQ(At(100, 100), qRgb(255, 0, 255));
}

}  // namespace
