// Moving the window by dragging its bare surface with the left button.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include "app/Tfrmmain.h"
#include "app_test_support.h"

namespace {

class DragTest : public apptest::WindowTest {
 protected:
  void Send(Tfrmmain& w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), QPointF(w.mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
  }
  // A point of the window that no control covers.
  static QPoint Bare(Tfrmmain& w) {
    const QPoint at(w.width() - 4, 300);
    EXPECT_EQ(w.childAt(at), nullptr);
    return at;
  }
};

TEST_F(DragTest, LeftButtonOnTheBareSurfaceMovesTheWindow) {
  Tfrmmain w;
  const QPoint at = Bare(w);
  Send(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(moves, 0) << "a press alone does not move";
  Send(w, QEvent::MouseMove, at + QPoint(0, 6), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(moves, 1);
  Send(w, QEvent::MouseButtonRelease, at + QPoint(0, 6), Qt::LeftButton, Qt::NoButton);
}

TEST_F(DragTest, OtherButtonsAndPlainMovesDoNothing) {
  Tfrmmain w;
  const QPoint at = Bare(w);
  Send(w, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
  Send(w, QEvent::MouseMove, at + QPoint(0, 6), Qt::NoButton, Qt::RightButton);
  Send(w, QEvent::MouseButtonRelease, at + QPoint(0, 6), Qt::RightButton, Qt::NoButton);
  Send(w, QEvent::MouseMove, at + QPoint(0, 9), Qt::NoButton, Qt::MiddleButton);
  Send(w, QEvent::MouseMove, at + QPoint(0, 12), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(moves, 0);
}

TEST_F(DragTest, ADragOverAControlIsNotAWindowMove) {
  Tfrmmain w;
  const QPoint onLabel = w.sLabel1->geometry().center();
  ASSERT_EQ(w.childAt(onLabel), w.sLabel1);
  Send(w, QEvent::MouseMove, onLabel, Qt::NoButton, Qt::LeftButton);
  const QPoint onGroup = w.sGroupBox1->geometry().topLeft() + QPoint(3, 3);
  Send(w, QEvent::MouseMove, onGroup, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(moves, 0);
}

TEST_F(DragTest, ThroughTheEventQueueOfAShownWindow) {
  Tfrmmain w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QPoint at = Bare(w);
  QTest::mousePress(&w, Qt::RightButton, {}, at);
  QTest::mouseMove(&w, at + QPoint(0, 8));
  QTest::mouseRelease(&w, Qt::RightButton, {}, at + QPoint(0, 8));
  EXPECT_EQ(moves, 0);
  QTest::mousePress(&w, Qt::LeftButton, {}, at);
  QTest::mouseMove(&w, at + QPoint(0, 8));
  QTest::mouseRelease(&w, Qt::LeftButton, {}, at + QPoint(0, 8));
  EXPECT_GE(moves, 1);
}

}  // namespace
