#include "wave/waveform_view.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace wave {

QString TimeText(int64_t seconds) {
  // Truncating division, as the time is formatted: 65 gives 1:05.
  const int64_t s = seconds % 60;
  QString text;
  if (s < 10) text += QLatin1Char('0');
  text += QString::number(s);
  return QString::number(seconds / 60) + QLatin1Char(':') + text;
}

QString MarkerLabel(int row, int64_t seconds) {
  const char* prefix = row == kEndRow ? "End:" : row == kStartRow ? "Start:" : "Play:";
  return QLatin1String(prefix) + TimeText(seconds);
}

WaveformView::WaveformView(QImage* waveBitmap, const PeakBuffers* peaks, int clientWidth,
                           std::function<double(int64_t)> bytesToSeconds)
    : bitmap_(waveBitmap),
      peaks_(peaks),
      clientWidth_(clientWidth),
      bytesToSeconds_(std::move(bytesToSeconds)) {
  labelFont_.setBold(true);
}

void WaveformView::setBackground(const QImage& background) {
  background_ = background.isNull() ? QImage() : background.convertToFormat(QImage::Format_RGB32);
}

void WaveformView::Pixel(int x, int y, QRgb color) {
  if (x < 0 || y < 0 || x >= bitmap_->width() || y >= bitmap_->height()) return;
  reinterpret_cast<QRgb*>(bitmap_->scanLine(y))[x] = color;
}

void WaveformView::Blend(int x, int y, QRgb color, int alpha) {
  if (x < 0 || y < 0 || x >= bitmap_->width() || y >= bitmap_->height()) return;
  QRgb& p = reinterpret_cast<QRgb*>(bitmap_->scanLine(y))[x];
  const auto mix = [alpha](int under, int over) { return (under * (255 - alpha) + over * alpha) / 255; };
  p = qRgb(mix(qRed(p), qRed(color)), mix(qGreen(p), qGreen(color)), mix(qBlue(p), qBlue(color)));
}

void WaveformView::DrawSongMap(const ViewState& state) {
  if (bytesPerSecond_ <= 0) return;
  const ViewSpan span = state.Span();
  const int width = bitmap_->width();
  const int height = bitmap_->height();
  const int band = height - kBandRows;
  for (const Section& s : map_.sections) {
    int from = span.ColumnOfSeconds(s.start, bytesPerSecond_);
    int to = span.ColumnOfSeconds(s.end, bytesPerSecond_);
    if (s.start < 0 || to < 0 || from >= width) continue;
    // Cut to the view, a column beyond each side, so that the outline's sides stay where they are.
    from = std::max(from, -1);
    to = std::min(to, width + 1);
    const QRgb color = GroupColor(s.group, TimesHeard(map_, s.group) <= 1);
    const bool outlined = s.group == map_.suggestedGroup;
    for (int x = from; x < std::max(to, from + 1); ++x) {
      for (int y = band; y < height; ++y) {
        const bool edge = outlined && (y == band || y == height - 1 || x == from || x == to - 1);
        Pixel(x, y, edge ? colors::kPlay : color);
      }
    }
  }
  if (!map_.HasBeat()) return;
  // Only the beats and bars in view, found in their ordered lists: a zoomed view of a long song
  // looks at a few of thousands.
  const double from = span.SecondsOf(-1, bytesPerSecond_), to = span.SecondsOf(width + 1, bytesPerSecond_);
  const auto inView = [from, to](const std::vector<double>& times) {
    return std::pair{std::lower_bound(times.begin(), times.end(), from), std::upper_bound(times.begin(), times.end(), to)};
  };
  // Faint ticks at the beats; bar lines down the whole view, light enough to see through. Where
  // they would crowd (a long song's whole view), no beats, and a bar line every few bars, counted
  // from the song's first so that they keep their place as the view moves.
  const auto [firstBeat, lastBeat] = inView(map_.beats);
  if (GridStride(static_cast<size_t>(lastBeat - firstBeat), width) == 1) {
    for (auto beat = firstBeat; beat != lastBeat; ++beat) {
      const int x = span.ColumnOfSeconds(*beat, bytesPerSecond_);
      if (*beat < 0 || x < 0 || x >= width) continue;
      for (int y = 0; y < 4; ++y) Blend(x, y, colors::kPlay, 90);
      for (int y = band - 4; y < band; ++y) Blend(x, y, colors::kPlay, 90);
    }
  }
  const auto [firstBar, lastBar] = inView(map_.bars);
  const size_t stride = GridStride(static_cast<size_t>(lastBar - firstBar), width);
  for (auto it = firstBar; it != lastBar; ++it) {
    if (static_cast<size_t>(it - map_.bars.begin()) % stride != 0) continue;
    const double bar = *it;
    const int x = span.ColumnOfSeconds(bar, bytesPerSecond_);
    if (bar < 0 || x < 0 || x >= width) continue;
    for (int y = 0; y < band; ++y) Blend(x, y, colors::kPlay, y < 7 || y >= band - 7 ? 200 : 45);
  }
}

// Paints column x from row `from` towards row `towards`, the end row itself not painted.
void WaveformView::VerticalRun(int x, int from, int towards, QRgb color) {
  if (x < 0 || x >= bitmap_->width() || from == towards) return;
  const int step = towards > from ? 1 : -1;
  int first = from;
  int last = towards - step;
  if (first > last) std::swap(first, last);
  first = std::max(first, 0);
  last = std::min(last, bitmap_->height() - 1);
  auto* bits = reinterpret_cast<QRgb*>(bitmap_->bits());
  const qsizetype stride = bitmap_->bytesPerLine() / 4;
  for (int y = first; y <= last; ++y) bits[y * stride + x] = color;
}

QRgb WaveformView::ColumnColor(int32_t column, bool firstChannel, const ViewState& state) const {
  QRgb color = firstChannel ? colors::kLeft : colors::kRight;
  if (column <= playColumn_) color = colors::kPlayed;
  const ViewSpan span = state.Span();
  if (state.selStart != 0 && state.selEnd != 0 && !span.empty()) {
    if (column >= span.ColumnOf(state.selStart) && column <= span.ColumnOf(state.selEnd)) color = colors::kSelected;
  }
  return color;
}

void WaveformView::ColumnHeights(const ViewSpan& span) {
  if (span.whole()) {
    const size_t n = peaks_->size();
    heightsLeft_.resize(n);
    heightsRight_.resize(n);
    for (size_t i = 0; i < n; ++i) {
      heightsLeft_[i] = peaks_->left(i);
      heightsRight_[i] = peaks_->right(i);
    }
    return;
  }
  const auto n = static_cast<size_t>(bitmap_->width());
  heightsLeft_.assign(n, 0);
  heightsRight_.assign(n, 0);
  const int64_t bytes = peaks_->readingBytes();
  const auto count = static_cast<int64_t>(peaks_->readingCount());
  if (bytes <= 0) return;
  // Reading k begins at byte k × bytes; at the deepest zoom a column holds exactly one.
  int64_t k = (std::max<int64_t>(span.first(), 0) + bytes - 1) / bytes;
  for (size_t x = 0; x < n && k < count; ++x) {
    const int64_t end = span.PositionOf(static_cast<int>(x) + 1);
    int left = 0, right = 0;
    for (; k < count && k * bytes < end; ++k) {
      left = std::max(left, peaks_->readingLeft(static_cast<size_t>(k)));
      right = std::max(right, peaks_->readingRight(static_cast<size_t>(k)));
    }
    heightsLeft_[x] = static_cast<int16_t>(left);
    heightsRight_[x] = static_cast<int16_t>(right);
  }
}

void WaveformView::DrawWaveform(const ViewState& state) {
  // The background at its own size; where it does not reach, black rather than the last picture.
  if (background_.size() != bitmap_->size()) bitmap_->fill(Qt::black);
  if (!background_.isNull()) {
    const int rows = std::min(background_.height(), bitmap_->height());
    const size_t bytes = static_cast<size_t>(std::min(background_.width(), bitmap_->width())) * 4;
    for (int y = 0; y < rows; ++y) std::memcpy(bitmap_->scanLine(y), background_.constScanLine(y), bytes);
  }
  DrawSongMap(state);
  ColumnHeights(state.Span());
  const int mid = bitmap_->height() / 2;
  const auto columns = static_cast<int32_t>(heightsLeft_.size());
  std::uniform_int_distribution<int> sparkle(0, 4);
  for (int32_t i = 0; i < columns; ++i) {
    const int h = heightsLeft_[static_cast<size_t>(i)];
    VerticalRun(i, mid - 1, mid - 1 - h, ColumnColor(i, true, state));
    Pixel(i, mid - 1 - h - sparkle(random_), colors::kSparkle);
  }
  for (int32_t i = 0; i < columns; ++i) {
    const int h = heightsRight_[static_cast<size_t>(i)];
    VerticalRun(i, mid + 1, mid + 1 + h, ColumnColor(i, false, state));
    Pixel(i, mid + 1 + h + sparkle(random_), colors::kSparkle);
  }
}

int WaveformView::LabelLeft(int32_t x) const {
  if (x > clientWidth_ - 20) x -= 40;
  return x < bitmap_->width() - 60 ? x + 2 : x - 58;
}

void WaveformView::DrawMarker(int row, QRgb color, int64_t position, const ViewState& state) {
  const auto seconds = std::max<int64_t>(0, static_cast<int64_t>(bytesToSeconds_(position)));
  // A position the engine could not give (-1) reads as the song's start.
  const ViewSpan span = state.Span();
  const int32_t x = span.ColumnOf(std::max<int64_t>(position, 0));
  playColumn_ = x;
  // A zoomed view shows a mark only while it is in view; the whole song shows every one.
  if (!span.whole() && (x < 0 || x >= bitmap_->width())) return;
  VerticalRun(x, 0, bitmap_->height(), color);

  const QString label = MarkerLabel(row, seconds);
  QPainter painter(bitmap_);
  painter.setFont(labelFont_);
  painter.setPen(QColor::fromRgb(color));
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.drawText(QRect(LabelLeft(x), row, 200, 40), Qt::AlignLeft | Qt::AlignTop, label);
}

void WaveformView::Refresh(const ViewState& state, int64_t playPosition) {
  if (state.bytesPerPixel == 0) return;
  DrawWaveform(state);
  DrawMarker(kStartRow, colors::kStart, state.selStart, state);
  DrawMarker(kEndRow, colors::kEnd, state.selEnd, state);
  DrawMarker(kPlayRow, colors::kPlay, playPosition, state);
}

}  // namespace wave
