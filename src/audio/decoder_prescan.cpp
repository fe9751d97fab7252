#include "audio/decoder_prescan.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace audio::detail {

namespace {

// The container's duration of the stream, counted from the first frame a decode yields. The
// container counts from its start time, which can lie before that frame: an Ogg Vorbis stream
// whose first page's granule is not 0 starts at its first packet, whose samples the decoder only
// uses to overlap the next one.
int64_t StreamDuration(const AVStream* st, int rate, int64_t first_pts, int64_t skipped_at_start) {
  if (st->duration == AV_NOPTS_VALUE || st->duration <= 0) return -1;
  int64_t frames = av_rescale_q(st->duration, st->time_base, AVRational{1, rate});
  const int codec_rate = st->codecpar->sample_rate > 0 ? st->codecpar->sample_rate : rate;
  frames -= av_rescale(skipped_at_start, rate, codec_rate);
  if (st->start_time != AV_NOPTS_VALUE && first_pts != AV_NOPTS_VALUE) {
    const int64_t start = av_rescale_q(st->start_time, st->time_base, AVRational{1, rate});
    if (first_pts > start) frames -= first_pts - start;
  }
  return frames < 0 ? 0 : frames;
}

// Demux only: packet durations in the stream's time base, minus the samples the decoder is told
// to skip at the start and to discard at the end. -1 when a packet's duration is unknown.
int64_t PacketSum(const InputRequest& request, const DemuxInput& main, const FileTraits& traits, int rate) {
  InputRequest own = request;
  own.find_stream_info = false;
  own.stream_index = main.stream_index;
  own.format = main.format->iformat;
  DemuxInput input;
  if (OpenDemuxer(own, &input) != 0) return -1;
  const AVCodecParameters* par = main.Stream()->codecpar;
  const AVRational tb = input.Stream()->time_base;
  PacketPtr packet(av_packet_alloc());
  if (!packet) return -1;
  int64_t ticks = 0;    // in the stream's time base
  int64_t samples = 0;  // packets without a duration, and the trims
  while (av_read_frame(input.format.get(), packet.get()) >= 0) {
    if (packet->stream_index == input.stream_index) {
      if (packet->duration > 0 && traits.packet_durations) {
        ticks += packet->duration;
      } else {
        const int d = av_get_audio_frame_duration2(const_cast<AVCodecParameters*>(par), packet->size);
        if (d <= 0) return -1;
        samples += d;
      }
      size_t size = 0;
      const uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
      if (skip != nullptr && size >= 8) samples -= int64_t{AV_RL32(skip)} + int64_t{AV_RL32(skip + 4)};
    }
    av_packet_unref(packet.get());
  }
  const int64_t total = av_rescale_q(ticks, tb, AVRational{1, rate}) + samples;
  return total < 0 ? 0 : total;
}

// A whole decode, counting the frames exactly as reading keeps them. A demuxer that rewinds is
// decoded in place (the caller rewinds it again); any other is opened afresh.
int64_t FullDecode(const InputRequest& request, const DemuxInput& main, const FileTraits& traits, int channels) {
  DemuxInput own_input;
  const DemuxInput* in = &main;
  if (traits.rewinds) {
    if (av_seek_frame(main.format.get(), -1, 0, AVSEEK_FLAG_BACKWARD) < 0) return -1;
  } else {
    InputRequest own = request;
    own.stream_index = main.stream_index;
    own.format = main.format->iformat;
    if (OpenDemuxer(own, &own_input) != 0) return -1;
    in = &own_input;
  }
  const DemuxInput& input = *in;
  int error = 0;
  CodecContextPtr codec = OpenAudioDecoder(input.Stream(), &error);
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (!codec || !packet || !frame) return -1;
  int64_t total = 0;
  bool draining = false;
  for (;;) {
    const int r = avcodec_receive_frame(codec.get(), frame.get());
    if (r == 0) {
      if (frame->nb_samples > 0 && frame->ch_layout.nb_channels == channels) total += frame->nb_samples;
      av_frame_unref(frame.get());
      continue;
    }
    if (r == AVERROR_EOF || (r != AVERROR(EAGAIN) && draining)) break;
    if (draining) break;
    if (av_read_frame(input.format.get(), packet.get()) < 0) {
      avcodec_send_packet(codec.get(), nullptr);
      draining = true;
      continue;
    }
    if (packet->stream_index == input.stream_index) avcodec_send_packet(codec.get(), packet.get());
    av_packet_unref(packet.get());
  }
  return total;
}

}  // namespace

int64_t PrescanLength(const InputRequest& request, const DemuxInput& main, const FileTraits& traits,
                      int rate, int channels, int64_t first_pts) {
  switch (traits.length) {
    case LengthRule::kStreamDuration: {
      const int64_t d = StreamDuration(main.Stream(), rate, first_pts, traits.skipped_at_start);
      if (d >= 0) return d;
      break;
    }
    case LengthRule::kFullDecode:
      return FullDecode(request, main, traits, channels);
    case LengthRule::kPacketSum:
      break;
  }
  const int64_t sum = PacketSum(request, main, traits, rate);
  return sum >= 0 ? sum : FullDecode(request, main, traits, channels);
}

int64_t EstimateLength(const DemuxInput& main, const FileTraits& traits, int rate, int64_t first_pts) {
  const int64_t d = StreamDuration(main.Stream(), rate, first_pts, traits.skipped_at_start);
  if (d >= 0) return d;
  const AVFormatContext* f = main.format.get();
  if (f->duration != AV_NOPTS_VALUE && f->duration > 0) {
    return av_rescale(f->duration, rate, AV_TIME_BASE);
  }
  return -1;
}

}  // namespace audio::detail
