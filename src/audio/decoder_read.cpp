// Decoding frame by frame into the frame buffer, and reading out of it.
#include <algorithm>
#include <cstring>

#include "audio/decoder.h"
#include "audio/decoder_impl.h"

namespace audio::detail {

namespace {
// Decoder errors in a row after which a file counts as ended (damage that makes no progress).
constexpr int kMaxErrorsInRow = 64;
}

int64_t FileDecoder::Impl::PlaceOf(int64_t ts) const {
  if (ticks_per_frame > 0) {
    const int64_t ticks = ts - first_ticks;
    const int64_t index = (ticks + (ticks >= 0 ? ticks_per_frame / 2 : -ticks_per_frame / 2)) / ticks_per_frame;
    return index * frames_per_packet;
  }
  return av_rescale_q(ts, input.Stream()->time_base, AVRational{1, static_cast<int>(rate)}) - first_pts;
}

bool FileDecoder::Impl::DecodeFrame() {
  if (decoder_done || !Usable()) return false;
  int errors = 0;
  for (;;) {
    const int r = avcodec_receive_frame(codec.get(), frame.get());
    if (r == 0) {
      const int n = converter.Convert(frame.get(), &buffer);
      if (n <= 0) continue;  // damage: a frame of another layout
      int64_t start = next_start;
      const int64_t ts = frame->best_effort_timestamp;
      const int64_t stamped = ts == AV_NOPTS_VALUE || !(place_by_pts || checks_left > 0) ? AV_NOPTS_VALUE : PlaceOf(ts);
      if (place_by_pts) {
        place_by_pts = false;
        if (stamped == AV_NOPTS_VALUE) {
          placement_failed = true;
          decoder_done = true;
          return false;
        }
        start = stamped;
        checks_left = 2;
        shift_seen = 0;
      } else if (checks_left > 0 && stamped != AV_NOPTS_VALUE) {
        // A placement by one frame's timestamp is checked against the next two: an Ogg Vorbis
        // stream stamps a frame that follows a change of block size now and then 448 samples
        // late, and the frames after it right again. Two frames in a row that agree on another
        // place than the count move the whole placement there.
        --checks_left;
        const int64_t shift = stamped - start;
        if (checks_left == 1) {
          shift_seen = shift;
          if (shift == 0) checks_left = 0;
        } else if (shift != 0 && shift == shift_seen) {
          start = stamped;
        }
      }
      buffer_start = start;
      buffer_frames = n;
      buffer_used = 0;
      next_start = start + n;
      return true;
    }
    if (r == AVERROR_EOF) {
      decoder_done = true;
      return false;
    }
    if (r != AVERROR(EAGAIN)) {
      if (++errors > kMaxErrorsInRow) {
        decoder_done = true;
        return false;
      }
      if (flushed) continue;
    } else if (flushed) {
      decoder_done = true;  // drained: nothing more will come
      return false;
    }
    if (demux_done) {
      avcodec_send_packet(codec.get(), nullptr);
      flushed = true;
      continue;
    }
    if (av_read_frame(input.format.get(), packet.get()) < 0) {
      demux_done = true;
      demux_reached_end = true;
      continue;
    }
    if (packet->stream_index == input.stream_index) {
      if (!packet_seen) {
        packet_seen = true;
        first_packet_ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      }
      // A packet the decoder rejects is damage: it is dropped and decoding goes on.
      avcodec_send_packet(codec.get(), packet.get());
    }
    av_packet_unref(packet.get());
  }
}

size_t FileDecoder::Read(void* out, size_t frames) {
  Impl& d = *impl_;
  auto* dst = static_cast<uint8_t*>(out);
  const size_t bpf = d.bytes_per_frame;
  size_t done = 0;
  try {
    while (done < frames) {
      if (d.exact && d.pos >= d.length) break;
      if (d.buffer_used >= d.buffer_frames) {
        if (!d.DecodeFrame()) break;
        continue;
      }
      int64_t n = std::min<int64_t>(d.buffer_frames - d.buffer_used, static_cast<int64_t>(frames - done));
      if (d.exact) n = std::min(n, d.length - d.pos);
      std::memcpy(dst + done * bpf, d.buffer.data() + static_cast<size_t>(d.buffer_used) * bpf,
                  static_cast<size_t>(n) * bpf);
      d.buffer_used += n;
      d.pos += n;
      done += static_cast<size_t>(n);
    }
  } catch (...) {
    d.decoder_done = true;  // out of memory while converting: the stream ends here
  }
  return done;
}

bool FileDecoder::AtEnd() {
  Impl& d = *impl_;
  if (d.exact && d.pos >= d.length) return true;
  if (d.buffer_used < d.buffer_frames) return false;
  try {
    return !d.DecodeFrame();
  } catch (...) {
    d.decoder_done = true;
    return true;
  }
}

}  // namespace audio::detail
