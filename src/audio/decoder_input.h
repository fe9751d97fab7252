// Opening one file for decoding: its demuxer (through a file window) and the audio decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/avio_file.h"
#include "audio/ffmpeg_ptr.h"

namespace audio::detail {

// A demuxer over one file window with the audio stream it reads. The I/O object outlives the
// format context (members are destroyed in reverse order).
struct DemuxInput {
  std::unique_ptr<FileWindowIO> io;
  FormatContextPtr format;
  int stream_index = -1;
  // How surely the probe recognised the format (AVPROBE_SCORE_MAX when it was given).
  int probe_score = AVPROBE_SCORE_MAX;

  // A file whose format this sure a probe recognised, but that does not open or decode, is
  // damaged; a guess from a few bytes or the name alone is not a recognition.
  int FailureOfARecognised() const;

  AVStream* Stream() const { return format->streams[stream_index]; }
};

struct InputRequest {
  std::string path;
  uint64_t offset = 0;
  uint64_t length = 0;
  // When set, these bytes are read instead of the file (the path still names the input).
  const uint8_t* memory = nullptr;
  size_t memory_size = 0;
  bool find_stream_info = true;  // off for the demux-only length pass
  int stream_index = -1;         // -1: the best audio stream
  // The demuxer an earlier opening of the same bytes found; nullptr: probe the content.
  const AVInputFormat* format = nullptr;
  // The stream's parameters as an earlier opening found them (with `format` and `stream_index`):
  // a demuxer whose header lists its streams then reopens without probing them by decoding.
  std::shared_ptr<const AVCodecParameters> known;
};

// Opens the demuxer; 0 or an audio::Error code. Other streams are set to be discarded, and the
// demuxer may not open further files or URLs (playlists, references) on its own.
int OpenDemuxer(const InputRequest& request, DemuxInput* out);

// Opens a single-threaded decoder for the input's stream; nullptr with *error set on failure.
CodecContextPtr OpenAudioDecoder(const AVStream* stream, int* error);

}  // namespace audio::detail
