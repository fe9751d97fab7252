// Helpers of the effect-kernel tests: test signals, running ProcessEffect on a vector, and two
// filter references written apart from the kernels:
//  * a double-precision state-variable filter that never restarts (the continuous answer), and
//  * the per-chunk restart with float stores (the original chunk-by-chunk arithmetic), which a
//    freshly installed filter must match exactly on its first chunk.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "preview/effect_kernels.h"

namespace kt {

using preview::EffectKind;
using preview::EffectParams;
using preview::FadeState;
using preview::FilterState;

// Interleaved 16-bit sine, one phase offset per channel.
inline std::vector<int16_t> Sine16(int frames, int channels, double hz, int rate, double amp) {
  std::vector<int16_t> v(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      const double ph = 2.0 * std::numbers::pi * hz * i / rate + 0.7 * c;
      v[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(std::lround(amp * std::sin(ph)));
    }
  }
  return v;
}

// A repeatable pseudo-random full-range 16-bit signal (xorshift).
inline std::vector<int16_t> Noise16(size_t values, uint32_t seed = 12345) {
  std::vector<int16_t> v(values);
  uint32_t s = seed;
  for (auto& x : v) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    x = static_cast<int16_t>(s >> 16);
  }
  return v;
}

template <class T>
void Apply(EffectKind kind, std::vector<T>& data, int rate, int bits, int channels,
         const EffectParams& params, FadeState& fade, FilterState* filter,
         preview::FadeTail tail = preview::FadeTail::Unchanged) {
  preview::ProcessEffect(kind, data.data(), static_cast<int32_t>(data.size() * sizeof(T)), rate,
                         static_cast<uint8_t>(bits), static_cast<uint8_t>(channels), params, fade,
                         filter, tail);
}

// Feeds `data` to one filter state in pieces of `frames` frames, as an engine would.
template <class T>
void RunInPieces(EffectKind kind, std::vector<T>& data, int rate, int bits, int channels,
                 const EffectParams& params, FilterState& filter, size_t frames) {
  FadeState unused;
  const size_t piece = frames * channels;
  for (size_t at = 0; at < data.size(); at += piece) {
    const size_t n = std::min(piece, data.size() - at);
    preview::ProcessEffect(kind, data.data() + at, static_cast<int32_t>(n * sizeof(T)), rate,
                           static_cast<uint8_t>(bits), static_cast<uint8_t>(channels), params,
                           unused, &filter);
  }
}

// The continuous answer: the damping-1 state-variable filter in double precision, per channel.
inline std::vector<double> SvfDouble(const std::vector<double>& x, int channels, double f,
                                     bool highPass) {
  std::vector<double> y(x.size());
  for (int c = 0; c < channels; ++c) {
    double low = 0, band = 0;
    for (size_t i = c; i < x.size(); i += channels) {
      low += f * band;
      const double high = x[i] - low - band;
      band += f * high;
      y[i] = highPass ? high : low;
    }
  }
  return y;
}

inline int16_t ToSample16(float y) {
  const long r = std::lrint(y);  // halves to even
  return static_cast<int16_t>(std::clamp<long>(r, -32768, 32767));
}

// The chunk-by-chunk arithmetic with the state restarting at 0 at every chunk of `chunkFrames`
// frames, float stores between steps, 16-bit data.
inline std::vector<int16_t> SvfRestartEachChunk16(std::vector<int16_t> v, int channels, double f,
                                                  bool highPass, size_t chunkFrames) {
  const size_t frames = v.size() / channels;
  for (size_t start = 0; start < frames; start += chunkFrames) {
    const size_t end = std::min(frames, start + chunkFrames);
    for (int c = 0; c < channels; ++c) {
      float low = 0, band = 0, high = 0;
      for (size_t i = start; i < end; ++i) {
        int16_t& s = v[i * channels + c];
        const double x = s;
        low = static_cast<float>(f * static_cast<double>(band) + static_cast<double>(low));
        high = static_cast<float>(x - static_cast<double>(low) - static_cast<double>(band));
        band = static_cast<float>(f * static_cast<double>(high) + static_cast<double>(band));
        s = ToSample16(highPass ? high : low);
      }
    }
  }
  return v;
}

template <class T>
std::vector<double> ToDouble(const std::vector<T>& v, double offset = 0.0) {
  std::vector<double> d(v.size());
  for (size_t i = 0; i < v.size(); ++i) d[i] = static_cast<double>(v[i]) - offset;
  return d;
}

}  // namespace kt
