#include "audio/sample_converter.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace audio::detail {

namespace {

// 32-bit integers (24-bit sources) to 16 bits, rounded to nearest and clipped.
inline int16_t RoundS32ToS16(int32_t v) {
  const int64_t r = (static_cast<int64_t>(v) + 0x8000) >> 16;
  return static_cast<int16_t>(std::clamp<int64_t>(r, -32768, 32767));
}

}  // namespace

bool SampleConverter::Configure(AVSampleFormat in_format, int rate) {
  if (swr_ && in_format == swr_in_ && rate == swr_rate_) return true;
  swr_.reset();
  AVChannelLayout layout;
  av_channel_layout_default(&layout, channels_);
  SwrContext* ctx = nullptr;
  const AVSampleFormat out_format = kind_ == SampleKind::S16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
  // Same layout and rate on both sides: a pure sample-format conversion.
  const int rc = swr_alloc_set_opts2(&ctx, &layout, out_format, rate, &layout, in_format, rate, 0, nullptr);
  av_channel_layout_uninit(&layout);
  if (rc < 0 || ctx == nullptr) return false;
  swr_.reset(ctx);
  if (swr_init(ctx) < 0) {
    swr_.reset();
    return false;
  }
  swr_in_ = in_format;
  swr_rate_ = rate;
  return true;
}

int SampleConverter::Convert(const AVFrame* frame, std::vector<uint8_t>* out) {
  const int n = frame->nb_samples;
  if (n <= 0 || frame->ch_layout.nb_channels != channels_) return -1;
  const size_t bytes = static_cast<size_t>(n) * BytesPerFrame();
  if (out->size() < bytes) out->resize(bytes);
  const auto format = static_cast<AVSampleFormat>(frame->format);

  if ((kind_ == SampleKind::S16 && format == AV_SAMPLE_FMT_S16) ||
      (kind_ == SampleKind::F32 && format == AV_SAMPLE_FMT_FLT)) {
    std::memcpy(out->data(), frame->extended_data[0], bytes);
    return n;
  }
  if (kind_ == SampleKind::S16 && (format == AV_SAMPLE_FMT_S32 || format == AV_SAMPLE_FMT_S32P)) {
    auto* dst = reinterpret_cast<int16_t*>(out->data());
    const int ch = channels_;
    if (format == AV_SAMPLE_FMT_S32) {
      const auto* src = reinterpret_cast<const int32_t*>(frame->extended_data[0]);
      for (int i = 0; i < n * ch; ++i) dst[i] = RoundS32ToS16(src[i]);
    } else {
      for (int c = 0; c < ch; ++c) {
        const auto* src = reinterpret_cast<const int32_t*>(frame->extended_data[c]);
        for (int i = 0; i < n; ++i) dst[i * ch + c] = RoundS32ToS16(src[i]);
      }
    }
    return n;
  }
  if (!Configure(format, frame->sample_rate > 0 ? frame->sample_rate : 44100)) return -1;
  uint8_t* dst[1] = {out->data()};
  const int got = swr_convert(swr_.get(), dst, n, const_cast<const uint8_t**>(frame->extended_data), n);
  return got == n ? n : -1;
}

}  // namespace audio::detail
