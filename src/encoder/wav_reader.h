// Reads a WAV stream front to back, never seeking, so that it works on a pipe.
//
// Accepted: RIFF/WAVE (and RF64/BW64 with a ds64 chunk); format tags PCM (1), IEEE float (3) and
// WAVE_FORMAT_EXTENSIBLE (0xFFFE) with a PCM or float sub-format; PCM in 8 (unsigned), 16, 24
// and 32 bit containers, float in 32 and 64 bit. Chunks before the audio may come in any order
// and any other chunk (LIST, fact, ...) is skipped. A data size of 0 or 0xFFFFFFFF means "the
// audio runs to the end of the input", as a streaming writer that cannot know the length gives
// it; any other size is taken as the true size. A data chunk that comes before the fmt chunk is
// held in memory until the format is known (only with a true size).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "encoder/input_stream.h"

namespace encoder {

enum class SampleType { U8, S16, S24, S32, F32, F64 };

struct WavFormat {
  uint32_t rate = 0;
  uint16_t channels = 0;
  SampleType type = SampleType::S16;
  uint16_t container_bytes = 2;   // bytes per sample in the stream
  uint16_t valid_bits = 16;       // significant bits (informative)
  uint32_t channel_mask = 0;      // WAVE_FORMAT_EXTENSIBLE speaker mask; 0 when not given
  std::optional<uint64_t> data_bytes;  // the true data size; empty: read to the end of input

  size_t FrameBytes() const { return size_t{channels} * container_bytes; }
};

class WavReader {
 public:
  explicit WavReader(InputStream& in) : in_(in) {}

  // Reads the chunks up to the start of the audio data. Throws EncodeError naming the input and
  // the cause for a stream that is not WAV, a truncated or damaged header, or an unsupported
  // sample format.
  void ReadHeader();
  const WavFormat& format() const { return format_; }

  // Reads up to max_frames whole frames of interleaved samples, in the stream's own format, into
  // buf (max_frames * FrameBytes() bytes). Returns the frames read; 0 at the end of the audio.
  // A trailing partial frame is dropped.
  size_t ReadFrames(uint8_t* buf, size_t max_frames);

  uint64_t frames_read() const { return frames_read_; }
  // True when the input ended before the data size the header gave.
  bool truncated() const { return truncated_; }

 private:
  // Reads exactly n bytes or throws "truncated header" (`what` names the missing part).
  void ReadExact(void* buf, size_t n, const char* what);
  void Skip(uint64_t n, const char* what);
  void ParseFmt(const std::vector<uint8_t>& fmt);
  // The next data bytes, from the held chunk first, then from the input.
  size_t ReadData(uint8_t* buf, size_t n);

  InputStream& in_;
  WavFormat format_;
  std::optional<uint64_t> remaining_;  // data bytes left when the size is known
  std::vector<uint8_t> held_;          // a data chunk that came before fmt
  size_t held_pos_ = 0;
  uint64_t frames_read_ = 0;
  bool truncated_ = false;
  bool at_end_ = false;
};

}  // namespace encoder
