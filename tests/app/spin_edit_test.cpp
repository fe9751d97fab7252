// The "buttons only" spin edit: the program sets the value, the user only clicks.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <memory>

#include "app/ButtonSpinEdit.h"
#include "app_test_support.h"

namespace {

using app::ButtonSpinEdit;

class SpinEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    apptest::App();
    spin = std::make_unique<ButtonSpinEdit>();
    spin->setGeometry(0, 0, 80, 24);
    spin->show();
    spin->setFocus();
  }
  QLineEdit* Edit() { return spin->findChild<QLineEdit*>(); }
  void Wheel(int delta) {
    QWheelEvent e(QPointF(20, 12), spin->mapToGlobal(QPointF(20, 12)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(spin.get(), &e);
  }
  std::unique_ptr<ButtonSpinEdit> spin;  // made in SetUp(), once the application exists
};

TEST_F(SpinEditTest, SetValueShowsTheNearestLimit) {
  spin->setRange(1, 10);
  spin->setValue(5);
  EXPECT_EQ(spin->value(), 5);
  EXPECT_EQ(spin->text(), "5");
  spin->setValue(11);
  EXPECT_EQ(spin->value(), 10);
  spin->setValue(-3);
  EXPECT_EQ(spin->value(), 1);
  spin->setValue(10);
  EXPECT_EQ(spin->value(), 10);
}

TEST_F(SpinEditTest, EqualLimitsLimitNothing) {
  spin->setRange(0, 0);
  spin->setValue(42);
  EXPECT_EQ(spin->value(), 42);
  spin->setValue(-7);
  EXPECT_EQ(spin->value(), -7);
  spin->setRange(3, 3);
  spin->setValue(9);
  EXPECT_EQ(spin->value(), 9);
}

TEST_F(SpinEditTest, ChangingALimitLeavesTheShownValue) {
  spin->setRange(0, 100);
  spin->setValue(60);
  spin->setMaximum(10);
  EXPECT_EQ(spin->value(), 60);
  spin->setValue(60);
  EXPECT_EQ(spin->value(), 10);
}

TEST_F(SpinEditTest, ATextThatIsNoNumberReadsAsTheMinimum) {
  spin->setRange(2, 9);
  Edit()->setText("abc");
  EXPECT_EQ(spin->value(), 2);
  Edit()->setText("");
  EXPECT_EQ(spin->value(), 2);
  Edit()->setText("7");
  EXPECT_EQ(spin->value(), 7);
}

TEST_F(SpinEditTest, TypingChangesNothing) {
  spin->setRange(0, 100);
  spin->setValue(5);
  QTest::keyClicks(spin.get(), "123");
  QTest::keyClick(spin.get(), Qt::Key_Backspace);
  QTest::keyClick(spin.get(), Qt::Key_Delete);
  QTest::keyClick(spin.get(), Qt::Key_Return);
  EXPECT_EQ(spin->text(), "5");
  EXPECT_TRUE(Edit()->isReadOnly());
}

TEST_F(SpinEditTest, ButtonsKeysAndWheelOnlyCallTheHandlers) {
  spin->setRange(0, 100);
  spin->setValue(50);
  QSignalSpy up(spin.get(), &ButtonSpinEdit::upClicked);
  QSignalSpy down(spin.get(), &ButtonSpinEdit::downClicked);

  QTest::keyClick(spin.get(), Qt::Key_Up);
  EXPECT_EQ(up.count(), 1);
  QTest::keyClick(spin.get(), Qt::Key_Down);
  QTest::keyClick(spin.get(), Qt::Key_Down);
  EXPECT_EQ(down.count(), 2);

  Wheel(120);
  EXPECT_EQ(up.count(), 2);
  Wheel(-120);
  EXPECT_EQ(down.count(), 3);

  // The buttons: the upper and lower halves of the right edge.
  QTest::mouseClick(spin.get(), Qt::LeftButton, {}, QPoint(spin->width() - 6, 5));
  EXPECT_EQ(up.count(), 3);
  QTest::mouseClick(spin.get(), Qt::LeftButton, {}, QPoint(spin->width() - 6, spin->height() - 5));
  EXPECT_EQ(down.count(), 4);

  EXPECT_EQ(spin->value(), 50) << "the shown value changes only when the program sets it";
}

TEST_F(SpinEditTest, HandlersAreCalledEvenAtTheLimits) {
  // The handler decides whether a step is allowed; the edit never greys a button out.
  spin->setRange(0, 0);
  spin->setValue(0);
  QSignalSpy up(spin.get(), &ButtonSpinEdit::upClicked);
  QSignalSpy down(spin.get(), &ButtonSpinEdit::downClicked);
  QTest::keyClick(spin.get(), Qt::Key_Up);
  QTest::keyClick(spin.get(), Qt::Key_Down);
  EXPECT_EQ(up.count(), 1);
  EXPECT_EQ(down.count(), 1);
  EXPECT_EQ(spin->value(), 0);
}

}  // namespace
