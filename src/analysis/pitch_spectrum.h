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

// A real FFT of `size` samples through FFmpeg's av_tx, with a Hann window: the caller fills
// input() with windowed samples and Transform() gives size / 2 + 1 complex bins, re and im
// interleaved.
class HannRdft {
 public:
  explicit HannRdft(uint32_t size);
  ~HannRdft();
  HannRdft(const HannRdft&) = delete;
  HannRdft& operator=(const HannRdft&) = delete;

  float* input() { return input_.get(); }
  std::vector<float>& window() { return window_; }
  const float* Transform();

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
  std::unique_ptr<float, AvFree> input_;     // the windowed samples, aligned for av_tx
  std::unique_ptr<float, AvFree> spectrum_;  // the bins
  std::vector<float> window_;                // the Hann window
};

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
  HannRdft fft_;
  // The bins that are counted, bins [firstBin_, lastBin_] (one stretch of frequencies), and per
  // bin from firstBin_ its pitch class.
  uint32_t firstBin_ = 1, lastBin_ = 0;
  std::vector<uint8_t> pitchClass_;
};

// The level of a short window of the analysed signal in a few bands (bass and kick; low, middle
// and high voices; cymbals and hats), for the onsets beats are found in: a Hann window, av_tx's
// real FFT, each band's summed power in 0.5-dB steps.
class BandLevels {
 public:
  static constexpr uint32_t kWindow = 256;  // about 23 ms at 11 kHz
  static constexpr size_t kBands = 5;
  static constexpr double kStepDb = 0.5;    // a level of v is (v * kStepDb - 100) dB, 0 at or below -100

  explicit BandLevels(double analysedRate);
  ~BandLevels();
  BandLevels(const BandLevels&) = delete;
  BandLevels& operator=(const BandLevels&) = delete;

  // The band levels of the kWindow samples of `ring` (of `ringSize`, a power of two) ending just
  // before `next`.
  std::array<uint8_t, kBands> Levels(const float* ring, size_t ringSize, size_t next);

 private:
  HannRdft fft_;
  std::array<uint32_t, kBands + 1> edges_{};  // band b holds bins [edges_[b], edges_[b + 1])
};

}  // namespace analysis
