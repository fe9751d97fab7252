// Owning pointers for the FFmpeg objects the encoder uses.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace encoder {

struct CodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
// A muxing context; its AVIOContext is owned elsewhere (OutputFile).
struct MuxContextDeleter {
  void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using MuxContextPtr = std::unique_ptr<AVFormatContext, MuxContextDeleter>;

}  // namespace encoder
