// Decoding audio files through FFmpeg into 16-bit or float interleaved frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/source.h"

namespace audio::detail {

// Which openers take a file: Any is the general opener, the others take their own family only.
enum class Family { Any, WMA, APE, AC3, ALAC, AAC, MP4, MPC, FLAC };

enum class SampleKind { S16, F32 };

struct DecoderOptions {
  Family family = Family::Any;
  SampleKind kind = SampleKind::S16;
  bool prescan = false;  // exact length and sample-exact seeking
  uint64_t offset = 0;   // the part of the file to read: offset and length (0: to the end)
  uint64_t length = 0;
  // Bytes to read instead of the file, which must outlive the decoder (the fuzz targets).
  const uint8_t* memory = nullptr;
  size_t memory_size = 0;
  // A tracker song the prescan renders for its exact length when it is reported no longer than
  // this; a longer one keeps its reported length (a few bytes of patterns can loop for hours).
  int64_t longest_rendered_seconds = 600;
};

// What one file can make decoding allocate at once. Nothing a real file holds needs more: the
// index of a 24-hour MP4 audiobook (24 bytes per AAC frame) is about 90 MB, cover art a few MB.
// A header claiming more (a WAV whose 83 bytes announce a 2 GB tag) fails to open instead of
// taking the memory. Set for all of FFmpeg before the first file opens.
inline constexpr size_t kLargestAllocation = size_t{128} << 20;
// The highest sample rate a file may claim: the engine's buffers grow with the rate.
inline constexpr int kHighestRate = 768000;

class FileDecoder : public Source {
 public:
  // Opens `path`; nullptr with *error set (an audio::Error code) when the file cannot be opened,
  // holds no audio, or is not of the requested family.
  static std::unique_ptr<FileDecoder> Open(const std::string& path, const DecoderOptions& options,
                                           int* error);
  ~FileDecoder() override;

  uint32_t Rate() const;
  uint32_t Channels() const;

  size_t Read(void* out, size_t frames) override;
  bool AtEnd() override;
  bool Seek(int64_t frame) override;
  int64_t LengthFrames() const override;
  bool LengthIsEstimate() const override;

  struct Impl;

 private:
  explicit FileDecoder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace audio::detail
