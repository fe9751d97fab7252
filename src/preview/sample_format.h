// The sample formats the effect kernels accept, and the conversions between stored values and
// the values the arithmetic works on. Values are interleaved, channel 0 first in each frame.
//
//   bits  stored as              x given to the arithmetic   result y written back as
//   8     unsigned byte          byte - 128                  Clip8(round(y)) + 128
//   16    signed 16-bit integer  the value                   Clip16(round(y))
//   32    32-bit float           the value                   y, neither rounded nor limited
//
// round() is to the nearest integer with halves to even.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace preview {

// Limits an integer to the range of a signed 8-bit value, -128..127.
constexpr int32_t Clip8(int32_t v) { return std::clamp<int32_t>(v, -128, 127); }
// Limits an integer to the range of a signed 16-bit value, -32768..32767.
constexpr int32_t Clip16(int32_t v) { return std::clamp<int32_t>(v, -32768, 32767); }

// The nearest integer to y, halves to even (the default floating-point rounding mode).
// Values beyond the 32-bit range, and NaN, saturate first, so the result is always defined.
inline int32_t RoundHalfEven(float y) {
  constexpr float kLow = -2147483648.0f;
  constexpr float kHigh = 2147483520.0f;  // the largest float below 2^31
  y = (y >= kLow) ? y : kLow;            // NaN goes to kLow
  y = (y <= kHigh) ? y : kHigh;
  return static_cast<int32_t>(std::lrint(y));
}

// y limited to lo..hi and then rounded to the nearest integer, halves to even: the same as
// limiting round(y), because the limits are integers. For limits within +-2^22; NaN gives lo.
// Adding 1.5 x 2^23 leaves a float with no fraction bits, so the addition itself rounds (in the
// default rounding mode) and the subtraction is exact: no call, no branch.
inline int32_t RoundLimited(float y, float lo, float hi) {
  y = (y >= lo) ? y : lo;
  y = (y <= hi) ? y : hi;
  constexpr float kShift = 12582912.0f;
  return static_cast<int32_t>((y + kShift) - kShift);
}

namespace format {

// Each format: kBytes per value, Load() gives x, Store() writes y back.
struct Unsigned8 {
  static constexpr int kBytes = 1;
  static int32_t Load(const unsigned char* p) { return static_cast<int32_t>(*p) - 128; }
  static void Store(float y, unsigned char* p) {
    *p = static_cast<unsigned char>(RoundLimited(y, -128.0f, 127.0f) + 128);  // Clip8(round(y))
  }
};

struct Signed16 {
  static constexpr int kBytes = 2;
  static int32_t Load(const unsigned char* p) {
    int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(float y, unsigned char* p) {
    const auto v = static_cast<int16_t>(RoundLimited(y, -32768.0f, 32767.0f));  // Clip16(round(y))
    std::memcpy(p, &v, sizeof v);
  }
};

struct Float32 {
  static constexpr int kBytes = 4;
  static float Load(const unsigned char* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(float y, unsigned char* p) { std::memcpy(p, &y, sizeof y); }
};

}  // namespace format

// Bytes per value of a format, or 0 when the kernels do not accept that many bits.
constexpr int BytesPerValue(uint8_t bits) {
  return (bits == 8 || bits == 16 || bits == 32) ? bits / 8 : 0;
}

}  // namespace preview
