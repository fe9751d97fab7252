// The output file name: the extension rule and "Set Outfile Name".
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/OutputName.h"
#include "cli/output_name.h"
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

// Each kind of ringtone keeps its own extension; the command line takes the kind from the name.
TEST(RingtoneFileName, EachKindKeepsItsExtension) {
  using convert::RingtoneKind;
  const struct {
    const char* chosen;
    RingtoneKind kind;
    const char* file;       // RingtoneFileName
    const char* switched;   // WithKindExtension
    const char* commandLine;  // CommandLineRingtoneFile
  } cases[] = {
      {"/t/bell", RingtoneKind::Android, "/t/bell.ogg", "/t/bell.ogg", "/t/bell.m4r"},
      {"/t/bell.OGG", RingtoneKind::Android, "/t/bell.OGG", "/t/bell.ogg", "/t/bell.OGG"},
      {"/t/bell.m4r", RingtoneKind::Mp3, "/t/bell.m4r.mp3", "/t/bell.mp3", "/t/bell.m4r"},
      {"/t/bell.Mp3", RingtoneKind::IPhone, "/t/bell.Mp3.m4r", "/t/bell.m4r", "/t/bell.Mp3"},
      {"/t/bell.wav", RingtoneKind::Mp3, "/t/bell.wav.mp3", "/t/bell.wav.mp3", "/t/bell.wav.m4r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen);
    EXPECT_EQ(app::RingtoneFileName(c.chosen, c.kind), c.file);
    EXPECT_EQ(app::WithKindExtension(c.chosen, c.kind), c.switched);
    EXPECT_EQ(cli::CommandLineRingtoneFile(c.chosen, "/m/song.mp3"), c.commandLine);
  }
}

class SetOutfileNameTest : public apptest::WindowTest {};

// The phone choice: the output box's name and the save dialog follow it, and the next window
// starts with it.
TEST_F(SetOutfileNameTest, ThePhoneChoiceNamesTheOutputAndIsRemembered) {
  {
    Tfrmmain w;
    ASSERT_EQ(w.cbphone->count(), 3);
    EXPECT_EQ(w.cbphone->currentText(), "iPhone (.m4r)");
    w.cbphone->setCurrentIndex(w.cbphone->findText("Android (.ogg)"));
    EXPECT_EQ(w.outedit->text(), ExpectedDataDir() + "output/Ombrix.ogg");
    dialogAnswer = "/tones/bell";
    w.sButton1Click();
    EXPECT_EQ(dialogFilters.back(), "Android Ringtong file(*.ogg)");
    EXPECT_EQ(w.outedit->text(), "/tones/bell.ogg");
    w.cbphone->setCurrentIndex(w.cbphone->findText("MP3 (.mp3)"));
    EXPECT_EQ(w.outedit->text(), "/tones/bell.mp3");
  }
  Tfrmmain again;
  EXPECT_EQ(again.cbphone->currentText(), "MP3 (.mp3)");
  EXPECT_EQ(again.outedit->text(), ExpectedDataDir() + "output/Ombrix.mp3");
}

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
