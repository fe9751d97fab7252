// The "Suggest" button of the real window: off until the scan of the open file has chosen its
// part, then a click selects that part as a mouse selection would (spin edits, length, convert
// button, triggers); another file takes it away until its own part is ready.
#include <cmath>

#include <QGroupBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include "analysis/suggest_file.h"
#include "app/ButtonSpinEdit.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "wave/song_map.h"
#include "wave/waveform_view.h"
#include "window_probe.h"

namespace {

using apptest::WaitFor;

class SuggestWindowTest : public apptest::PlayerWindowTest {
 protected:
  void Open(Tfrmmain& w, const char* name) {
    w.show();
    openAnswer = F(name);
    QTest::mouseClick(w.btnselect, Qt::LeftButton);
    ASSERT_NE(playStream.load(), 0u) << name;
  }
  // Notches of the wheel over the view at column x (negative: towards the user), keys held.
  static void Wheel(Tfrmmain& w, int x, int notches, Qt::KeyboardModifiers held = {}) {
    const QPointF at(x, 70);
    QWheelEvent turn(at, w.PB->mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton, held, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w.PB, &turn);
  }
};

TEST_F(SuggestWindowTest, SelectsTheScansPartOnceItIsReady) {
  Tfrmmain w;
  ASSERT_NE(w.btnsuggest, nullptr);
  EXPECT_EQ(w.btnsuggest->parentWidget(), static_cast<QWidget*>(w.sGroupBox1));
  EXPECT_FALSE(w.btnsuggest->toolTip().isEmpty());
  EXPECT_FALSE(w.btnsuggest->isEnabled());
  ASSERT_NO_FATAL_FAILURE(Open(w, "form_pop.wav"));
  ASSERT_TRUE(WaitFor([&] { return w.btnsuggest->isEnabled(); }));
  const auto part = w.suggestion.Ready();
  ASSERT_TRUE(part.has_value());
  // The scan chose what the command line chooses for the same file.
  const auto alone = analysis::SuggestPartOfFile(twtest::Fixture("form_pop.wav"));
  ASSERT_TRUE(alone.has_value());
  EXPECT_NEAR(part->start, alone->part.start, 1e-9);
  EXPECT_NEAR(part->end, alone->part.end, 1e-9);

  // An earlier selection the other way round is replaced, not swapped with.
  selStart = audio::ChannelSeconds2Bytes(playStream.load(), 100);
  selEnd = audio::ChannelSeconds2Bytes(playStream.load(), 90);
  QTest::mouseClick(w.btnsuggest, Qt::LeftButton);
  const audio::Handle play = playStream.load();
  EXPECT_EQ(selStart.load(), audio::ChannelSeconds2Bytes(play, part->start));
  EXPECT_EQ(selEnd.load(), audio::ChannelSeconds2Bytes(play, part->end));
  EXPECT_EQ(w.sedit->value(), static_cast<int>(part->start));
  EXPECT_EQ(w.eedit->value(), static_cast<int>(part->end));
  EXPECT_TRUE(w.btnconvert->isEnabled());
  EXPECT_NE(w.selection.endSync(), 0u);
  EXPECT_NE(w.selection.fadeInSync(), 0u);
  // Each click while an offered part is marked marks the next distinct one, then the first again.
  const std::vector<analysis::Part> offered = w.suggestion.ReadyParts();
  ASSERT_GE(offered.size(), 2u);
  for (size_t k = 1; k <= offered.size(); ++k) {
    QTest::mouseClick(w.btnsuggest, Qt::LeftButton);
    const analysis::Part& want = offered[k % offered.size()];
    EXPECT_EQ(selStart.load(), audio::ChannelSeconds2Bytes(play, want.start)) << k;
    EXPECT_EQ(selEnd.load(), audio::ChannelSeconds2Bytes(play, want.end)) << k;
  }

  // Another file: off at once, on again with its own part.
  ASSERT_NO_FATAL_FAILURE(Open(w, "short5s.wav"));
  EXPECT_FALSE(w.btnsuggest->isEnabled());
  EXPECT_FALSE(w.suggestion.Ready().has_value());
  ASSERT_TRUE(WaitFor([&] { return w.btnsuggest->isEnabled(); }));
  QTest::mouseClick(w.btnsuggest, Qt::LeftButton);
  // Shorter than a part: the whole file, from its first frame (a start of 0 would not count).
  EXPECT_EQ(selStart.load(), 4);
  EXPECT_EQ(selEnd.load(), audio::ChannelGetLength(playStream.load(), audio::POS_BYTE));
  EXPECT_EQ(w.lengthedit->text(), QStringLiteral("5 sec")) << "the whole 5 s, one frame short";

  // A file that does not open leaves nothing to suggest.
  openAnswer = F("random.mp3");
  QTest::mouseClick(w.btnselect, Qt::LeftButton);
  EXPECT_FALSE(w.btnsuggest->isEnabled());
  for (int i = 0; i < 5; ++i) QTest::qWait(40);
  EXPECT_FALSE(w.btnsuggest->isEnabled());
}

// The scan's beats in the real window: drawn, and guiding a click (snapped while the box is ticked,
// exact with Shift) and the arrow keys (a beat, a bar with Shift, the end with Alt).
TEST_F(SuggestWindowTest, TheSongsBeatsGuideTheMarks) {
  Tfrmmain w;
  EXPECT_FALSE(w.cbsnap->isEnabled());
  ASSERT_NO_FATAL_FAILURE(Open(w, "form_pop.wav"));
  ASSERT_TRUE(WaitFor([&] { return w.cbsnap->isEnabled(); }));
  const wave::SongMap& map = w.view->songMap();
  ASSERT_TRUE(map.HasBeat());
  ASSERT_FALSE(map.bars.empty());
  const audio::Handle play = playStream.load();
  const auto seconds = [&](int64_t bytes) { return audio::ChannelBytes2Seconds(play, bytes); };
  const auto onBeat = [&](double t) { return std::abs(wave::SnapToBeat(map, t) - t) < 1.0 / 44100 + 1e-9; };

  // Not ticked: exactly where clicked, as ever.
  w.cbsnap->setChecked(false);
  QTest::mouseClick(w.PB, Qt::LeftButton, {}, QPoint(101, 70));
  EXPECT_EQ(selStart.load(), int64_t{101} * w.bytesPerPixel.load());
  // Ticked: on the nearest beat; with Shift, exactly where clicked.
  w.cbsnap->setChecked(true);
  QTest::mouseClick(w.PB, Qt::LeftButton, {}, QPoint(101, 70));
  EXPECT_TRUE(onBeat(seconds(selStart.load()))) << seconds(selStart.load());
  EXPECT_NEAR(seconds(selStart.load()), wave::SnapToBeat(map, seconds(int64_t{101} * w.bytesPerPixel.load())), 1e-4);
  QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(400, 70));
  EXPECT_TRUE(onBeat(seconds(selEnd.load())));
  QTest::mouseClick(w.PB, Qt::RightButton, Qt::ShiftModifier, QPoint(401, 70));
  EXPECT_EQ(selEnd.load(), int64_t{401} * w.bytesPerPixel.load());

  // The keys, with the view focused by the click.
  ASSERT_TRUE(w.PB->hasFocus());
  const double start = seconds(selStart.load());
  QTest::keyClick(w.PB, Qt::Key_Right);
  EXPECT_NEAR(seconds(selStart.load()), wave::Nudge(map, start, 1, false), 1e-4);
  QTest::keyClick(w.PB, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_NEAR(seconds(selStart.load()), wave::Nudge(map, wave::Nudge(map, start, 1, false), 1, true), 1e-4);
  EXPECT_EQ(w.sedit->value(), static_cast<int>(seconds(selStart.load())));
  const double end = seconds(selEnd.load());
  QTest::keyClick(w.PB, Qt::Key_Left, Qt::AltModifier);
  EXPECT_NEAR(seconds(selEnd.load()), wave::Nudge(map, end, -1, false), 1e-4);
  EXPECT_TRUE(onBeat(seconds(selEnd.load())));
}

// The zoom through the real window: the wheel around the pointer down to one reading a column,
// clicks that mark the time under the pointer, Shift+wheel and the strip to move along, Z to fit
// the part, Ctrl+- and Ctrl+0 back out; the section band's hint; another file back to the whole.
TEST_F(SuggestWindowTest, TheZoomMarksTheTimeUnderThePointer) {
  Tfrmmain w;
  ASSERT_NO_FATAL_FAILURE(Open(w, "form_pop.wav"));
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  ASSERT_TRUE(WaitFor([&] { return w.songMapShown; })) << "the scan has read the song";
  const audio::Handle play = playStream.load();
  const int64_t reading = audio::ChannelSeconds2Bytes(play, 0.02);
  w.cbsnap->setChecked(false);
  const wave::ViewSpan& span = w.zoom.Span();
  ASSERT_TRUE(span.whole());

  // The wheel keeps the time under the pointer there, down to a reading a column.
  const int64_t under = span.PositionOf(200);
  Wheel(w, 200, 30);
  EXPECT_EQ(span.bytesPerColumn(), reading);
  EXPECT_EQ(span.ColumnOf(under), 200);
  // Clicks mark the time under the pointer: 100 columns are 2 s.
  const int64_t first = span.first();
  QTest::mouseClick(w.PB, Qt::LeftButton, {}, QPoint(150, 70));
  QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(250, 70));
  EXPECT_EQ(selStart.load(), first + 150 * reading);
  EXPECT_EQ(selEnd.load(), first + 250 * reading);
  EXPECT_EQ(w.sedit->value(), static_cast<int>(audio::ChannelBytes2Seconds(play, selStart.load())));
  EXPECT_EQ(w.eedit->value(), static_cast<int>(audio::ChannelBytes2Seconds(play, selEnd.load())));
  EXPECT_EQ(w.lengthedit->text(), QStringLiteral("2 sec"));
  w.Timer1Timer();
  EXPECT_EQ(w.waveBitmap.pixel(150, 100) | 0xFF000000, wave::colors::kStart);

  // Shift+wheel (two notches, 40 columns each) and the strip move along at the same zoom.
  Wheel(w, 10, -2, Qt::ShiftModifier);
  EXPECT_EQ(span.first(), first + 80 * reading);
  w.zoom.zoomstrip->setValue(0);
  EXPECT_EQ(span.first(), 0);
  // Z on the focused view centres the part (2 s, at the deepest zoom); Ctrl+- zooms out around the
  // centre; Ctrl+0 shows the whole song, where a click marks as ever.
  QTest::keyClick(w.PB, Qt::Key_Z);
  EXPECT_EQ(span.ColumnOf((selStart.load() + selEnd.load()) / 2), 260);
  const int64_t centre = span.PositionOf(260);
  QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_GT(span.bytesPerColumn(), reading);
  EXPECT_EQ(span.ColumnOf(centre), 260);
  QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
  QTest::mouseClick(w.PB, Qt::LeftButton, {}, QPoint(101, 70));
  EXPECT_EQ(selStart.load(), int64_t{101} * w.bytesPerPixel.load());

  // The section band's hint on a made-up map: 10-20 s and 40-50 s alike, 25-30 s once.
  const double perSecond = w.view->bytesPerSecond();
  w.view->setSongMap({{}, {}, {{10, 20, 0}, {25, 30, 1}, {40, 50, 0}}, 0}, perSecond);
  const auto column = [&](double t) { return span.ColumnOfSeconds(t, perSecond); };
  EXPECT_EQ(w.zoom.BandHint(column(35)), QString());
  QHelpEvent hint(QEvent::ToolTip, QPoint(column(45), 146), w.PB->mapToGlobal(QPoint(column(45), 146)));
  QCoreApplication::sendEvent(w.PB, &hint);
  EXPECT_EQ(QToolTip::text(), QStringLiteral("twice in the song"));

  // Another file starts on its whole song.
  Wheel(w, 300, 5);
  ASSERT_NO_FATAL_FAILURE(Open(w, "short5s.wav"));
  EXPECT_TRUE(w.zoom.Span().whole());
}

}  // namespace
