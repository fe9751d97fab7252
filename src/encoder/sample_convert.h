// Turns interleaved WAV samples into the planar float the AAC encoder takes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/wav_reader.h"

namespace encoder {

// Converts `frames` frames of `format` from `in` into planes[c][0..frames) for each channel c,
// scaled to [-1, 1): unsigned 8-bit by (x - 128) / 128, signed n-byte integers by 2^-(8n-1),
// floats unchanged except NaN and infinities, which become 0 (they would poison the encoder's
// analysis).
void ToPlanarFloat(const uint8_t* in, size_t frames, const WavFormat& format, float* const* planes);

}  // namespace encoder
