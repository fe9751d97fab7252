#include "app/ImageList.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>


#include "app/Look.h"

namespace app {

namespace {

constexpr int kSide = 32;

QPixmap Blank(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QLinearGradient Shade(const QColor& light, const QColor& dark, qreal top, qreal bottom) {
  QLinearGradient g(0, top, 0, bottom);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  return g;
}

// A phone outline with a dark screen; `frame` is the whole body.
void DrawPhone(QPainter& p, const QRectF& frame, const QColor& rim) {
  const qreal r = frame.width() * 0.18;
  p.setPen(QPen(rim, 1.5));
  p.setBrush(Shade(QColor(0x3c, 0x4a, 0x5a), QColor(0x1c, 0x24, 0x2e), frame.top(), frame.bottom()));
  p.drawRoundedRect(frame, r, r);
  const qreal m = frame.width() * 0.14;
  const QRectF screen = frame.adjusted(m, m * 1.6, -m, -m * 2.2);
  p.setPen(Qt::NoPen);
  p.setBrush(Shade(QColor(0x1a, 0x2a, 0x8a), colors::kNavy, screen.top(), screen.bottom()));
  p.drawRect(screen);
  p.setBrush(rim);
  const qreal dot = frame.width() * 0.12;
  p.drawEllipse(QPointF(frame.center().x(), frame.bottom() - m * 1.1), dot / 2, dot / 2);
}

// An eighth note with its head at `head`.
void DrawNote(QPainter& p, QPointF head, qreal size, const QColor& color) {
  p.setPen(QPen(color, size * 0.16, Qt::SolidLine, Qt::RoundCap));
  const QPointF stemTop(head.x() + size * 0.28, head.y() - size * 1.1);
  p.drawLine(QPointF(head.x() + size * 0.28, head.y()), stemTop);
  QPainterPath flag(stemTop);
  flag.cubicTo(stemTop + QPointF(size * 0.1, size * 0.35), stemTop + QPointF(size * 0.55, size * 0.35),
               stemTop + QPointF(size * 0.45, size * 0.8));
  p.setBrush(Qt::NoBrush);
  p.drawPath(flag);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.save();
  p.translate(head);
  p.rotate(-20);
  p.drawEllipse(QPointF(0, 0), size * 0.34, size * 0.24);
  p.restore();
}

QPixmap ConvertPicture() {
  QPixmap pixmap = Blank(kSide);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawPhone(p, QRectF(16.5, 3.5, 13, 25), colors::kSkyBlue);
  DrawNote(p, QPointF(21.5, 19), 7, colors::kYellow);
  // A green arrow from the song into the phone.
  QPainterPath arrow;
  arrow.moveTo(2, 13);
  arrow.lineTo(8, 13);
  arrow.lineTo(8, 9);
  arrow.lineTo(15, 16);
  arrow.lineTo(8, 23);
  arrow.lineTo(8, 19);
  arrow.lineTo(2, 19);
  arrow.closeSubpath();
  p.setPen(QPen(QColor(0x0a, 0x5a, 0x0a), 1));
  p.setBrush(Shade(QColor(0x8c, 0xff, 0x8c), QColor(0x00, 0xb0, 0x00), 9, 23));
  p.drawPath(arrow);
  return pixmap;
}

QPixmap PlayPicture() {
  QPixmap pixmap = Blank(kSide);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath triangle;
  triangle.moveTo(9, 5);
  triangle.lineTo(27, 16);
  triangle.lineTo(9, 27);
  triangle.closeSubpath();
  p.setPen(QPen(QColor(0x0a, 0x5a, 0x0a), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Shade(QColor(0xa0, 0xff, 0xa0), QColor(0x00, 0xb4, 0x00), 5, 27));
  p.drawPath(triangle);
  return pixmap;
}

QPixmap PausePicture() {
  QPixmap pixmap = Blank(kSide);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x2a, 0x4a, 0x78), 1.2));
  p.setBrush(Shade(QColor(0xe4, 0xf0, 0xff), colors::kSkyBlue, 6, 26));
  p.drawRoundedRect(QRectF(8.5, 6.5, 5.5, 19), 1.5, 1.5);
  p.drawRoundedRect(QRectF(18, 6.5, 5.5, 19), 1.5, 1.5);
  return pixmap;
}

QPixmap StopPicture() {
  QPixmap pixmap = Blank(kSide);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x6a, 0x08, 0x08), 1.2));
  p.setBrush(Shade(QColor(0xff, 0x90, 0x90), QColor(0xd0, 0x10, 0x10), 7, 25));
  p.drawRoundedRect(QRectF(7.5, 7.5, 17, 17), 3, 3);
  return pixmap;
}

}  // namespace

std::vector<QPixmap> MakeImageList() {
  return {ConvertPicture(), PlayPicture(), PausePicture(), StopPicture()};
}

QPixmap DrawEmblem() {
  QPixmap pixmap = Blank(48);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient disc(24, 20, 26);
  disc.setColorAt(0, QColor(0x24, 0x34, 0x48));
  disc.setColorAt(1, colors::kField);
  p.setPen(QPen(colors::kSkyBlue, 2));
  p.setBrush(disc);
  p.drawEllipse(QRectF(2, 2, 44, 44));
  // Mirrored bars, green above the centre line and red below, as in the waveform view.
  const int heights[] = {3, 6, 10, 14, 9, 12, 16, 11, 7, 12, 8, 4};
  for (int i = 0; i < 12; ++i) {
    const qreal x = 9.5 + i * 2.6;
    p.setPen(QPen(colors::kGreen, 1.6));
    p.drawLine(QPointF(x, 23), QPointF(x, 23 - heights[i]));
    p.setPen(QPen(colors::kRed, 1.6));
    p.drawLine(QPointF(x, 25), QPointF(x, 25 + heights[i] * 0.8));
  }
  p.setPen(QPen(colors::kCyan, 1.2));
  p.drawLine(QPointF(17, 8), QPointF(17, 40));
  p.setPen(QPen(colors::kYellow, 1.2));
  p.drawLine(QPointF(33, 8), QPointF(33, 40));
  return pixmap;
}

QPixmap DrawRingingPhone() {
  QPixmap pixmap = Blank(48);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawPhone(p, QRectF(15.5, 6.5, 18, 35), colors::kSkyBlue);
  DrawNote(p, QPointF(23, 28), 10, colors::kYellow);
  // Ringing arcs on both sides.
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 2; ++i) {
    const qreal r = 6 + i * 4;
    p.setPen(QPen(i == 0 ? colors::kCyan : colors::kGreen, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(24.5 - 12 - r, 22 - r, 2 * r, 2 * r), 150 * 16, 60 * 16);
    p.drawArc(QRectF(24.5 + 12 - r, 22 - r, 2 * r, 2 * r), -30 * 16, 60 * 16);
  }
  return pixmap;
}

}  // namespace app
