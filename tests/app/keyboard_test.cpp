// The keyboard: the Tab order over the window's controls and the shortcut keys.
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "app_test_support.h"
#include "support/device_frames.h"
#include "support/fixtures.h"
#include "wave/seconds_text.h"

namespace {

using KeyboardTest = apptest::WindowTest;

TEST_F(KeyboardTest, TabWalksTheControlsRowByRowAndTheTagsInTypingOrder) {
  Tfrmmain w;
  w.show();
  const QStringList expected = {
      "sEdit1",     "btnselect",  "cbsnap",  "btnplay",     "btnpause",  "btnstop",  "loopcheck", "fadeincheck",
      "spinfadein", "fadeoutcheck", "spinfadeout", "sedit",   "eedit",    "lengthedit", "btnsuggest", "checkgain",
      "gaintrack",  "btnlevel",   "chighpass",  "barhighcut",  "clowpass",  "barlowcut", "outedit",  "sButton1",  "tagcheck",
      "titedit",    "artedit",    "albedit",     "genedit",   "yearedit", "btnconvert", "cbphone", "autocheck",
      "btnabout",   "btnhelp"};

  // The focus chain from the input box, keeping the controls Tab stops at.
  QStringList chain;
  QWidget* at = w.sEdit1;
  do {
    // The spin edits' inner text fields are Qt's own (qt_...) and take no focus of their own.
    const QString name = at->objectName();
    if ((at->focusPolicy() & Qt::TabFocus) && at->window() == &w && !name.isEmpty() && name != "frmmain" &&
        !name.startsWith("qt_")) {
      chain << at->objectName();
    }
    at = at->nextInFocusChain();
  } while (at != w.sEdit1 && chain.size() < 100);
  EXPECT_EQ(chain.join(' ').toStdString(), expected.join(' ').toStdString());
}

TEST_F(KeyboardTest, ShortcutsOpenAFileOpenHelpAndQuit) {
  Tfrmmain w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  int asked = 0;
  app::hooks().openFileName = [&asked](QWidget*, const QString&, const QString&) {
    ++asked;
    return QString();
  };
  QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(asked, 1) << "Ctrl+O offers the open dialog";

  urls.clear();
  QTest::keyClick(&w, Qt::Key_F1);
  ASSERT_EQ(urls.size(), 1u) << "F1 opens the help page";
  EXPECT_TRUE(urls[0].toString().endsWith("tonehelp.html"));

  EXPECT_TRUE(w.isVisible());
  QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(w.isVisible()) << "Ctrl+Q closes the window";
}

TEST_F(KeyboardTest, SpacePlaysAndPausesExceptInATextBox) {
  Tfrmmain w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.LoadInputFile(QString::fromStdString(twtest::Fixture("sec60.wav")));
  ASSERT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
  // After a click on a box, Space is still the transport's.
  QTest::mouseClick(w.loopcheck, Qt::LeftButton);
  ASSERT_TRUE(w.loopcheck->isChecked());
  QTest::keyClick(&w, Qt::Key_Space);
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PAUSED);
  EXPECT_TRUE(w.loopcheck->isChecked());
  // A text box takes it as a space.
  w.titedit->setFocus();
  QTest::keyClick(w.titedit, Qt::Key_Space);
  EXPECT_EQ(w.titedit->text(), " ");
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PAUSED);
  // A box that Tab moved to takes Space as a tick.
  w.loopcheck->setFocus(Qt::TabFocusReason);
  QTest::keyClick(w.loopcheck, Qt::Key_Space);
  EXPECT_FALSE(w.loopcheck->isChecked());
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PAUSED);
  w.gaintrack->setFocus(Qt::TabFocusReason);
  QTest::keyClick(w.gaintrack, Qt::Key_Space);
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
  EXPECT_TRUE(w.btnplay->toolTip().contains("Space"));
  EXPECT_TRUE(w.btnpause->toolTip().contains("Space"));
}

// [ and ] mark the start and the end where the preview is heard: what the device has played, as
// its frame count says however slowly the machine runs, not what was decoded ahead of it. In a
// text box they are text.
TEST_F(KeyboardTest, BracketsMarkThePartWhereItIsHeard) {
  Tfrmmain w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.LoadInputFile(QString::fromStdString(twtest::Fixture("sec60.wav")));
  ASSERT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
  twtest::DeviceFrames device;
  const int64_t since = device.now();
  const auto heard = [] { return audio::ChannelGetPosition(playStream.load(), audio::POS_BYTE); };
  const int64_t heardThen = heard() / 4;
  // A key marks what is heard as it is pressed: between the heard positions read just before and
  // just after, and never ahead of what the device has been handed (decoding runs ahead of it).
  const auto press = [&](Qt::Key key, const std::atomic<int64_t>& mark, const char* what) {
    const int64_t before = heard();
    QTest::keyClick(&w, key);
    const int64_t after = heard();
    EXPECT_GE(mark.load(), before) << what;
    EXPECT_LE(mark.load(), after) << what;
    EXPECT_LE(mark.load() / 4, heardThen + device.now() - since + device.call()) << what;
  };
  ASSERT_TRUE(device.WaitPast(since, 44100));
  press(Qt::Key_BracketLeft, selStart, "the start");
  ASSERT_TRUE(device.WaitPast(since, 3 * 44100));
  press(Qt::Key_BracketRight, selEnd, "the end");
  const int64_t start = selStart.load(), end = selEnd.load();
  EXPECT_EQ(w.lengthedit->text().toStdString(), wave::SecondsText(static_cast<double>(end - start) / 176400) + " sec");
  w.titedit->setFocus();
  QTest::keyClick(w.titedit, Qt::Key_BracketLeft);
  QTest::keyClick(w.titedit, Qt::Key_BracketRight);
  EXPECT_EQ(w.titedit->text(), "[]");
  EXPECT_EQ(selStart.load(), start);
  EXPECT_EQ(selEnd.load(), end);
  EXPECT_TRUE(w.PB->toolTip().contains("[") && w.PB->toolTip().contains("]"));
}

}  // namespace
