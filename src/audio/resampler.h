// Sample rate, channel and format conversion to interleaved float through libswresample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/channel.h"
#include "audio/ffmpeg_ptr.h"

namespace audio::detail {

// The channel matrix from `inChans` to `outChans` (row per output channel, column per input):
// mono goes to every output at full level; with `downmix` other layouts are folded by the usual
// rules (centre and surrounds at -3 dB, LFE dropped, each row scaled so that full-scale input
// cannot clip: 5.1 to stereo gives L = 0.414 FL + 0.293 C + 0.293 SL); without it channel i goes
// to output i.
std::vector<double> ChannelMatrix(uint32_t inChans, uint32_t outChans, bool downmix);

class Resampler {
 public:
  // nullptr when libswresample refuses the conversion.
  static std::unique_ptr<Resampler> Create(const Format& in, uint32_t outRate, uint32_t outChans,
                                           bool downmix);

  // Converts `frames` input frames and writes at most `capacity` output frames (what does not
  // fit stays buffered for the next call). Returns the frames written.
  size_t Convert(const void* in, size_t frames, float* out, size_t capacity);
  // Writes what is still buffered (the filter's tail at the end of the input).
  size_t Flush(float* out, size_t capacity);
  // Drops everything buffered (after a seek).
  void Reset();
  // Upper bound of the output of the next Convert of `frames` frames.
  size_t MaxOutput(size_t frames) const;
  // Input frames buffered inside the filter, in input frames.
  int64_t DelayFrames() const;

  const Format& input() const { return in_; }
  uint32_t outRate() const { return outRate_; }
  uint32_t outChans() const { return outChans_; }

 private:
  Resampler(const Format& in, uint32_t outRate, uint32_t outChans);
  bool Init();

  Format in_;
  uint32_t outRate_;
  uint32_t outChans_;
  std::vector<double> matrix_;
  SwrPtr swr_;
};

}  // namespace audio::detail
