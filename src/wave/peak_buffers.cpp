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
  for (size_t k = 0; k < readings_; ++k) setReading(k, 0, 0);
}

void PeakBuffers::ResetReadings(int64_t length, int64_t readingBytes) {
  readingBytes_ = readingBytes > 0 ? readingBytes : 0;
  const int64_t count = readingBytes_ > 0 && length > 0 ? (length + readingBytes_ - 1) / readingBytes_ : 0;
  if (static_cast<size_t>(count) != readings_) {
    readings_ = static_cast<size_t>(count);
    readLeft_ = std::make_unique<std::atomic<uint8_t>[]>(readings_);
    readRight_ = std::make_unique<std::atomic<uint8_t>[]>(readings_);
  }
  for (size_t k = 0; k < readings_; ++k) setReading(k, 0, 0);
}

}  // namespace wave
