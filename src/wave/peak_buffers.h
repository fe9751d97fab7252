// The waveform's peak buffers: one bar height per pixel column and channel, and every 20-ms
// reading of the scan, from which a zoomed view draws its columns.
//
// A scan thread writes single elements while the view reads them all on every refresh; each
// element is an atomic value, so a reader sees either the old or the new height. The columns are
// made once, with the window, and never resized; the readings are made for each opened file,
// before its scan starts, and not resized while it runs.
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
  // Sets every element and every reading to 0; while no scan writes them (the view may be reading).
  void Clear();

  size_t size() const { return columns_; }
  int16_t left(size_t i) const { return left_[i].load(std::memory_order_relaxed); }
  int16_t right(size_t i) const { return right_[i].load(std::memory_order_relaxed); }
  void setLeft(size_t i, int16_t v) { left_[i].store(v, std::memory_order_relaxed); }
  void setRight(size_t i, int16_t v) { right_[i].store(v, std::memory_order_relaxed); }

  // Room for a stream of `length` bytes read `readingBytes` at a time (the bytes of 20 ms), all 0.
  // Reading k is that of bytes [k × readingBytes, (k + 1) × readingBytes).
  // GUI thread, while no scan runs; the view reads them on the same thread.
  void ResetReadings(int64_t length, int64_t readingBytes);
  size_t readingCount() const { return readings_; }
  int64_t readingBytes() const { return readingBytes_; }
  // Bar heights 0 to 120 of each reading; a reading not taken yet is 0.
  void setReading(size_t k, int left, int right) {
    readLeft_[k].store(static_cast<uint8_t>(left), std::memory_order_relaxed);
    readRight_[k].store(static_cast<uint8_t>(right), std::memory_order_relaxed);
  }
  int readingLeft(size_t k) const { return readLeft_[k].load(std::memory_order_relaxed); }
  int readingRight(size_t k) const { return readRight_[k].load(std::memory_order_relaxed); }

 private:
  size_t columns_;
  std::unique_ptr<std::atomic<int16_t>[]> left_;
  std::unique_ptr<std::atomic<int16_t>[]> right_;
  // A byte each: heights go to 120, and two hours take 0.7 MB.
  size_t readings_ = 0;
  int64_t readingBytes_ = 0;
  std::unique_ptr<std::atomic<uint8_t>[]> readLeft_;
  std::unique_ptr<std::atomic<uint8_t>[]> readRight_;
};

}  // namespace wave
