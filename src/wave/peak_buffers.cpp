#include "wave/peak_buffers.h"

namespace wave {

PeakBuffers::PeakBuffers(size_t columns) { Reset(columns); }

void PeakBuffers::Reset(size_t columns) {
  columns_ = columns;
  left_ = std::make_unique<std::atomic<int16_t>[]>(columns);
  right_ = std::make_unique<std::atomic<int16_t>[]>(columns);
  Clear();
}

void PeakBuffers::Clear() {
  for (size_t i = 0; i < columns_; ++i) {
    left_[i].store(0, std::memory_order_relaxed);
    right_[i].store(0, std::memory_order_relaxed);
  }
}

}  // namespace wave
