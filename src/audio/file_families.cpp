#include "audio/file_families.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace audio::detail {

namespace {

bool FormatIs(const AVFormatContext* format, const char* name) {
  return std::strcmp(format->iformat->name, name) == 0;
}

bool IsMp4(const AVFormatContext* format) { return FormatIs(format, "mov,mp4,m4a,3gp,3g2,mj2"); }

bool IsWmaCodec(AVCodecID id) {
  return id == AV_CODEC_ID_WMAV1 || id == AV_CODEC_ID_WMAV2 || id == AV_CODEC_ID_WMAPRO ||
         id == AV_CODEC_ID_WMALOSSLESS || id == AV_CODEC_ID_WMAVOICE;
}

bool IsPcmCodec(AVCodecID id) {
  return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

}  // namespace

bool FamilyAccepts(Family family, const AVFormatContext* format, const AVCodecParameters* codec) {
  const AVCodecID id = codec->codec_id;
  switch (family) {
    case Family::Any:
      return true;
    case Family::WMA:
      return FormatIs(format, "asf") && IsWmaCodec(id);
    case Family::APE:
      return FormatIs(format, "ape") && id == AV_CODEC_ID_APE;
    case Family::AC3:
      return (FormatIs(format, "ac3") || FormatIs(format, "eac3")) &&
             (id == AV_CODEC_ID_AC3 || id == AV_CODEC_ID_EAC3);
    case Family::ALAC:
      return IsMp4(format) && id == AV_CODEC_ID_ALAC;
    case Family::AAC:
      return FormatIs(format, "aac") && id == AV_CODEC_ID_AAC;
    case Family::MP4:
      return IsMp4(format) && (id == AV_CODEC_ID_AAC || id == AV_CODEC_ID_ALAC);
    case Family::MPC:
      return (FormatIs(format, "mpc") || FormatIs(format, "mpc8")) &&
             (id == AV_CODEC_ID_MUSEPACK7 || id == AV_CODEC_ID_MUSEPACK8);
    case Family::FLAC:
      return (FormatIs(format, "flac") || FormatIs(format, "ogg")) && id == AV_CODEC_ID_FLAC;
  }
  return false;
}

FileTraits TraitsFor(const AVFormatContext* format, const AVCodecParameters* codec,
                     int64_t longest_rendered_seconds) {
  FileTraits traits;
  const AVCodecID id = codec->codec_id;
  // Lossy decoders need earlier packets to rebuild their state (MP3's bit reservoir, the
  // transform overlap of AAC, Vorbis and AC3); PCM needs none.
  traits.preroll = IsPcmCodec(id) ? 0 : 8192;
  if (FormatIs(format, "libopenmpt")) {
    // The renderer runs past the length it reports, so only a whole decode is exact. But a few
    // bytes of patterns can loop a song for hours, whose rendering would hold up the opening for
    // many seconds: a song reported longer than the limit keeps its reported length (the
    // renderer's last moments are cut).
    const int64_t longest = longest_rendered_seconds * AV_TIME_BASE;
    traits.length = format->duration > longest ? LengthRule::kStreamDuration : LengthRule::kFullDecode;
    traits.seek = SeekRule::kDecode;
    traits.rewinds = true;
  } else if (IsWmaCodec(id)) {
    traits.length = LengthRule::kFullDecode;  // the decoder drops its first block
    traits.seek = SeekRule::kDecode;          // ASF timestamps are whole milliseconds
  } else if (id == AV_CODEC_ID_MUSEPACK7 || id == AV_CODEC_ID_MUSEPACK8) {
    // SV8 packets hold many frames under one timestamp, and the decoder's state after a
    // demuxer seek differs from a straight decode's.
    traits.seek = SeekRule::kDecode;
  } else if (IsMp4(format) || FormatIs(format, "ogg") || FormatIs(format, "ape")) {
    traits.length = LengthRule::kStreamDuration;
    // An Ogg Opus stream's duration runs to its last granule position, which counts the pre-skip
    // that the decoder drops. (Its packets are no better: the last one is both shortened and
    // marked for trimming.)
    if (id == AV_CODEC_ID_OPUS && FormatIs(format, "ogg")) traits.skipped_at_start = codec->initial_padding;
  } else if (FormatIs(format, "matroska,webm")) {
    traits.packet_durations = false;
  }
  return traits;
}

}  // namespace audio::detail
