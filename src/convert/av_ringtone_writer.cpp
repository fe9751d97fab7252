#include "convert/av_ringtone_writer.h"

#include <algorithm>

#include "encoder/errors.h"
#include "encoder/output_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
}

namespace convert {

namespace {

struct Recipe {
  const char* codec;
  const char* muxer;
  int quality;  // the encoder's VBR quality: libvorbis -q 5 (about 160 kbit/s), LAME -V 2 (about 190)
};

Recipe RecipeOf(RingtoneKind kind) {
  return kind == RingtoneKind::Mp3 ? Recipe{"libmp3lame", "mp3", 2} : Recipe{"libvorbis", "ogg", 5};
}

}  // namespace

struct AvRingtoneWriter::Impl {
  RingtoneKind kind;
  encoder::OutputFile out;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  std::vector<float> pending[kChannels];  // samples not yet a whole encoder frame
  int64_t pts = 0;

  Impl(RingtoneKind k, const std::string& target) : kind(k), out(target, false) {}
  ~Impl() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (format != nullptr) {
      format->pb = nullptr;  // the output file's own
      avformat_free_context(format);
    }
  }

  [[noreturn]] void Fail(const std::string& what, int err) const {
    throw encoder::EncodeError(out.target() + ": " + what + (err < 0 ? ": " + encoder::AvErrorText(err) : ""));
  }

  void Check(int rc, const char* what) const {
    if (rc < 0) Fail(what, rc);
  }

  // Takes what the encoder has ready into the file.
  void Drain() {
    for (;;) {
      const int rc = avcodec_receive_packet(codec, packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
      Check(rc, "cannot encode the sound");
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      Check(av_interleaved_write_frame(format, packet), "cannot write the output file");
    }
  }

  // Encodes `count` pending frames (a whole encoder frame, or the last, shorter one).
  void Encode(int count) {
    Check(av_frame_make_writable(frame), "cannot encode the sound");
    frame->nb_samples = count;
    for (int c = 0; c < kChannels; ++c) {
      std::copy_n(pending[c].begin(), count, reinterpret_cast<float*>(frame->data[c]));
      pending[c].erase(pending[c].begin(), pending[c].begin() + count);
    }
    frame->pts = pts;
    pts += count;
    Check(avcodec_send_frame(codec, frame), "cannot encode the sound");
    Drain();
  }
};

AvRingtoneWriter::AvRingtoneWriter(RingtoneKind kind, const std::string& target, const TagFields& tags)
    : impl_(std::make_unique<Impl>(kind, target)) {
  Impl& d = *impl_;
  const Recipe recipe = RecipeOf(kind);
  const AVCodec* codec = avcodec_find_encoder_by_name(recipe.codec);
  if (codec == nullptr) d.Fail(std::string("no ") + recipe.codec + " encoder", 0);
  d.codec = avcodec_alloc_context3(codec);
  d.frame = av_frame_alloc();
  d.packet = av_packet_alloc();
  if (d.codec == nullptr || d.frame == nullptr || d.packet == nullptr) d.Fail("out of memory", AVERROR(ENOMEM));
  d.codec->sample_rate = kRate;
  d.codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
  av_channel_layout_default(&d.codec->ch_layout, kChannels);
  d.codec->time_base = AVRational{1, kRate};
  d.codec->flags |= AV_CODEC_FLAG_QSCALE;
  d.codec->global_quality = recipe.quality * FF_QP2LAMBDA;

  d.Check(avformat_alloc_output_context2(&d.format, nullptr, recipe.muxer, nullptr), "cannot make the output file");
  if (d.format->oformat->flags & AVFMT_GLOBALHEADER) d.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  d.Check(avcodec_open2(d.codec, codec, nullptr), "cannot start the encoder");
  d.stream = avformat_new_stream(d.format, nullptr);
  if (d.stream == nullptr) d.Fail("out of memory", AVERROR(ENOMEM));
  d.Check(avcodec_parameters_from_context(d.stream->codecpar, d.codec), "cannot start the encoder");
  d.stream->time_base = d.codec->time_base;

  // The tags as the phone's player reads them: Vorbis comments in Ogg, ID3v2 frames in MP3.
  const bool android = kind == RingtoneKind::Android;
  AVDictionary** meta = android ? &d.stream->metadata : &d.format->metadata;
  if (tags.write) {
    const std::pair<const char*, const std::string*> fields[] = {{android ? "TITLE" : "title", &tags.title},
                                                                 {android ? "ARTIST" : "artist", &tags.artist},
                                                                 {android ? "ALBUM" : "album", &tags.album},
                                                                 {android ? "GENRE" : "genre", &tags.genre},
                                                                 {android ? "DATE" : "date", &tags.year}};
    for (const auto& [key, value] : fields)
      if (!value->empty()) av_dict_set(meta, key, value->c_str(), 0);
  }
  // Android's player loops a tone that says so without the gap between its plays.
  if (android) av_dict_set(meta, "ANDROID_LOOP", "true", 0);

  d.format->pb = d.out.avio();
  d.Check(avformat_write_header(d.format, nullptr), "cannot write the output file");

  d.frame->format = d.codec->sample_fmt;
  d.frame->sample_rate = kRate;
  d.Check(av_channel_layout_copy(&d.frame->ch_layout, &d.codec->ch_layout), "out of memory");
  d.frame->nb_samples = d.codec->frame_size > 0 ? d.codec->frame_size : 1024;
  d.Check(av_frame_get_buffer(d.frame, 0), "out of memory");
}

AvRingtoneWriter::~AvRingtoneWriter() = default;

void AvRingtoneWriter::Write(const int16_t* interleaved, size_t frames) {
  Impl& d = *impl_;
  for (int c = 0; c < kChannels; ++c) {
    std::vector<float>& p = d.pending[c];
    const size_t at = p.size();
    p.resize(at + frames);
    for (size_t i = 0; i < frames; ++i) p[at + i] = static_cast<float>(interleaved[i * kChannels + c]) / 32768.0f;
  }
  const int size = d.frame->nb_samples;
  while (d.pending[0].size() >= static_cast<size_t>(size)) d.Encode(size);
}

void AvRingtoneWriter::Finish() {
  Impl& d = *impl_;
  if (!d.pending[0].empty()) d.Encode(static_cast<int>(d.pending[0].size()));
  d.Check(avcodec_send_frame(d.codec, nullptr), "cannot encode the sound");
  d.Drain();
  d.Check(av_write_trailer(d.format), "cannot write the output file");
  d.out.Commit();
}

}  // namespace convert
