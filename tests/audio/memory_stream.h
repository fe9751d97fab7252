// Streams for the engine's tests built from samples in memory, and signals that show a misplaced
// frame at once.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_state.h"
#include "audio/source.h"

namespace twtest {

class MemorySource : public audio::detail::Source {
 public:
  MemorySource(std::vector<uint8_t> data, uint32_t bytesPerFrame)
      : data_(std::move(data)), bpf_(bytesPerFrame) {}
  size_t Read(void* out, size_t frames) override {
    const size_t left = data_.size() / bpf_ - pos_;
    const size_t n = frames < left ? frames : left;
    std::memcpy(out, data_.data() + pos_ * bpf_, n * bpf_);
    pos_ += n;
    return n;
  }
  bool AtEnd() override { return pos_ >= data_.size() / bpf_; }
  bool Seek(int64_t frame) override {
    if (frame < 0 || static_cast<size_t>(frame) > data_.size() / bpf_) return false;
    pos_ = static_cast<size_t>(frame);
    return true;
  }
  int64_t LengthFrames() const override { return static_cast<int64_t>(data_.size() / bpf_); }

 private:
  std::vector<uint8_t> data_;
  uint32_t bpf_;
  size_t pos_ = 0;
};

template <typename T>
inline audio::Handle MakeStream(const std::vector<T>& samples, uint32_t rate, uint32_t chans,
                                uint32_t flags) {
  audio::detail::Format f;
  f.rate = rate;
  f.chans = chans;
  f.isFloat = sizeof(T) == 4;
  if (f.isFloat) flags |= audio::SAMPLE_FLOAT;
  std::vector<uint8_t> bytes(samples.size() * sizeof(T));
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return audio::detail::AddChannel(f, flags,
                                   std::make_unique<MemorySource>(std::move(bytes), f.BytesPerFrame()));
}

// Frame i of channel c holds a value that identifies it: a misplaced or repeated frame shows.
inline int16_t Marker(int64_t frame, uint32_t c) {
  return static_cast<int16_t>(((frame * 7 + c * 11) % 30011) - 15005);
}

inline std::vector<int16_t> MarkerSignal(int64_t frames, uint32_t chans) {
  std::vector<int16_t> v(static_cast<size_t>(frames) * chans);
  for (int64_t i = 0; i < frames; ++i) {
    for (uint32_t c = 0; c < chans; ++c) v[static_cast<size_t>(i) * chans + c] = Marker(i, c);
  }
  return v;
}

}  // namespace twtest
