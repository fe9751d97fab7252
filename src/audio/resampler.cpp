#include "audio/resampler.h"

#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace audio::detail {

std::vector<double> ChannelMatrix(uint32_t inChans, uint32_t outChans, bool downmix) {
  std::vector<double> m(static_cast<size_t>(inChans) * outChans, 0.0);
  if (inChans == 1) {
    for (uint32_t o = 0; o < outChans; ++o) m[o] = 1.0;
    return m;
  }
  if (downmix && inChans != outChans) {
    AVChannelLayout inLayout{}, outLayout{};
    av_channel_layout_default(&inLayout, static_cast<int>(inChans));
    av_channel_layout_default(&outLayout, static_cast<int>(outChans));
    // libswresample fills a matrix of its own maximum size: build there, then keep our part.
    constexpr int kMax = 64;
    std::vector<double> full(kMax * kMax, 0.0);
    const int rc = swr_build_matrix2(&inLayout, &outLayout, M_SQRT1_2, M_SQRT1_2, 0.0, 1.0, 1.0,
                                     full.data(), kMax, AV_MATRIX_ENCODING_NONE, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc == 0) {
      for (uint32_t o = 0; o < outChans; ++o) {
        for (uint32_t i = 0; i < inChans; ++i) m[o * inChans + i] = full[o * kMax + i];
      }
      return m;
    }
    std::fill(m.begin(), m.end(), 0.0);
  }
  for (uint32_t c = 0; c < inChans && c < outChans; ++c) m[static_cast<size_t>(c) * inChans + c] = 1.0;
  return m;
}

Resampler::Resampler(const Format& in, uint32_t outRate, uint32_t outChans)
    : in_(in), outRate_(outRate), outChans_(outChans) {}

std::unique_ptr<Resampler> Resampler::Create(const Format& in, uint32_t outRate, uint32_t outChans,
                                             bool downmix) {
  if (in.rate == 0 || in.chans == 0 || outRate == 0 || outChans == 0) return nullptr;
  std::unique_ptr<Resampler> r(new Resampler(in, outRate, outChans));
  r->matrix_ = ChannelMatrix(in.chans, outChans, downmix);
  if (!r->Init()) return nullptr;
  return r;
}

bool Resampler::Init() {
  AVChannelLayout inLayout{}, outLayout{};
  // Unspecified layouts: the matrix below says how the channels map.
  av_channel_layout_default(&inLayout, static_cast<int>(in_.chans));
  av_channel_layout_default(&outLayout, static_cast<int>(outChans_));
  SwrContext* raw = nullptr;
  const int rc = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, static_cast<int>(outRate_),
                                     &inLayout, in_.isFloat ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16,
                                     static_cast<int>(in_.rate), 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  if (rc < 0 || raw == nullptr) return false;
  swr_.reset(raw);
  // High quality: a long windowed-sinc filter with many phases.
  av_opt_set_int(raw, "filter_size", 64, 0);
  av_opt_set_int(raw, "phase_shift", 12, 0);
  av_opt_set_int(raw, "linear_interp", 1, 0);
  av_opt_set_double(raw, "cutoff", 0.97, 0);
  av_opt_set_int(raw, "exact_rational", 1, 0);
  if (swr_set_matrix(raw, matrix_.data(), static_cast<int>(in_.chans)) < 0) return false;
  return swr_init(raw) >= 0;
}

size_t Resampler::Convert(const void* in, size_t frames, float* out, size_t capacity) {
  const auto* inPlane = static_cast<const uint8_t*>(in);
  auto* outPlane = reinterpret_cast<uint8_t*>(out);
  const int n = swr_convert(swr_.get(), &outPlane, static_cast<int>(capacity), &inPlane,
                            static_cast<int>(frames));
  return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t Resampler::Flush(float* out, size_t capacity) {
  auto* outPlane = reinterpret_cast<uint8_t*>(out);
  const int n = swr_convert(swr_.get(), &outPlane, static_cast<int>(capacity), nullptr, 0);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

void Resampler::Reset() {
  swr_close(swr_.get());
  swr_set_matrix(swr_.get(), matrix_.data(), static_cast<int>(in_.chans));
  swr_init(swr_.get());
}

size_t Resampler::MaxOutput(size_t frames) const {
  const int n = swr_get_out_samples(swr_.get(), static_cast<int>(frames));
  return n > 0 ? static_cast<size_t>(n) : 0;
}

int64_t Resampler::DelayFrames() const { return swr_get_delay(swr_.get(), in_.rate); }

}  // namespace audio::detail
