// The selection set with the mouse on the real window's view and with its spin edits, on real
// files playing: what the controls show, the convert button, and where the loop and fade
// triggers sit on the preview stream (found with marks of the test's own one frame either side
// of each expected position, passed while the stream plays).
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

#include "app/ButtonSpinEdit.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "wave/seconds_text.h"
#include "support/device_frames.h"
#include "wave/waveform_view.h"
#include "window_probe.h"

namespace {

using apptest::PositionMarks;
using apptest::WaitFor;

constexpr int64_t kSecond = 176400;   // bytes of one second of 44100 Hz stereo 16-bit
constexpr int64_t kOffset = 1764;     // the fade-in trigger's 0.01 s after the start
constexpr int64_t kLead = kSecond / 20;  // where a pass starts, before the position looked at

class SelectionWindowTest : public apptest::PlayerWindowTest {
 protected:
  void Open(Tfrmmain& w, const char* name) {
    w.show();
    openAnswer = F(name);
    QTest::mouseClick(w.btnselect, Qt::LeftButton);
    ASSERT_NE(playStream.load(), 0u);
    ASSERT_TRUE(w.PB->isEnabled());
    bpp = w.bytesPerPixel.load();
  }
  void Tick(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());
  }
  void Click(Tfrmmain& w, Qt::MouseButton button, int x) { QTest::mouseClick(w.PB, button, {}, QPoint(x, 70)); }
  int64_t Column(int x) const { return int64_t{x} * bpp; }
  static int64_t Heard() { return audio::ChannelGetPosition(playStream.load(), audio::POS_BYTE); }

  // Plays from just before `at` until the mark `until` is passed; marks "before" and "after"
  // sit one frame either side of `at`. Returns the handles seen at the two marks.
  struct Pass {
    PositionMarks::Hit before, after;
    std::vector<std::string> order;
  };
  Pass PassThrough(Tfrmmain& w, int64_t at) {
    PositionMarks marks(playStream.load(), w.effects);
    marks.At(at - 4, "before");
    marks.At(at + 4, "after");
    marks.PlayFrom(std::max<int64_t>(at - kLead, 4));
    EXPECT_TRUE(marks.WaitHit("after")) << "decoding did not pass " << at;
    return Pass{marks.First("before"), marks.First("after"), marks.Order()};
  }
  // A fade-in trigger at `at`: the fade-in effect is replaced between the two marks.
  void ExpectFadeInTriggerAt(Tfrmmain& w, int64_t at) {
    const Pass p = PassThrough(w, at);
    EXPECT_EQ(p.before.name, "before");
    EXPECT_NE(p.after.fadeIn, p.before.fadeIn) << "no fade-in starts at " << at;
    EXPECT_GT(p.after.fadeStep, 0);
  }
  void ExpectNoFadeTriggerAt(Tfrmmain& w, int64_t at) {
    const Pass p = PassThrough(w, at);
    EXPECT_EQ(p.after.fadeIn, p.before.fadeIn) << "a fade-in starts at " << at;
    EXPECT_EQ(p.after.fadeOut, p.before.fadeOut) << "a fade-out starts at " << at;
  }
  void ExpectFadeOutTriggerAt(Tfrmmain& w, int64_t at) {
    const Pass p = PassThrough(w, at);
    EXPECT_EQ(p.before.name, "before");
    EXPECT_NE(p.after.fadeOut, p.before.fadeOut) << "no fade-out starts at " << at;
    EXPECT_LT(p.after.fadeStep, 0);
  }
  // With loop play on, a loop trigger at `end` sends decoding back to `start`: the mark after
  // `end` is not reached, the one after `start` is passed after the one before `end`.
  void ExpectLoopAt(Tfrmmain& w, int64_t end, int64_t start) {
    PositionMarks marks(playStream.load(), w.effects);
    marks.At(end - 4, "end-");
    marks.At(end + 4, "end+");
    marks.At(start + 8, "start+");
    marks.PlayFrom(end - kLead);
    ASSERT_TRUE(marks.WaitHit("start+")) << "no loop back from " << end;
    const auto order = marks.Order();
    EXPECT_EQ(order.front(), "end-");
    EXPECT_EQ(std::count(order.begin(), order.end(), "end+"), 0);
  }
  void ExpectNoLoopAt(Tfrmmain& w, int64_t end) {
    const Pass p = PassThrough(w, end);
    EXPECT_EQ(p.before.name, "before");
  }

  uint32_t bpp = 0;
};

TEST_F(SelectionWindowTest, BoundsSetInTheWrongOrderAreExchangedWithTheirTriggers) {
  Tfrmmain w;
  Open(w, "sec60.wav");
  Tick(w.loopcheck);
  Tick(w.fadeoutcheck);
  Click(w, Qt::LeftButton, 300);
  EXPECT_EQ(w.selection.dragMode(), 0);
  Click(w, Qt::RightButton, 100);
  ASSERT_EQ(selStart.load(), Column(100));
  ASSERT_EQ(selEnd.load(), Column(300));
  EXPECT_EQ(w.sedit->value(), static_cast<int>(Column(100) / kSecond));
  EXPECT_EQ(w.eedit->value(), static_cast<int>(Column(300) / kSecond));
  EXPECT_EQ(w.lengthedit->text(), QString::fromStdString(wave::SecondsText(static_cast<double>(Column(300) - Column(100)) / kSecond)) + " sec");
  EXPECT_TRUE(w.btnconvert->isEnabled());

  ExpectFadeInTriggerAt(w, Column(100) + kOffset);
  ExpectFadeOutTriggerAt(w, Column(300) - 5 * kSecond);
  ExpectLoopAt(w, Column(300), Column(100));
  // Nothing is left at the bounds as first clicked: no fade-in after column 300.
  QTest::mouseClick(w.loopcheck, Qt::LeftButton);
  ASSERT_FALSE(w.loopcheck->isChecked());
  ExpectNoLoopAt(w, Column(300));
  ExpectNoFadeTriggerAt(w, Column(300) + kOffset);
}

TEST_F(SelectionWindowTest, AnEndClickedFirstInstallsItsTriggersAndShowsNothing) {
  Tfrmmain w;
  Open(w, "sec60.wav");
  Tick(w.loopcheck);
  Tick(w.fadeoutcheck);
  QTest::mousePress(w.PB, Qt::RightButton, {}, QPoint(300, 70));
  EXPECT_EQ(w.selection.dragMode(), 2);
  QTest::mouseRelease(w.PB, Qt::RightButton, {}, QPoint(300, 70));
  EXPECT_EQ(w.selection.dragMode(), 0);
  EXPECT_EQ(selEnd.load(), Column(300));
  EXPECT_EQ(w.eedit->value(), 0);
  EXPECT_EQ(w.sedit->value(), 0);
  EXPECT_EQ(w.lengthedit->text(), "0 Sec");
  EXPECT_FALSE(w.btnconvert->isEnabled());
  // The fade-out trigger lies 5 s before the end; the loop trigger does nothing without a start.
  ExpectFadeOutTriggerAt(w, Column(300) - 5 * kSecond);
  ExpectNoLoopAt(w, Column(300));
  // A start set afterwards makes the same loop trigger jump back.
  Click(w, Qt::LeftButton, 100);
  EXPECT_EQ(w.eedit->value(), static_cast<int>(Column(300) / kSecond));
  ExpectLoopAt(w, Column(300), Column(100));
}

TEST_F(SelectionWindowTest, AStartInColumnZeroCountsAsNotSet) {
  Tfrmmain w;
  Open(w, "sec60.wav");
  Click(w, Qt::LeftButton, 100);
  Click(w, Qt::RightButton, 300);
  const QString length = w.lengthedit->text();
  const int shown = w.sedit->value();
  ASSERT_TRUE(w.btnconvert->isEnabled());
  const audio::SyncHandle fadeIn = w.selection.fadeInSync();
  ASSERT_NE(fadeIn, 0u);
  ASSERT_TRUE(WaitFor([&] { return w.peaks.left(200) != 0; }));

  Click(w, Qt::LeftButton, 0);
  EXPECT_EQ(selStart.load(), 0);
  EXPECT_EQ(w.sedit->value(), shown);
  EXPECT_EQ(w.lengthedit->text(), length);
  // With no part marked there is no ringtone to make (it would have been the file's start to the
  // end, of another length than the boxes show).
  EXPECT_FALSE(w.btnconvert->isEnabled());
  EXPECT_FALSE(audio::ChannelRemoveSync(playStream.load(), fadeIn));  // the earlier one is gone
  ExpectNoFadeTriggerAt(w, Column(100) + kOffset);
  ExpectNoFadeTriggerAt(w, kOffset);
  // No shading: the selected columns are drawn in the channel's own colour.
  w.Timer1Timer();
  EXPECT_EQ(w.waveBitmap.pixel(200, 73) | 0xFF000000u, wave::colors::kLeft);
  // A start set again makes a part again.
  Click(w, Qt::LeftButton, 100);
  EXPECT_TRUE(w.btnconvert->isEnabled());
}

// The file spans the view's own width: a click on its last pixel marks the file's end, and one
// on the pixel before it a moment before the end (the 17 columns past the view's edge held the
// last 3 % of every file, which could be neither seen nor clicked).
TEST_F(SelectionWindowTest, TheViewsLastPixelIsTheFilesEnd) {
  Tfrmmain w;
  Open(w, "sec60.wav");
  ASSERT_EQ(w.PB->width(), Tfrmmain::kViewWidth);
  Click(w, Qt::LeftButton, 10);
  Click(w, Qt::RightButton, Tfrmmain::kViewWidth - 1);
  EXPECT_EQ(selEnd.load(), audio::ChannelGetLength(playStream.load(), audio::POS_BYTE));
  EXPECT_EQ(w.eedit->value(), 60);
  Click(w, Qt::RightButton, Tfrmmain::kViewWidth - 2);
  EXPECT_GT(selEnd.load(), 59 * kSecond);
  EXPECT_LT(selEnd.load(), 60 * kSecond);
}

TEST_F(SelectionWindowTest, EqualBoundsAndTheTwoSecondRuleOfTheConvertButton) {
  Tfrmmain w;
  Open(w, "short5s.wav");
  ASSERT_EQ(bpp, 3528u);  // 0.02 s per column
  Click(w, Qt::LeftButton, 50);   // 1.0 s
  Click(w, Qt::RightButton, 50);  // equal
  EXPECT_EQ(w.lengthedit->text(), "0 sec");
  EXPECT_FALSE(w.btnconvert->isEnabled());
  EXPECT_EQ(w.selection.fadeOutSync(), 0u);
  Click(w, Qt::RightButton, 145);  // 2.9 s: 1.9 s long, shown as it is
  EXPECT_EQ(w.lengthedit->text(), "1.9 sec");
  EXPECT_FALSE(w.btnconvert->isEnabled());
  EXPECT_EQ(w.eedit->value(), 2);
  Click(w, Qt::RightButton, 150);  // 3.0 s: 2.0 s long
  EXPECT_EQ(w.lengthedit->text(), "2 sec");
  EXPECT_TRUE(w.btnconvert->isEnabled());
  EXPECT_EQ(w.eedit->value(), 3);
  Click(w, Qt::RightButton, 149);
  EXPECT_FALSE(w.btnconvert->isEnabled());
}

TEST_F(SelectionWindowTest, SpinClicksAtOneAndAtTheMaximum) {
  Tfrmmain w;
  Open(w, "short5s.wav");
  Tick(w.loopcheck);
  ASSERT_EQ(w.sedit->maximum(), 5);
  // Up from 0 shows 1; down at 1 sets the start to 0 and keeps showing 1, twice over.
  w.sedit->setFocus();
  QTest::keyClick(w.sedit, Qt::Key_Up);
  EXPECT_EQ(selStart.load(), kSecond);
  EXPECT_EQ(w.sedit->value(), 1);
  for (int i = 0; i < 2; ++i) {
    QTest::keyClick(w.sedit, Qt::Key_Down);
    EXPECT_EQ(selStart.load(), 0);
    EXPECT_EQ(w.sedit->value(), 1);
  }
  // A start at 4.5 s stepped up goes to exactly 5 s, the maximum; one more up click is refused.
  Click(w, Qt::LeftButton, 225);
  EXPECT_EQ(w.sedit->value(), 4);
  QTest::keyClick(w.sedit, Qt::Key_Up);
  EXPECT_EQ(selStart.load(), 5 * kSecond);
  EXPECT_EQ(w.sedit->value(), 5);
  QTest::keyClick(w.sedit, Qt::Key_Up);
  EXPECT_EQ(selStart.load(), 5 * kSecond);
  EXPECT_EQ(w.sedit->value(), 5);

  // The end at 1 s stepped down: it becomes 0, eedit keeps showing 1, the loop trigger leaves
  // 1 s and the fade-out trigger stays as it was.
  Click(w, Qt::LeftButton, 10);  // 0.2 s
  w.eedit->setFocus();
  QTest::keyClick(w.eedit, Qt::Key_Up);
  ASSERT_EQ(selEnd.load(), kSecond);
  ASSERT_EQ(w.eedit->value(), 1);
  ExpectLoopAt(w, kSecond, Column(10));
  const audio::SyncHandle fadeOut = w.selection.fadeOutSync();
  QTest::keyClick(w.eedit, Qt::Key_Down);
  EXPECT_EQ(selEnd.load(), 0);
  EXPECT_EQ(w.eedit->value(), 1);
  EXPECT_EQ(w.selection.fadeOutSync(), fadeOut);
  ExpectNoLoopAt(w, kSecond);
}

// A selection shorter than the fade-out gets it shortened to fit, and a fade length chosen
// afterwards moves the trigger at once.
TEST_F(SelectionWindowTest, AShortSelectionsFadeOutFitsItAndFollowsTheSpin) {
  Tfrmmain w;
  Open(w, "sec60.wav");
  Tick(w.fadeoutcheck);
  w.fadeincheck->click();  // the fade-out alone: it may take the whole part
  ASSERT_FALSE(w.fadeincheck->isChecked());
  Click(w, Qt::LeftButton, 90);
  Click(w, Qt::RightButton, 270);
  const audio::SyncHandle earlier = w.selection.fadeOutSync();
  ASSERT_NE(earlier, 0u);
  // 126 columns: about 14.1 s, a 4-s selection with the 5-s fade-out: it fades from the start.
  Click(w, Qt::RightButton, 126);
  ASSERT_EQ((Column(126) - Column(90)) / kSecond, 4);
  EXPECT_FALSE(audio::ChannelRemoveSync(playStream.load(), earlier));
  ExpectNoFadeTriggerAt(w, Column(270) - 5 * kSecond);
  ExpectFadeOutTriggerAt(w, Column(90));
  w.spinfadeout->setFocus();
  for (int i = 0; i < 3; ++i) QTest::keyClick(w.spinfadeout, Qt::Key_Down);
  ASSERT_EQ(w.spinfadeout->value(), 2);
  ExpectFadeOutTriggerAt(w, Column(126) - 2 * kSecond);
}

TEST_F(SelectionWindowTest, DragsMoveTheirMarkerAndTheMiddleButtonThePlayPosition) {
  Tfrmmain w;
  Open(w, "sec60.wav");
  // The position heard goes on while the test looks: from the column's frame on, by at most
  // what the device played since the mouse put it there.
  twtest::DeviceFrames device;
  int64_t moved = 0;
  const auto heardFrom = [&](int x) {
    EXPECT_GE(Heard(), Column(x) / 4 * 4);
    EXPECT_LE(Heard(), Column(x) + 4 * device.Since(moved));
  };
  moved = device.now();
  QTest::mousePress(w.PB, Qt::MiddleButton, {}, QPoint(100, 70));
  EXPECT_EQ(w.selection.dragMode(), 3);
  heardFrom(100);
  moved = device.now();
  QTest::mouseMove(w.PB, QPoint(200, 70));
  heardFrom(200);
  moved = device.now();
  QTest::mouseMove(w.PB, QPoint(250, 80));
  heardFrom(250);
  QTest::mouseRelease(w.PB, Qt::MiddleButton, {}, QPoint(250, 80));
  EXPECT_EQ(w.selection.dragMode(), 0);
  QTest::mouseMove(w.PB, QPoint(400, 70));  // no button held: nothing moves
  heardFrom(250);
  EXPECT_EQ(selStart.load(), 0);
  EXPECT_EQ(selEnd.load(), 0);

  // A left drag keeps moving the start, a right drag the end.
  QTest::mousePress(w.PB, Qt::LeftButton, {}, QPoint(50, 70));
  QTest::mouseMove(w.PB, QPoint(80, 70));
  QTest::mouseRelease(w.PB, Qt::LeftButton, {}, QPoint(80, 70));
  EXPECT_EQ(selStart.load(), Column(80));
  QTest::mousePress(w.PB, Qt::RightButton, {}, QPoint(300, 70));
  QTest::mouseMove(w.PB, QPoint(350, 70));
  QTest::mouseRelease(w.PB, Qt::RightButton, {}, QPoint(350, 70));
  EXPECT_EQ(selEnd.load(), Column(350));
  EXPECT_EQ(selStart.load(), Column(80));
  heardFrom(250);  // the selection does not move the playback
}

}  // namespace
