// Sample-exact seeking: a demuxer seek before the target, then decoding on to it.
#include <cstring>

#include "audio/decoder.h"
#include "audio/decoder_impl.h"
#include "audio/engine.h"

namespace audio::detail {

FileDecoder::Impl::Reach FileDecoder::Impl::DiscardTo(int64_t target) {
  for (;;) {
    if (buffer_start + buffer_used <= target && target < buffer_start + buffer_frames) {
      buffer_used = target - buffer_start;
      pos = target;
      checks_left = 0;  // placed: reading counts on from here
      return Reach::kReached;
    }
    const bool placing = place_by_pts;
    if (!DecodeFrame()) {
      if (!placing && !placement_failed && next_start == target) {  // the target is the end
        buffer_used = buffer_frames;
        pos = target;
        return Reach::kReached;
      }
      return Reach::kFailed;
    }
    if (placing && buffer_start > target) return Reach::kLate;
  }
}

// kReached; kFailed when decoding ended before the target; kLate when only a decode from the
// start can tell.
FileDecoder::Impl::Reach FileDecoder::Impl::SeekByTimestamp(int64_t target) {
  const AVRational frames_tb{1, static_cast<int>(rate)};
  int64_t preroll = traits.preroll;
  // Near the start a fresh decode is as cheap, and some decoders (AAC) differ after a flush from
  // a fresh start.
  if (target - preroll <= 0) return Reach::kLate;
  // An Ogg demuxer that has read the last page places later seeks wrongly: start it afresh.
  if (demux_reached_end && std::strcmp(input.format->iformat->name, "ogg") == 0) {
    if (OpenStreams() != ERROR_OK) return Reach::kFailed;
  }
  if (!Usable()) return Reach::kLate;
  const AVStream* st = input.Stream();  // after any reopening
  for (int attempt = 0; attempt < 6; ++attempt) {
    const int64_t want = target + first_pts - preroll;
    int64_t ts = av_rescale_q_rnd(want, frames_tb, st->time_base, AV_ROUND_DOWN);
    const bool at_start = ts <= min_seek_ts;
    if (at_start) ts = min_seek_ts;
    const int64_t further = preroll * 4 + rate;
    // Seeks into the last frames of some files (FLAC) fail: try again from further back.
    if (av_seek_frame(input.format.get(), input.stream_index, ts, AVSEEK_FLAG_BACKWARD) < 0) {
      if (at_start) return Reach::kLate;
      preroll = further;
      continue;
    }
    avcodec_flush_buffers(codec.get());
    ResetDecodeState();
    place_by_pts = true;
    const Reach reach = DiscardTo(target);
    if (placement_failed) return Reach::kLate;
    if (reach != Reach::kLate) return reach;
    if (at_start) return Reach::kLate;
    preroll = further;  // landed after the target
  }
  return Reach::kLate;
}

bool FileDecoder::Impl::Rewind() {
  if (!traits.rewinds || !Usable()) return false;
  if (av_seek_frame(input.format.get(), -1, 0, AVSEEK_FLAG_BACKWARD) < 0) return false;
  avcodec_flush_buffers(codec.get());
  next_start = 0;
  ResetDecodeState();
  demux_reached_end = false;
  place_by_pts = false;
  return true;
}

bool FileDecoder::Impl::SeekFromStart(int64_t target) {
  if (!Rewind() && OpenStreams() != ERROR_OK) return false;
  return DiscardTo(target) == Reach::kReached;
}

bool FileDecoder::Impl::SeekExact(int64_t target) {
  // Short hops forward, and every forward move without usable timestamps, decode on from here.
  const bool forward = target > pos;
  if (forward && (traits.seek == SeekRule::kDecode || target - pos <= static_cast<int64_t>(rate))) {
    if (DiscardTo(target) == Reach::kReached) return true;
  }
  if (traits.seek == SeekRule::kTimestamp) {
    const Reach reach = SeekByTimestamp(target);
    if (reach != Reach::kLate) return reach == Reach::kReached;
  }
  return SeekFromStart(target);
}

bool FileDecoder::Seek(int64_t frame) {
  Impl& d = *impl_;
  // Only a prescanned length is a bound. A header's estimate (ADTS, an MP3 without a Xing header
  // whose bitrate varies) can lie far short of the real end: the seek itself finds out.
  if (frame < 0 || (d.exact && frame > d.length)) return false;
  if (frame == d.pos) return true;
  if (frame >= d.buffer_start && frame < d.buffer_start + d.buffer_frames) {
    d.buffer_used = frame - d.buffer_start;
    d.pos = frame;
    return true;
  }
  const int64_t old = d.pos;
  try {
    if (d.SeekExact(frame)) return true;
    if (d.SeekExact(old)) return false;
  } catch (...) {
  }
  // Not even the old position can be reached again: the stream ends there.
  d.pos = old;
  d.buffer_start = old;
  d.buffer_frames = 0;
  d.buffer_used = 0;
  d.decoder_done = true;
  return false;
}

}  // namespace audio::detail
