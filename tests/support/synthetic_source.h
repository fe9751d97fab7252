// In-memory sources for engine-side tests: streams whose every sample is known.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "audio/source.h"

namespace twtest {

// The value of sample `c` of frame `f`: a hash, so that a misplaced or repeated frame shows.
inline int16_t SampleAt(int64_t f, uint32_t c) {
  uint32_t x = static_cast<uint32_t>(f) * 2654435761u + c * 40503u + 12345u;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  return static_cast<int16_t>(x & 0xFFFF);
}

// `length` 16-bit frames of `chans` channels, sample c of frame f being Sample(f, c).
class FrameSource : public audio::detail::Source {
 public:
  FrameSource(uint32_t chans, int64_t length) : chans_(chans), length_(length) {}
  size_t Read(void* out, size_t frames) override {
    auto* v = static_cast<int16_t*>(out);
    size_t n = 0;
    for (; n < frames && pos_ < length_; ++n, ++pos_)
      for (uint32_t c = 0; c < chans_; ++c) v[n * chans_ + c] = Sample(pos_, c);
    return n;
  }
  bool AtEnd() override { return pos_ >= length_; }
  bool Seek(int64_t frame) override {
    if (frame < 0 || frame > length_) return false;
    pos_ = frame;
    return true;
  }
  int64_t LengthFrames() const override { return length_; }

 protected:
  virtual int16_t Sample(int64_t frame, uint32_t c) const = 0;

 private:
  uint32_t chans_;
  int64_t length_;
  int64_t pos_ = 0;
};

// 16-bit frames of SampleAt.
class SyntheticSource : public FrameSource {
 public:
  using FrameSource::FrameSource;

 protected:
  int16_t Sample(int64_t frame, uint32_t c) const override { return SampleAt(frame, c); }
};

// 16-bit frames alternating between 0 and one value per channel: peaks of known height.
class ConstantSource : public FrameSource {
 public:
  ConstantSource(std::vector<int16_t> values, int64_t length)
      : FrameSource(static_cast<uint32_t>(values.size()), length), v_(std::move(values)) {}

 protected:
  int16_t Sample(int64_t frame, uint32_t c) const override { return (frame % 2) ? v_[c] : 0; }

 private:
  std::vector<int16_t> v_;
};

// Silent stereo frames but for full-scale ones at chosen frames.
class SpikeSource : public FrameSource {
 public:
  SpikeSource(std::vector<int64_t> spikes, int64_t length) : FrameSource(2, length), spikes_(std::move(spikes)) {}

 protected:
  int16_t Sample(int64_t frame, uint32_t) const override {
    return std::count(spikes_.begin(), spikes_.end(), frame) != 0 ? 32767 : 0;
  }

 private:
  std::vector<int64_t> spikes_;
};

}  // namespace twtest
