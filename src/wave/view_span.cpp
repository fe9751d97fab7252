#include "wave/view_span.h"

#include <algorithm>
#include <cmath>

namespace wave {

ViewSpan::ViewSpan(uint32_t bytesPerPixel)
    : whole_(bytesPerPixel), deepest_(bytesPerPixel), bytesPerColumn_(bytesPerPixel) {}

ViewSpan::ViewSpan(int64_t length, uint32_t bytesPerPixel, int64_t deepest, int columns)
    : length_(std::max<int64_t>(length, 0)),
      whole_(bytesPerPixel),
      deepest_(std::clamp<int64_t>(deepest, 1, std::max<int64_t>(bytesPerPixel, 1))),
      columns_(std::max(columns, 1)),
      bytesPerColumn_(bytesPerPixel) {}

int64_t ViewSpan::lastFirst() const {
  return std::max<int64_t>(0, length_ - static_cast<int64_t>(std::max(columns_ - 1, 0)) * bytesPerColumn_);
}

int32_t ViewSpan::ColumnOf(int64_t position) const {
  if (empty()) return 0;
  const int64_t offset = position - first_;
  // Rounded down, so that a byte just left of the view is left of it.
  const int64_t column = offset >= 0 ? offset / bytesPerColumn_ : -((-offset + bytesPerColumn_ - 1) / bytesPerColumn_);
  return static_cast<int32_t>(std::clamp<int64_t>(column, INT32_MIN, INT32_MAX));
}

int32_t ViewSpan::ColumnOfSeconds(double seconds, double bytesPerSecond) const {
  return ColumnOf(static_cast<int64_t>(std::llround(seconds * bytesPerSecond)));
}

double ViewSpan::SecondsOf(int x, double bytesPerSecond) const {
  return bytesPerSecond > 0 ? static_cast<double>(PositionOf(x)) / bytesPerSecond : 0;
}

void ViewSpan::PanTo(int64_t first) { first_ = std::clamp<int64_t>(first, 0, lastFirst()); }

void ViewSpan::ZoomAround(int x, double factor) {
  if (empty() || factor <= 0) return;
  const int64_t anchor = PositionOf(x);
  auto next = static_cast<int64_t>(std::llround(static_cast<double>(bytesPerColumn_) / factor));
  // A step always moves, however close to the limit it starts.
  if (factor > 1 && next >= bytesPerColumn_) next = bytesPerColumn_ - 1;
  if (factor < 1 && next <= bytesPerColumn_) next = bytesPerColumn_ + 1;
  bytesPerColumn_ = std::clamp(next, deepest_, std::max(whole_, deepest_));
  PanTo(anchor - static_cast<int64_t>(x) * bytesPerColumn_);
}

void ViewSpan::Fit(int64_t from, int64_t to) {
  if (empty()) return;
  if (to < from) std::swap(from, to);
  const int64_t margin = (to - from) / 20;
  const int64_t bytes = to - from + 2 * margin;
  const int64_t steps = std::max(columns_ - 1, 1);
  bytesPerColumn_ = std::clamp((bytes + steps - 1) / steps, deepest_, std::max(whole_, deepest_));
  PanTo((from + to) / 2 - static_cast<int64_t>(columns_ / 2) * bytesPerColumn_);
}

void ViewSpan::ShowWhole() {
  bytesPerColumn_ = whole_;
  first_ = 0;
}

}  // namespace wave
