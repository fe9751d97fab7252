#include "encoder/sample_convert.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace encoder {
namespace {

// Float samples are copied as they lie in the stream, which is little-endian.
static_assert(std::endian::native == std::endian::little);

template <typename Decode>
void Deinterleave(const uint8_t* in, size_t frames, size_t channels, size_t bytes,
                  float* const* planes, Decode decode) {
  if (channels == 2) {  // the common case, kept free of the inner loop
    float* l = planes[0];
    float* r = planes[1];
    for (size_t i = 0; i < frames; ++i, in += 2 * bytes) {
      l[i] = decode(in);
      r[i] = decode(in + bytes);
    }
    return;
  }
  for (size_t i = 0; i < frames; ++i) {
    for (size_t c = 0; c < channels; ++c, in += bytes) planes[c][i] = decode(in);
  }
}

float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }

}  // namespace

void ToPlanarFloat(const uint8_t* in, size_t frames, const WavFormat& f, float* const* planes) {
  const size_t ch = f.channels;
  switch (f.type) {
    case SampleType::U8:
      Deinterleave(in, frames, ch, 1, planes,
                   [](const uint8_t* p) { return (static_cast<int>(p[0]) - 128) * (1.0f / 128); });
      break;
    case SampleType::S16:
      Deinterleave(in, frames, ch, 2, planes, [](const uint8_t* p) {
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))) * (1.0f / 32768);
      });
      break;
    case SampleType::S24:
      Deinterleave(in, frames, ch, 3, planes, [](const uint8_t* p) {
        const uint32_t u = (uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 24);
        return static_cast<float>(static_cast<int32_t>(u)) * (1.0f / 2147483648.0f);
      });
      break;
    case SampleType::S32:
      Deinterleave(in, frames, ch, 4, planes, [](const uint8_t* p) {
        const uint32_t u = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
                           (uint32_t{p[3]} << 24);
        return static_cast<float>(static_cast<int32_t>(u)) * (1.0f / 2147483648.0f);
      });
      break;
    case SampleType::F32:
      Deinterleave(in, frames, ch, 4, planes, [](const uint8_t* p) {
        float v;
        std::memcpy(&v, p, 4);
        return Finite(v);
      });
      break;
    case SampleType::F64:
      Deinterleave(in, frames, ch, 8, planes, [](const uint8_t* p) {
        double v;
        std::memcpy(&v, p, 8);
        return Finite(static_cast<float>(v));
      });
      break;
  }
}

}  // namespace encoder
