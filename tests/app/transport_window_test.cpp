// The transport buttons of the real window, clicked on a real playing file: Play resumes a
// paused preview without a fade, changes nothing while it plays, starts a stopped one from the
// beginning with a fade-in; Play with no file offers the dialog, Play with a failed file does
// nothing; Stop rewinds and takes the played colouring off the view.
#include <QTest>

#include <cmath>
#include <vector>

#include "app/ButtonSpinEdit.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "support/device_frames.h"
#include "wave/waveform_view.h"
#include "window_probe.h"

namespace {

using apptest::DataProbe;
using apptest::WaitFor;

constexpr int64_t kSecond = 176400;  // bytes of one second of 44100 Hz stereo 16-bit

class TransportWindowTest : public apptest::PlayerWindowTest {
 protected:
  // A 1-s fade-in, so that the one started by opening is over quickly.
  void OpenWithShortFade(Tfrmmain& w, const char* name) {
    w.show();
    w.spinfadein->setFocus();
    for (int i = 0; i < 4; ++i) QTest::keyClick(w.spinfadein, Qt::Key_Down);
    ASSERT_EQ(w.spinfadein->value(), 1);
    openAnswer = F(name);
    QTest::mouseClick(w.btnselect, Qt::LeftButton);
    ASSERT_NE(playStream.load(), 0u);
  }
  static uint32_t State() { return audio::ChannelIsActive(playStream.load()); }
  static int64_t Heard() { return audio::ChannelGetPosition(playStream.load(), audio::POS_BYTE); }
};

TEST_F(TransportWindowTest, PlayResumesWithoutAFadeChangesNothingWhilePlayingAndFadesInAfterStop) {
  Tfrmmain w;
  OpenWithShortFade(w, "sec60.wav");
  const audio::DspHandle openingFade = w.effects.fadeInDsp();
  ASSERT_NE(openingFade, 0u);
  EXPECT_DOUBLE_EQ(w.effects.fade().fadeStep, 1.0 / 1 / 44100 / 2);
  // The opening's fade-in runs out after 1 s and removes itself.
  ASSERT_TRUE(WaitFor([&] { return w.effects.fade().fadeGain >= 1.0; }));
  DataProbe probe(playStream.load());
  std::vector<int16_t> before, after;
  probe.Restart();
  ASSERT_TRUE(probe.Collect(4410, before, after));
  EXPECT_EQ(after, before);

  // Pause, then Play: the same position goes on, no fade is started.
  QTest::mouseClick(w.btnpause, Qt::LeftButton);
  ASSERT_EQ(State(), audio::ACTIVE_PAUSED);
  const int64_t pausedAt = Heard();
  EXPECT_GT(pausedAt, kSecond / 2);
  twtest::DeviceFrames device;  // at most what the device played since the click is heard since
  const int64_t resumed = device.now();
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  EXPECT_EQ(State(), audio::ACTIVE_PLAYING);
  EXPECT_GE(Heard(), pausedAt);
  EXPECT_LE(Heard(), pausedAt + 4 * device.Since(resumed));
  EXPECT_EQ(w.effects.fadeInDsp(), openingFade);
  EXPECT_GE(w.effects.fade().fadeGain, 1.0);
  probe.Restart();
  ASSERT_TRUE(probe.Collect(4410, before, after));
  EXPECT_EQ(after, before);

  // Play while playing: nothing changes, the position goes on.
  const int64_t playingAt = Heard();
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  EXPECT_EQ(State(), audio::ACTIVE_PLAYING);
  EXPECT_GE(Heard(), playingAt);
  EXPECT_EQ(w.effects.fadeInDsp(), openingFade);
  probe.Restart();
  ASSERT_TRUE(probe.Collect(4410, before, after));
  EXPECT_EQ(after, before);

  // Stop rewinds; Play then starts at the beginning of the file with a fresh fade-in.
  QTest::mouseClick(w.btnstop, Qt::LeftButton);
  EXPECT_EQ(State(), audio::ACTIVE_STOPPED);
  EXPECT_EQ(Heard(), 0);
  probe.Restart();
  const int64_t restarted = device.now();
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  EXPECT_EQ(State(), audio::ACTIVE_PLAYING);
  EXPECT_LE(Heard(), 4 * device.Since(restarted));
  const audio::DspHandle playFade = w.effects.fadeInDsp();
  EXPECT_NE(playFade, openingFade);
  ASSERT_TRUE(probe.Collect(4410, before, after));
  // The first values come out scaled by the first steps of a 1-s fade-in, then rising.
  for (size_t i = 0; i < 100; ++i) EXPECT_LE(std::abs(after[i]), std::abs(before[i]) / 400 + 1) << i;
  double early = 0, late = 0, ref = 0;
  for (size_t i = 0; i < 2000; ++i) early += std::abs(after[i]);
  for (size_t i = 2410; i < 4410; ++i) late += std::abs(after[i]);
  for (size_t i = 2410; i < 4410; ++i) ref += std::abs(before[i]);
  EXPECT_LT(early, late);
  EXPECT_LT(late, ref);
}

TEST_F(TransportWindowTest, PlayAfterStopWithTheFadeInBoxUntickedStartsNoFade) {
  Tfrmmain w;
  OpenWithShortFade(w, "ref.wav");
  QTest::mouseClick(w.fadeincheck, Qt::LeftButton);
  ASSERT_FALSE(w.fadeincheck->isChecked());
  QTest::mouseClick(w.btnstop, Qt::LeftButton);
  const audio::DspHandle fade = w.effects.fadeInDsp();
  DataProbe probe(playStream.load());
  std::vector<int16_t> before, after;
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  EXPECT_EQ(w.effects.fadeInDsp(), fade);
  // Once the opening's fade has run out, nothing changes the data.
  ASSERT_TRUE(WaitFor([&] { return w.effects.fade().fadeGain >= 1.0; }));
  probe.Restart();
  ASSERT_TRUE(probe.Collect(4410, before, after));
  EXPECT_EQ(after, before);
}

TEST_F(TransportWindowTest, PlayWithNoFileOffersTheDialogAndWithAFailedFileDoesNothing) {
  Tfrmmain w;
  w.show();
  // An empty input box: Play offers the open dialog, which is cancelled here.
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  ASSERT_EQ(openTitles.size(), 1u);
  EXPECT_EQ(openTitles[0], "Select a file to play");
  EXPECT_EQ(playStream.load(), 0u);
  // Answering it opens and plays the chosen file.
  openAnswer = F("ref.wav");
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  ASSERT_EQ(openTitles.size(), 2u);
  EXPECT_EQ(w.sEdit1->text(), openAnswer);
  ASSERT_NE(playStream.load(), 0u);
  EXPECT_EQ(State(), audio::ACTIVE_PLAYING);

  // A file that does not open: its path is shown, no stream exists; Play does nothing at all,
  // Pause and Stop neither.
  w.audiodropDrop({F("random.mp3")});
  ASSERT_EQ(playStream.load(), 0u);
  ASSERT_EQ(w.sEdit1->text(), F("random.mp3"));
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  QTest::mouseClick(w.btnpause, Qt::LeftButton);
  QTest::mouseClick(w.btnstop, Qt::LeftButton);
  EXPECT_EQ(openTitles.size(), 2u);
  EXPECT_EQ(playStream.load(), 0u);
  EXPECT_EQ(w.sEdit1->text(), F("random.mp3"));
  // The only message is the one that says why the file did not open.
  for (const auto& m : messages) EXPECT_TRUE(m.text.startsWith("Tonewright cannot open this file.")) << m.text.toStdString();
}

TEST_F(TransportWindowTest, StopTakesThePlayedColouringOffTheView) {
  Tfrmmain w;
  OpenWithShortFade(w, "sec60.wav");
  // Wait for the scan to pass column 150, then move the play position to column 200.
  ASSERT_TRUE(WaitFor([&] { return w.peaks.left(150) != 0 && w.peaks.left(300) != 0; }));
  QTest::mouseClick(w.PB, Qt::MiddleButton, {}, QPoint(200, 70));
  w.Timer1Timer();
  w.Timer1Timer();
  ASSERT_GE(w.view->playColumn(), 200);
  const int y = Tfrmmain::kViewHeight / 2 - 2;  // just above the middle: the first channel's bar
  EXPECT_EQ(w.waveBitmap.pixel(150, y) | 0xFF000000u, wave::colors::kPlayed);
  EXPECT_EQ(w.waveBitmap.pixel(300, y) | 0xFF000000u, wave::colors::kLeft);

  QTest::mouseClick(w.btnstop, Qt::LeftButton);
  EXPECT_EQ(w.view->playColumn(), 0);
  EXPECT_EQ(Heard(), 0);
  // The next refresh draws the columns unplayed.
  w.Timer1Timer();
  EXPECT_EQ(w.waveBitmap.pixel(150, y) | 0xFF000000u, wave::colors::kLeft);
  EXPECT_EQ(w.view->playColumn(), 0);
  // Playing again colours from column 0 on as the position moves.
  QTest::mouseClick(w.btnplay, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { w.Timer1Timer(); return w.view->playColumn() >= 2; }));
  EXPECT_EQ(w.waveBitmap.pixel(1, y) | 0xFF000000u, wave::colors::kPlayed);
  EXPECT_EQ(w.waveBitmap.pixel(150, y) | 0xFF000000u, wave::colors::kLeft);
}

}  // namespace
