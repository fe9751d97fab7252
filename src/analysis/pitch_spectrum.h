// The pitch-class profile of one window of the analysed (decimated, mono) signal: a Hann window,
// a real FFT through FFmpeg's av_tx, and each bin's magnitude added to the pitch class it lies in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct AVTXContext;

namespace analysis {

class PitchSpectrum {
 public:
  static constexpr uint32_t kWindow = 2048;  // analysed samples per spectrum (about 0.19 s at 11 kHz)

  // `analysedRate`: samples per second of what is transformed.
  explicit PitchSpectrum(double analysedRate);
  ~PitchSpectrum();
  PitchSpectrum(const PitchSpectrum&) = delete;
  PitchSpectrum& operator=(const PitchSpectrum&) = delete;

  // The summed magnitude per pitch class (C, C#, ... B) of the kWindow samples of `ring` taken
  // from `oldest` on, wrapping at its end (the ring holds kWindow samples).
  std::array<float, 12> Classes(const float* ring, size_t oldest);

 private:
  struct AvFree {
    void operator()(void* p) const;
  };
  struct TxFree {
    void operator()(AVTXContext* p) const;
  };
  using TxFn = void (*)(AVTXContext*, void*, void*, std::ptrdiff_t);

  std::unique_ptr<AVTXContext, TxFree> tx_;
  TxFn transform_ = nullptr;
  std::unique_ptr<float, AvFree> input_;     // kWindow windowed samples, aligned for av_tx
  std::unique_ptr<float, AvFree> spectrum_;  // kWindow / 2 + 1 complex bins, re and im interleaved
  std::vector<float> window_;                // the Hann window
  // The bins that are counted, bins [firstBin_, lastBin_] (one stretch of frequencies), and per
  // bin from firstBin_ its pitch class.
  uint32_t firstBin_ = 1, lastBin_ = 0;
  std::vector<uint8_t> pitchClass_;
};

}  // namespace analysis
