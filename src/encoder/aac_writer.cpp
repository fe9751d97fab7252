#include "encoder/aac_writer.h"

#include <algorithm>
#include <climits>

#include "encoder/errors.h"
#include "encoder/mp4_atoms.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace encoder {
namespace {

constexpr int kMaxAacChannels = 8;  // the channel configurations AAC-LC has

const AVCodec* NativeAac() {
  const AVCodec* codec = avcodec_find_encoder_by_name("aac");
  if (!codec) throw EncodeError("libavcodec has no native AAC encoder");
  return codec;
}

// The input's speaker layout: its WAVE_FORMAT_EXTENSIBLE mask when that names every channel,
// else FFmpeg's default order for the channel count (which WAV's order follows).
AVChannelLayout InputLayout(const WavFormat& in) {
  AVChannelLayout layout{};
  if (in.channel_mask != 0 &&
      av_popcount(in.channel_mask) == in.channels &&
      av_channel_layout_from_mask(&layout, in.channel_mask) == 0) {
    return layout;
  }
  av_channel_layout_default(&layout, in.channels);
  return layout;
}

// The encoder's layout for the input: the same one when the encoder takes it, else the one it
// takes with the same channel count (5.1 with side instead of back surrounds, say), the channels
// kept in their order. Empty when the encoder takes no layout with that many channels.
std::optional<AVChannelLayout> EncoderLayout(const AVCodec* codec, const AVChannelLayout& in) {
  const AVChannelLayout* list = codec->ch_layouts;
  if (!list) {  // the encoder names no list: it takes any layout of up to 8 channels
    if (in.nb_channels > kMaxAacChannels) return std::nullopt;
    return in;
  }
  const AVChannelLayout* same_count = nullptr;
  for (; list->nb_channels != 0; ++list) {
    if (av_channel_layout_compare(list, &in) == 0) return *list;
    if (!same_count && list->nb_channels == in.nb_channels) same_count = list;
  }
  if (same_count) return *same_count;
  return std::nullopt;
}

std::string SupportedChannelCounts(const AVCodec* codec) {
  if (!codec->ch_layouts) return "1 to " + std::to_string(kMaxAacChannels);
  std::string s;
  int last = 0;
  for (const AVChannelLayout* l = codec->ch_layouts; l && l->nb_channels != 0; ++l) {
    if (l->nb_channels == last) continue;
    last = l->nb_channels;
    s += (s.empty() ? "" : ", ") + std::to_string(last);
  }
  return s;
}

}  // namespace

int ChooseEncoderRate(int input_rate) {
  const int* rates = NativeAac()->supported_samplerates;
  if (!rates) return input_rate;
  int above = INT_MAX;
  int highest = 0;
  for (const int* r = rates; *r != 0; ++r) {
    if (*r == input_rate) return input_rate;
    if (*r > input_rate) above = std::min(above, *r);
    highest = std::max(highest, *r);
  }
  return above != INT_MAX ? above : highest;
}

AacWriter::AacWriter(const WavFormat& input, const EncodeSettings& settings, const Tags& tags,
                     OutputFile& out)
    : out_(out), mp4_(settings.mp4) {
  AVFormatContext* mux = nullptr;
  const int err = avformat_alloc_output_context2(&mux, nullptr, mp4_ ? "ipod" : "adts",
                                                 out_.target().c_str());
  if (err < 0 || !mux) Fail("cannot set up the muxer", err);
  mux_.reset(mux);
  mux_->pb = out_.avio();

  OpenEncoder(input, settings);
  OpenMuxer(tags);
}

void AacWriter::OpenEncoder(const WavFormat& input, const EncodeSettings& settings) {
  const AVCodec* codec = NativeAac();
  ctx_.reset(avcodec_alloc_context3(codec));
  if (!ctx_) Fail("cannot set up the AAC encoder", AVERROR(ENOMEM));

  AVChannelLayout in_layout = InputLayout(input);
  auto layout = EncoderLayout(codec, in_layout);
  if (!layout) {
    av_channel_layout_uninit(&in_layout);
    throw EncodeError(out_.target() + ": " + std::to_string(input.channels) +
                      " channels cannot be encoded (the AAC encoder takes " +
                      SupportedChannelCounts(codec) + ")");
  }
  const int rate = ChooseEncoderRate(static_cast<int>(input.rate));

  ctx_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  ctx_->sample_rate = rate;
  av_channel_layout_copy(&ctx_->ch_layout, &*layout);
  av_channel_layout_uninit(&in_layout);  // `layout` may share it; the context has its own copy now
  ctx_->time_base = AVRational{1, rate};
  ctx_->profile = FF_PROFILE_AAC_LOW;
  if (settings.mode == RateMode::Quality) {
    // The encoder's rate-distortion lambda; quality 100 is its usual 120 (ffmpeg's -q:a 1.0).
    ctx_->flags |= AV_CODEC_FLAG_QSCALE;
    ctx_->global_quality = settings.quality * FF_QP2LAMBDA / 100;
  } else {
    ctx_->bit_rate = int64_t{settings.bitrate_kbps} * 1000;
  }
  if (mux_->oformat->flags & AVFMT_GLOBALHEADER) ctx_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  int err = avcodec_open2(ctx_.get(), codec, nullptr);
  if (err < 0) {
    Fail("cannot open the AAC encoder for " + std::to_string(input.channels) + " channels at " +
             std::to_string(rate) + " Hz",
         err);
  }

  if (rate != static_cast<int>(input.rate)) {
    SwrContext* swr = nullptr;
    err = swr_alloc_set_opts2(&swr, &ctx_->ch_layout, AV_SAMPLE_FMT_FLTP, rate, &ctx_->ch_layout,
                              AV_SAMPLE_FMT_FLTP, static_cast<int>(input.rate), 0, nullptr);
    swr_.reset(swr);
    if (err >= 0) err = swr_init(swr_.get());
    if (err < 0) Fail("cannot set up the resampler", err);
  }

  fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, ctx_->ch_layout.nb_channels,
                                  ctx_->frame_size * 4));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!fifo_ || !frame_ || !packet_) Fail("out of memory", AVERROR(ENOMEM));
  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->sample_rate = rate;
  frame_->nb_samples = ctx_->frame_size;
  av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout);
  err = av_frame_get_buffer(frame_.get(), 0);
  if (err < 0) Fail("out of memory", err);
}

void AacWriter::OpenMuxer(const Tags& tags) {
  stream_ = avformat_new_stream(mux_.get(), nullptr);
  if (!stream_) Fail("cannot set up the muxer", AVERROR(ENOMEM));
  int err = avcodec_parameters_from_context(stream_->codecpar, ctx_.get());
  if (err < 0) Fail("cannot set up the muxer", err);
  stream_->time_base = ctx_->time_base;

  if (mp4_) {
    const auto put = [&](const char* key, const std::optional<std::string>& value) {
      if (value && !value->empty()) {
        av_dict_set(&mux_->metadata, key, ToUtf8(*value).c_str(), 0);
      }
    };
    put("title", tags.title);
    put("artist", tags.artist);
    put("album", tags.album);
    put("date", tags.year);
    put("genre", tags.genre);
    av_dict_set(&mux_->metadata, "encoding_tool", ToolName().c_str(), 0);
  }

  // The movie's clock runs at the sample rate, so that the edit list and the track's duration
  // end on the last sample instead of the millisecond before it.
  AVDictionary* options = nullptr;
  if (mp4_) av_dict_set_int(&options, "movie_timescale", ctx_->sample_rate, 0);
  err = avformat_write_header(mux_.get(), &options);
  av_dict_free(&options);
  if (err < 0) Fail("cannot write the file header", err);
  out_.FlushAvio();
}

void AacWriter::Write(const float* const* planes, size_t frames) {
  if (frames == 0) return;
  if (frames > (1u << 24)) Fail("internal error: block too large", AVERROR_BUG);
  const int n = static_cast<int>(frames);
  if (swr_) {
    Resample(reinterpret_cast<const uint8_t* const*>(planes), n);
  } else if (av_audio_fifo_write(fifo_.get(),
                                 reinterpret_cast<void**>(const_cast<float**>(planes)), n) < n) {
    Fail("out of memory", AVERROR(ENOMEM));
  }
  EncodeFromFifo(false);
}

void AacWriter::Resample(const uint8_t* const* in, int n) {
  const int ch = ctx_->ch_layout.nb_channels;
  // in == nullptr drains the resampler's delay; loop until it gives nothing more.
  for (;;) {
    const int cap = std::max(swr_get_out_samples(swr_.get(), n), ctx_->frame_size);
    resampled_.resize(static_cast<size_t>(cap) * ch);
    resampled_planes_.resize(ch);
    for (int c = 0; c < ch; ++c) resampled_planes_[c] = resampled_.data() + size_t(c) * cap;
    const int got = swr_convert(swr_.get(), reinterpret_cast<uint8_t**>(resampled_planes_.data()),
                                cap, const_cast<const uint8_t**>(in), n);
    if (got < 0) Fail("resampling failed", got);
    if (got > 0 &&
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(resampled_planes_.data()), got) < got) {
      Fail("out of memory", AVERROR(ENOMEM));
    }
    if (in || got == 0) return;
  }
}

void AacWriter::EncodeFromFifo(bool final) {
  const int frame_size = ctx_->frame_size;
  for (;;) {
    const int avail = av_audio_fifo_size(fifo_.get());
    if (avail == 0 || (avail < frame_size && !final)) return;
    const int n = std::min(avail, frame_size);
    int err = av_frame_make_writable(frame_.get());
    if (err < 0) Fail("out of memory", err);
    frame_->nb_samples = n;
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), n) < n) {
      Fail("internal error: audio buffer", AVERROR_BUG);
    }
    frame_->pts = next_pts_;
    next_pts_ += n;
    SendFrame(frame_.get());
  }
}

void AacWriter::SendFrame(AVFrame* frame) {
  const int err = avcodec_send_frame(ctx_.get(), frame);
  if (err < 0) Fail("AAC encoder error", err);
  WritePackets();
}

void AacWriter::WritePackets() {
  for (;;) {
    int err = avcodec_receive_packet(ctx_.get(), packet_.get());
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
    if (err < 0) Fail("AAC encoder error", err);
    av_packet_rescale_ts(packet_.get(), ctx_->time_base, stream_->time_base);
    packet_->stream_index = stream_->index;
    samples_coded_ += ctx_->frame_size;
    err = av_write_frame(mux_.get(), packet_.get());
    av_packet_unref(packet_.get());
    if (err < 0) Fail("cannot write the output file", err);
  }
}

void AacWriter::Finish() {
  if (swr_) Resample(nullptr, 0);  // the resampler's last samples
  EncodeFromFifo(true);
  SendFrame(nullptr);
  int err = av_write_trailer(mux_.get());
  if (err < 0) Fail("cannot finish the output file", err);
  out_.FlushAvio();
  if (!mp4_) return;
  const int64_t priming = ctx_->initial_padding;
  const int64_t padding = std::max<int64_t>(0, samples_coded_ - priming - next_pts_);
  const Bytes smpb = ITunSmpbItem(static_cast<uint32_t>(priming), static_cast<uint32_t>(padding),
                                  static_cast<uint64_t>(next_pts_));
  AppendIlstItemsToFile(out_.fd(), smpb, out_.target());
}

void AacWriter::Fail(const std::string& what, int averr) const {
  std::string msg = out_.target() + ": " + what;
  if (averr < 0) msg += ": " + AvErrorText(averr);
  throw EncodeError(msg);
}

}  // namespace encoder
