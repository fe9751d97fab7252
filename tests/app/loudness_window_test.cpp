// The loudness meter and Level in the real window: a marked part of a quiet file is measured off
// the window's thread, Level ticks Gain at the rule's whole dB, and the meter follows the gain.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "window_probe.h"

namespace {

using apptest::WaitFor;

class LoudnessWindowTest : public apptest::PlayerWindowTest {};

TEST_F(LoudnessWindowTest, LevelRaisesAQuietPartToTheTarget) {
  Tfrmmain w;
  w.show();
  if (w.fadeincheck->isChecked()) QTest::mouseClick(w.fadeincheck, Qt::LeftButton);
  openAnswer = F("quiet24.wav");
  QTest::mouseClick(w.btnselect, Qt::LeftButton);
  ASSERT_NE(playStream.load(), 0u);
  QLabel* meter = w.findChild<QLabel*>("loudlabel");
  QPushButton* level = w.findChild<QPushButton*>("btnlevel");
  ASSERT_TRUE(meter != nullptr && level != nullptr);
  EXPECT_FALSE(level->isEnabled());  // nothing marked yet
  // 2 s to 18 s of the 20-s file across the view's 520 columns.
  QTest::mouseClick(w.PB, Qt::LeftButton, Qt::NoModifier, QPoint(52, 60));
  QTest::mouseClick(w.PB, Qt::RightButton, Qt::NoModifier, QPoint(468, 60));
  ASSERT_TRUE(WaitFor([&] { return level->isEnabled(); }));
  EXPECT_TRUE(meter->text().startsWith(QString::fromUtf8("\u221224."))) << meter->text().toStdString();
  EXPECT_TRUE(meter->text().contains("dBTP"));

  QTest::mouseClick(level, Qt::LeftButton);
  EXPECT_TRUE(w.checkgain->isChecked());
  EXPECT_EQ(w.gaintrack->value(), 10);
  ASSERT_TRUE(WaitFor([&] { return meter->text().startsWith(QString::fromUtf8("\u221214.")); }))
      << meter->text().toStdString();
  EXPECT_EQ(w.effects.gainDsp() != 0, true);
}

}  // namespace
