// The WAV header an encoder reads before the PCM data of an open-ended stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace audio::detail {

inline constexpr size_t kWavHeaderBytes = 44;

// The largest data size a RIFF header can state; a longer stream is sent open-ended.
inline constexpr uint64_t kMaxDeclaredDataBytes = 0xFFFFFFFFull - kWavHeaderBytes;

// A canonical 44-byte RIFF/WAVE header: PCM (format 1) for 16-bit, IEEE float (format 3) for
// 32-bit float. With `dataBytes` 0 (or more than a RIFF size holds) the RIFF and data sizes are
// 0xFFFFFFFF: the length is not known in advance and readers take the data to the end of their
// input. Otherwise the header states the length, so that a reader can tell a stream cut short
// (its writer died) from a complete one.
std::array<uint8_t, kWavHeaderBytes> StreamingWavHeader(uint32_t rate, uint32_t chans,
                                                        uint32_t bits, bool isFloat,
                                                        uint64_t dataBytes = 0);

}  // namespace audio::detail
