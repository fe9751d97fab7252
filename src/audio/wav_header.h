// The WAV header an encoder reads before the PCM data of an open-ended stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace audio::detail {

inline constexpr size_t kWavHeaderBytes = 44;

// A canonical 44-byte RIFF/WAVE header: PCM (format 1) for 16-bit, IEEE float (format 3) for
// 32-bit float. The RIFF and data sizes are 0xFFFFFFFF: the length is not known in advance and
// readers take the data to the end of their input.
std::array<uint8_t, kWavHeaderBytes> StreamingWavHeader(uint32_t rate, uint32_t chans,
                                                        uint32_t bits, bool isFloat);

}  // namespace audio::detail
