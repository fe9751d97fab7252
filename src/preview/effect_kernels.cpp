#include "preview/effect_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "preview/effect_arithmetic.h"
#include "preview/sample_format.h"

namespace preview {
namespace {

constexpr int32_t kChunkFrames = 1024;

// The loops below are instantiated once per format; the format is chosen once per call, so the
// per-value work holds no branch of its own.

template <class Format>
void GainValues(unsigned char* p, int32_t values, float factor) {
  for (int32_t i = 0; i < values; ++i, p += Format::kBytes) {
    const float y = Format::Load(p) * factor;
    Format::Store(y, p);
  }
}

template <class Format>
void FadeValues(unsigned char* p, int32_t values, FadeState& fade, FadeTail tail) {
  double gain = fade.fadeGain;
  const double step = fade.fadeStep;
  int32_t i = 0;
  if (fade.fadeOutLeft > 0) {
    // A counted fade-out: every value of its length is scaled, the last one (whose summed gain
    // may have slipped below 0) to silence; then it is complete.
    int64_t left = fade.fadeOutLeft;
    for (; i < values && left > 0; ++i, --left, p += Format::kBytes) {
      const auto y = static_cast<float>(Format::Load(p) * (gain > 0.0 ? gain : 0.0));
      gain += step;
      Format::Store(y, p);
    }
    fade.fadeOutLeft = left;
    if (left == 0) gain = 0.0;
  } else {
    for (; i < values && gain > 0.0 && gain < 1.0; ++i, p += Format::kBytes) {
      const auto y = static_cast<float>(Format::Load(p) * gain);
      gain += step;
      Format::Store(y, p);
    }
  }
  fade.fadeGain = gain;
  if (tail == FadeTail::SilenceAfterFadeOut && step < 0.0 && !(gain > 0.0)) {
    for (; i < values; ++i, p += Format::kBytes) {
      Format::Store(0.0f, p);
    }
  }
}

// The channels run one after another, each over all frames, as one dependency chain per loop.
// Keep it so: GCC 12's vectorizer, given two channels in one loop, kept `low` unrounded where it
// is used again, so the result was no longer the float-stored arithmetic (the exactness tests
// catch that).
template <class Format, bool kHighPass>
void FilterFrames(unsigned char* p, int32_t frames, int32_t channels, double f,
                  FilterState& state) {
  const int32_t filtered = std::min<int32_t>(channels, kFilterChannels);
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(channels) * Format::kBytes;
  for (int32_t c = 0; c < filtered; ++c) {
    float low = state.low[c];
    float band = state.band[c];
    float high = state.high[c];
    unsigned char* q = p + static_cast<std::ptrdiff_t>(c) * Format::kBytes;
    for (int32_t i = 0; i < frames; ++i, q += stride) {
      const auto x = static_cast<double>(Format::Load(q));
      // Each result is stored as a float before it is used further; x and f are doubles.
      low = static_cast<float>(f * band + low);
      high = static_cast<float>(x - low - band);
      band = static_cast<float>(f * high + band);
      Format::Store(kHighPass ? high : low, q);
    }
    state.low[c] = low;
    state.band[c] = band;
    state.high[c] = high;
  }
}

template <bool kHighPass>
void FilterKernel(void* buffer, int32_t n, int32_t rate, uint8_t bits, uint8_t channels,
                  int32_t setting, int32_t cutoffRate, FilterState& state) {
  const int bytes = BytesPerValue(bits);
  if (buffer == nullptr || bytes == 0 || channels == 0 || rate <= 0 || n <= 0) {
    return;
  }
  const int32_t frames = n / bytes / channels;
  double f = 0;
  if (cutoffRate > 0 && cutoffRate != rate) {
    // The filter at cutoffRate resonates at f0, where 2 sin(pi f0 / cutoffRate) is its F: here
    // F puts the resonance at the same frequency, so that data at another rate sounds filtered
    // as it will at cutoffRate. A resonance beyond this rate's band lets everything through.
    const double there = FilterCoefficient(FilterCutoff(setting, cutoffRate, bits), cutoffRate);
    const double f0 = cutoffRate / std::numbers::pi * std::asin(there / 2);
    f = std::min(1.0, 2 * std::sin(std::numbers::pi * std::min(f0 / rate, 0.5)));
  } else {
    f = FilterCoefficient(FilterCutoff(setting, rate, bits), rate);
  }
  auto* p = static_cast<unsigned char*>(buffer);
  switch (bits) {
    case 8:
      FilterFrames<format::Unsigned8, kHighPass>(p, frames, channels, f, state);
      break;
    case 16:
      FilterFrames<format::Signed16, kHighPass>(p, frames, channels, f, state);
      break;
    default:
      FilterFrames<format::Float32, kHighPass>(p, frames, channels, f, state);
      break;
  }
}

}  // namespace

int32_t EffectChunkBytes(uint8_t bits, uint8_t channels) {
  return BytesPerValue(bits) * kChunkFrames * channels;
}

void HighPassKernel(void* buffer, int32_t n, int32_t rate, uint8_t bits, uint8_t channels,
                    const EffectParams& params, FilterState& state) {
  FilterKernel<true>(buffer, n, rate, bits, channels, params.highCut, params.cutoffRate, state);
}

void LowPassKernel(void* buffer, int32_t n, int32_t rate, uint8_t bits, uint8_t channels,
                   const EffectParams& params, FilterState& state) {
  FilterKernel<false>(buffer, n, rate, bits, channels, params.lowCut, params.cutoffRate, state);
}

void GainKernel(void* buffer, int32_t n, uint8_t bits, const EffectParams& params) {
  const int bytes = BytesPerValue(bits);
  if (buffer == nullptr || bytes == 0 || n <= 0) {
    return;
  }
  auto* p = static_cast<unsigned char*>(buffer);
  const int32_t values = n / bytes;
  switch (bits) {
    case 8:
      GainValues<format::Unsigned8>(p, values, params.gainFactor);
      break;
    case 16:
      GainValues<format::Signed16>(p, values, params.gainFactor);
      break;
    default:
      GainValues<format::Float32>(p, values, params.gainFactor);
      break;
  }
}

void FadeKernel(void* buffer, int32_t n, uint8_t bits, FadeState& fade, FadeTail tail) {
  const int bytes = BytesPerValue(bits);
  if (buffer == nullptr || bytes == 0 || n <= 0) {
    return;
  }
  auto* p = static_cast<unsigned char*>(buffer);
  const int32_t values = n / bytes;
  switch (bits) {
    case 8:
      FadeValues<format::Unsigned8>(p, values, fade, tail);
      break;
    case 16:
      FadeValues<format::Signed16>(p, values, fade, tail);
      break;
    default:
      FadeValues<format::Float32>(p, values, fade, tail);
      break;
  }
}

void ProcessEffect(EffectKind kind, void* buffer, int32_t length, int32_t rate, uint8_t bits,
                   uint8_t channels, const EffectParams& params, FadeState& fade,
                   FilterState* filter, FadeTail tail) {
  const int32_t chunk = EffectChunkBytes(bits, channels);
  if (buffer == nullptr || chunk <= 0 || kind > EffectKind::Fade) {
    return;
  }
  if ((kind == EffectKind::HighPass || kind == EffectKind::LowPass) && filter == nullptr) {
    return;
  }
  auto* base = static_cast<unsigned char*>(buffer);
  for (int32_t remaining = length; remaining > 0; remaining -= chunk) {
    const int32_t n = std::min(remaining, chunk);
    unsigned char* at = base + (length - remaining);
    switch (kind) {
      case EffectKind::HighPass:
        HighPassKernel(at, n, rate, bits, channels, params, *filter);
        break;
      case EffectKind::LowPass:
        LowPassKernel(at, n, rate, bits, channels, params, *filter);
        break;
      case EffectKind::Gain:
        GainKernel(at, n, bits, params);
        break;
      case EffectKind::Fade:
        FadeKernel(at, n, bits, fade, tail);
        break;
    }
  }
}

}  // namespace preview
