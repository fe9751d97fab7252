// A plain drawing surface: the window paints it through a callback and hears its mouse.
//
// Like any widget it takes no mouse input while disabled.
#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

class QPainter;

namespace app {

class PaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit PaintBox(QWidget* parent = nullptr);

  // Called on every paint event with a painter on the box. GUI thread.
  std::function<void(QPainter&)> onPaint;

 signals:
  void mouseDown(Qt::MouseButton button, QPoint position);
  // An arrow key while the box has the focus (a click gives it the focus).
  void arrowKey(int key, Qt::KeyboardModifiers modifiers);
  void mouseMove(Qt::MouseButtons buttons, QPoint position);
  void mouseUp(Qt::MouseButton button, QPoint position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace app
