// The benchmarks' common baseline: FFmpeg's single-threaded decode of a whole file through
// libavformat/libavcodec (thread_count 1), converted to interleaved 16-bit with libswresample and
// discarded, which is what `ffmpeg -threads 1 -i f -f null -` does without the program's start-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "bench_util.h"

namespace bench {

// FFmpeg's decode of the whole file on one thread, into 16-bit interleaved samples.
inline bool FfmpegDecodeOnce(const std::string& path, double* wall, double* cpu, int64_t* framesOut) {
  const double cpu0 = bench::ProcessCpuSeconds();
  const auto t0 = bench::Clock::now();
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) != 0) return false;
  bool ok = avformat_find_stream_info(fmt, nullptr) >= 0;
  const AVCodec* codec = nullptr;
  const int index = ok ? av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0) : -1;
  AVCodecContext* ctx = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
  SwrContext* swr = nullptr;
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<int16_t> out;
  int64_t frames = 0;
  ok = ctx != nullptr && avcodec_parameters_to_context(ctx, fmt->streams[index]->codecpar) >= 0;
  if (ok) {
    ctx->thread_count = 1;
    ok = avcodec_open2(ctx, codec, nullptr) == 0;
  }
  auto drain = [&]() {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      if (swr == nullptr) {
        if (swr_alloc_set_opts2(&swr, &frame->ch_layout, AV_SAMPLE_FMT_S16, frame->sample_rate, &frame->ch_layout,
                                AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr) < 0 ||
            swr_init(swr) < 0)
          return false;
      }
      out.resize(size_t(frame->nb_samples) * size_t(frame->ch_layout.nb_channels));
      auto* dst = reinterpret_cast<uint8_t*>(out.data());
      const int got = swr_convert(swr, &dst, frame->nb_samples, const_cast<const uint8_t**>(frame->extended_data),
                                  frame->nb_samples);
      if (got < 0) return false;
      frames += got;
    }
    return true;
  };
  while (ok && av_read_frame(fmt, pkt) >= 0) {
    if (pkt->stream_index == index) ok = avcodec_send_packet(ctx, pkt) >= 0 && drain();
    av_packet_unref(pkt);
  }
  if (ok) {
    avcodec_send_packet(ctx, nullptr);
    ok = drain();
  }
  av_frame_free(&frame);
  av_packet_free(&pkt);
  swr_free(&swr);
  avcodec_free_context(&ctx);
  avformat_close_input(&fmt);
  *wall = bench::Seconds(t0, bench::Clock::now());
  *cpu = bench::ProcessCpuSeconds() - cpu0;
  *framesOut = frames;
  return ok && frames > 0;
}

}  // namespace bench
