// Draws "back.bmp", the waveform view's background: 520 x 148, a dark blue-grey ground with a
// soft glow along the centre line, a faint time grid and level lines. The bars (green above the
// centre, red below) and the markers are drawn over it by the program.
//
// Usage: tw_backgen OUTPUT.bmp
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cstdio>

namespace {

constexpr int kWidth = 520;
constexpr int kHeight = 148;
constexpr int kMid = kHeight / 2;

void DrawGround(QPainter& p) {
  QLinearGradient ground(0, 0, 0, kHeight);
  ground.setColorAt(0.0, QColor(0x07, 0x0a, 0x0e));
  ground.setColorAt(0.5, QColor(0x12, 0x1b, 0x25));
  ground.setColorAt(1.0, QColor(0x07, 0x0a, 0x0e));
  p.fillRect(0, 0, kWidth, kHeight, ground);
  // A faint vignette at both ends keeps the eye in the middle.
  for (const bool left : {true, false}) {
    QLinearGradient side(left ? 0 : kWidth, 0, left ? 40 : kWidth - 40, 0);
    side.setColorAt(0, QColor(0, 0, 0, 90));
    side.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(left ? 0 : kWidth - 40, 0, 40, kHeight, side);
  }
}

void DrawGrid(QPainter& p) {
  // Vertical lines every 26 columns, every fifth a little brighter.
  for (int i = 1; i < kWidth / 26; ++i) {
    const int x = i * 26;
    p.setPen(i % 5 == 0 ? QColor(0x24, 0x34, 0x44) : QColor(0x18, 0x23, 0x2e));
    p.drawLine(x, 0, x, kHeight - 1);
  }
  // Level lines at a quarter and a half of each half's height.
  p.setPen(QPen(QColor(0x1a, 0x27, 0x33), 1, Qt::DotLine));
  for (const int dy : {18, 37, 55}) {
    p.drawLine(0, kMid - 1 - dy, kWidth - 1, kMid - 1 - dy);
    p.drawLine(0, kMid + 1 + dy, kWidth - 1, kMid + 1 + dy);
  }
}

void DrawCentre(QPainter& p) {
  // A soft glow around the centre row, which the bars never paint.
  for (int d = 6; d >= 1; --d) {
    p.setPen(QColor(0x20, 0x60, 0x70, 10 + (6 - d) * 6));
    p.drawLine(0, kMid - d, kWidth - 1, kMid - d);
    p.drawLine(0, kMid + d, kWidth - 1, kMid + d);
  }
  p.setPen(QColor(0x3a, 0x8c, 0x9c));
  p.drawLine(0, kMid, kWidth - 1, kMid);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
    return 2;
  }
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  {
    QPainter p(&image);
    DrawGround(p);
    DrawGrid(p);
    DrawCentre(p);
  }
  if (!image.save(QString::fromLocal8Bit(argv[1]), "BMP")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
