// Converts decoded frames to interleaved 16-bit or float samples, keeping rate and channels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/decoder.h"
#include "audio/ffmpeg_ptr.h"

namespace audio::detail {

class SampleConverter {
 public:
  SampleConverter(SampleKind kind, int channels) : kind_(kind), channels_(channels) {}

  size_t BytesPerFrame() const {
    return static_cast<size_t>(channels_) * (kind_ == SampleKind::S16 ? 2 : 4);
  }
  // Writes the frame's samples to `out` (grown as needed, never shrunk); the frame count, or -1
  // when the frame cannot be converted (another channel count, an unknown format).
  int Convert(const AVFrame* frame, std::vector<uint8_t>* out);

 private:
  bool Configure(AVSampleFormat in_format, int rate);

  SampleKind kind_;
  int channels_;
  SwrPtr swr_;
  AVSampleFormat swr_in_ = AV_SAMPLE_FMT_NONE;
  int swr_rate_ = 0;
};

}  // namespace audio::detail
