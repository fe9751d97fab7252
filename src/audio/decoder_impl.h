// The state of one FileDecoder, shared by its opening, reading and seeking files.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/decoder.h"
#include "audio/decoder_input.h"
#include "audio/file_families.h"
#include "audio/sample_converter.h"

namespace audio::detail {

struct FileDecoder::Impl {
  Impl(const InputRequest& req, const DecoderOptions& opts)
      : request(req), options(opts), converter(opts.kind, 0) {}

  // Opens demuxer and decoder, positioned at the start for a straight decode; 0 or an error.
  int OpenStreams();
  // Decodes the next frame into `buffer`; false once the decoder has nothing more.
  bool DecodeFrame();
  // Moves to `frame` by the file's seek rule; the position is undefined when this fails.
  bool SeekExact(int64_t frame);

  enum class Reach { kReached, kLate, kFailed };
  // Decodes on and discards until `frame`; kLate when the first frame placed lies after it.
  Reach DiscardTo(int64_t frame);
  Reach SeekByTimestamp(int64_t frame);
  bool SeekFromStart(int64_t frame);
  bool Rewind();  // back to frame 0 without reopening, where the file allows it
  // The frame a decoded frame's timestamp places it at, counted as a straight decode counts.
  int64_t PlaceOf(int64_t timestamp) const;
  void ResetDecodeState();
  // False after a reopening failed: nothing decodes any more.
  bool Usable() const { return codec && input.format && input.stream_index >= 0 && frame && packet; }

  InputRequest request;         // immutable after Open
  DecoderOptions options;       // immutable after Open
  FileTraits traits;            // immutable after Open
  DemuxInput input;
  CodecContextPtr codec;
  FramePtr frame;
  PacketPtr packet;
  SampleConverter converter;

  uint32_t rate = 0;
  uint32_t channels = 0;
  size_t bytes_per_frame = 0;
  int64_t length = -1;       // frames; exact when `exact`
  bool exact = false;        // prescanned: reading stops at `length`
  int64_t first_pts = 0;     // in frames: the timestamp of a straight decode's first frame
  int64_t min_seek_ts = 0;   // in the stream's time base: the first packet's timestamp
  int64_t first_packet_ts = AV_NOPTS_VALUE;  // of the straight decode's first packet
  bool packet_seen = false;
  // Raw AC3 stamps packets in 1/90000 s, which whole frames at 44.1 kHz do not fill: frames are
  // then placed by their packet number (timestamp / packet duration), not by the time.
  int64_t ticks_per_frame = 0;   // 0: place by time
  int64_t frames_per_packet = 0;
  int64_t first_ticks = 0;       // the first frame's timestamp, in the stream's time base
  bool demux_reached_end = false;  // the demuxer has read the last packet since it was opened

  // The converted samples of the last decoded frame, which starts at frame `buffer_start`.
  std::vector<uint8_t> buffer;
  int64_t buffer_start = 0;
  int64_t buffer_frames = 0;
  int64_t buffer_used = 0;   // frames of it already read or skipped
  int64_t next_start = 0;    // where the next decoded frame starts, in a straight decode
  int64_t pos = 0;           // the next frame Read returns
  bool place_by_pts = false; // the next decoded frame is placed by its timestamp (after a seek)
  int checks_left = 0;       // frames after a placement whose timestamps check it
  int64_t shift_seen = 0;    // how far the first checking frame's timestamp lay from the count
  bool placement_failed = false;
  bool demux_done = false;
  bool flushed = false;      // the decoder has been told that no more packets come
  bool decoder_done = false;
};

}  // namespace audio::detail
