#include "app/PaintBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace app {

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {
  // Every paint covers the whole box, so Qt need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::ClickFocus);
}

void PaintBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
    emit arrowKey(event->key(), event->modifiers());
    return;
  }
  QWidget::keyPressEvent(event);
}

void PaintBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (onPaint) onPaint(painter);
}

void PaintBox::mousePressEvent(QMouseEvent* event) {
  emit mouseDown(event->button(), event->position().toPoint());
}

void PaintBox::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMove(event->buttons(), event->position().toPoint());
}

void PaintBox::mouseReleaseEvent(QMouseEvent* event) {
  emit mouseUp(event->button(), event->position().toPoint());
}

}  // namespace app
