#include "audio/decoder_input.h"

#include "audio/engine.h"

namespace audio::detail {

namespace {

// Demuxers such as playlists or reference files would open other files or URLs; a file
// decoder reads its own file only.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

// Reopening the same bytes: the parameters the first opening's probe found are copied onto the
// stream instead of probing it again, which opens and runs a decoder (for AAC half a megabyte
// of state). Demuxers that find their streams while reading (MPEG-TS, FLV) are probed as before.
bool RestoreKnownStream(const InputRequest& request, AVFormatContext* ctx) {
  const int index = request.stream_index;
  if (!request.known || index < 0 || index >= static_cast<int>(ctx->nb_streams)) return false;
  if ((ctx->ctx_flags & AVFMTCTX_NOHEADER) != 0) return false;
  AVCodecParameters* par = ctx->streams[index]->codecpar;
  if (par->codec_id != request.known->codec_id) return false;
  return avcodec_parameters_copy(par, request.known.get()) >= 0;
}

}  // namespace

int DemuxInput::FailureOfARecognised() const {
  return probe_score > AVPROBE_SCORE_EXTENSION ? ERROR_DAMAGED : ERROR_FILEFORM;
}

int OpenDemuxer(const InputRequest& request, DemuxInput* out) {
  out->format.reset();
  out->stream_index = -1;
  out->io = request.memory != nullptr ? FileWindowIO::OpenMemory(request.memory, request.memory_size)
                                      : FileWindowIO::Open(request.path, request.offset, request.length);
  if (!out->io) return ERROR_FILEOPEN;
  if (out->io->Size() == 0) return ERROR_FILEFORM;

  AVFormatContext* ctx = avformat_alloc_context();
  if (ctx == nullptr) return ERROR_MEM;
  ctx->pb = out->io->Context();
  ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
  ctx->io_open = &RefuseNestedOpen;
  // A format the probe recognises but whose header does not open is damaged, not unknown.
  const AVInputFormat* format = request.format;
  out->probe_score = AVPROBE_SCORE_MAX;
  if (format == nullptr) {
    out->probe_score = av_probe_input_buffer2(ctx->pb, &format, request.path.c_str(), nullptr, 0, 0);
    if (out->probe_score < 0) {
      avformat_free_context(ctx);
      return ERROR_FILEFORM;
    }
  }
  // On failure avformat_open_input frees the context (not our I/O).
  if (avformat_open_input(&ctx, request.path.c_str(), format, nullptr) < 0) return out->FailureOfARecognised();
  out->format.reset(ctx);

  if (!RestoreKnownStream(request, ctx) && request.find_stream_info && avformat_find_stream_info(ctx, nullptr) < 0) {
    return out->FailureOfARecognised();
  }

  int index = request.stream_index;
  if (index < 0) {
    index = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return ERROR_NOTAUDIO;
  }
  if (index >= static_cast<int>(ctx->nb_streams) ||
      ctx->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
    return ERROR_NOTAUDIO;
  }
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    ctx->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  out->stream_index = index;
  return ERROR_OK;
}

CodecContextPtr OpenAudioDecoder(const AVStream* stream, int* error) {
  const AVCodecParameters* par = stream->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (codec == nullptr) {
    *error = ERROR_FILEFORM;
    return nullptr;
  }
  CodecContextPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx) {
    *error = ERROR_MEM;
    return nullptr;
  }
  if (avcodec_parameters_to_context(ctx.get(), par) < 0) {
    *error = ERROR_FILEFORM;
    return nullptr;
  }
  ctx->pkt_timebase = stream->time_base;
  ctx->thread_count = 1;
  AVDictionary* opts = nullptr;
  if (par->codec_id == AV_CODEC_ID_AC3 || par->codec_id == AV_CODEC_ID_EAC3) {
    // Noise seeded per frame from the frame itself: a decode after a seek matches a straight one.
    av_dict_set(&opts, "cons_noisegen", "1", 0);
  }
  const int rc = avcodec_open2(ctx.get(), codec, &opts);
  av_dict_free(&opts);
  if (rc < 0) {
    *error = ERROR_FILEFORM;
    return nullptr;
  }
  return ctx;
}

}  // namespace audio::detail
