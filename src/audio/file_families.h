// Which files each opener takes, and how each kind of file gives its exact length and seeks.
#pragma once

#include <cstdint>

#include "audio/decoder.h"

struct AVFormatContext;
struct AVCodecParameters;

namespace audio::detail {

// True when a file with this container and audio stream belongs to `family`.
bool FamilyAccepts(Family family, const AVFormatContext* format, const AVCodecParameters* codec);

enum class LengthRule {
  kPacketSum,       // sum of packet durations minus the recorded encoder delay and padding
  kStreamDuration,  // the container's duration of the stream (edit lists, Ogg granules, APE)
  kFullDecode,      // nothing but a decode is exact
};

enum class SeekRule {
  kTimestamp,  // demuxer seek, then place the decoded frames by their timestamps
  kDecode,     // decode from the start and discard (timestamps too coarse or missing)
};

struct FileTraits {
  LengthRule length = LengthRule::kPacketSum;
  SeekRule seek = SeekRule::kTimestamp;
  int64_t preroll = 0;  // frames decoded and discarded before a seek target
  // Frames, at the codec's rate, that the container's duration of the stream counts before the
  // first frame a decode keeps (kStreamDuration only).
  int64_t skipped_at_start = 0;
  // Whether the packets' durations are the codec's frames (kPacketSum). Matroska's come from
  // millisecond timestamps and a Vorbis stream there has none: its frames are counted from the
  // packets themselves, or by a decode.
  bool packet_durations = true;
  // Whether a demuxer seek to 0 restarts the stream exactly as a fresh opening does (modules,
  // whose renderer replays from the first order): a seek back then needs no reopening, which for
  // a module means loading the whole song again.
  bool rewinds = false;
};

// `longest_rendered_seconds`: see DecoderOptions.
FileTraits TraitsFor(const AVFormatContext* format, const AVCodecParameters* codec,
                     int64_t longest_rendered_seconds);

}  // namespace audio::detail
