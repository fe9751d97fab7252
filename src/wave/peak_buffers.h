// The waveform's peak buffers: one bar height per pixel column and channel.
//
// A scan thread writes single elements while the view reads them all on every refresh; each
// element is an atomic 16-bit value, so a reader sees either the old or the new height.
// The buffers are made once, with the window, and never resized.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace wave {

class PeakBuffers {
 public:
  PeakBuffers() : PeakBuffers(0) {}
  explicit PeakBuffers(size_t columns);
  // Makes `columns` zeroed elements; only while no scan or view uses the buffers.
  void Reset(size_t columns);
  bool empty() const { return columns_ == 0; }
  // Sets every element to 0; while no scan writes them (the view may be reading).
  void Clear();

  size_t size() const { return columns_; }
  int16_t left(size_t i) const { return left_[i].load(std::memory_order_relaxed); }
  int16_t right(size_t i) const { return right_[i].load(std::memory_order_relaxed); }
  void setLeft(size_t i, int16_t v) { left_[i].store(v, std::memory_order_relaxed); }
  void setRight(size_t i, int16_t v) { right_[i].store(v, std::memory_order_relaxed); }

 private:
  size_t columns_;
  std::unique_ptr<std::atomic<int16_t>[]> left_;
  std::unique_ptr<std::atomic<int16_t>[]> right_;
};

}  // namespace wave
