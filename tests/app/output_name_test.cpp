// The output file name: the extension rule and "Set Outfile Name".
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "app/OutputName.h"
#include "app/Tfrmmain.h"
#include "app_test_support.h"

namespace {

using app::RingtoneFileName;

TEST(RingtoneFileName, AppendsM4rUnlessTheNameHasIt) {
  EXPECT_EQ(RingtoneFileName("/tones/bell"), "/tones/bell.m4r");
  EXPECT_EQ(RingtoneFileName("/tones/bell.M4R"), "/tones/bell.M4R");
  EXPECT_EQ(RingtoneFileName("/tones/bell.m4r"), "/tones/bell.m4r");
  EXPECT_EQ(RingtoneFileName("/tones/bell.mp3"), "/tones/bell.mp3.m4r");
  EXPECT_EQ(RingtoneFileName("/tones/bell.m4a"), "/tones/bell.m4a.m4r");
  EXPECT_EQ(RingtoneFileName("/tones/bell.m4r.wav"), "/tones/bell.m4r.wav.m4r");
  EXPECT_EQ(RingtoneFileName("/tones.m4r/bell"), "/tones.m4r/bell.m4r");
}

class SetOutfileNameTest : public apptest::WindowTest {};

TEST_F(SetOutfileNameTest, TheChosenNameBecomesTheOutputAndTheHintStays) {
  Tfrmmain w;
  const QString initial = w.outedit->text();
  ASSERT_EQ(initial, ExpectedDataDir() + "output/Ombrix.m4r");

  dialogAnswer = "/tones/bell";
  w.sButton1->click();
  ASSERT_EQ(dialogTitles.size(), 1u);
  EXPECT_EQ(dialogTitles[0], "Set ringtong filename");
  EXPECT_EQ(dialogFilters[0], "iPhone Ringtong file(*.m4r)");
  EXPECT_EQ(w.outedit->text(), "/tones/bell.m4r");

  dialogAnswer = "/tones/bell.M4R";
  w.sButton1Click();
  EXPECT_EQ(w.outedit->text(), "/tones/bell.M4R");

  dialogAnswer = "/tones/bell.mp3";
  w.sButton1Click();
  EXPECT_EQ(w.outedit->text(), "/tones/bell.mp3.m4r");

  // Cancelling leaves the name as it was.
  dialogAnswer.clear();
  w.sButton1Click();
  EXPECT_EQ(w.outedit->text(), "/tones/bell.mp3.m4r");
  EXPECT_EQ(dialogTitles.size(), 4u);

  EXPECT_EQ(w.outedit->toolTip(), initial) << "the hint keeps the default path of start-up";
}

}  // namespace
