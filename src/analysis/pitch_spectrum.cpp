#include "analysis/pitch_spectrum.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

namespace analysis {

namespace {

constexpr double kLowestHz = 100;  // below, the bins are too coarse to tell semitones apart
constexpr double kHighestHz = 4200;

float* AllocFloats(size_t count) {
  auto* p = static_cast<float*>(av_malloc(count * sizeof(float)));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

// A power in steps of BandLevels::kStepDb above -100 dB, 0 to 255: 10 log10 of the power from
// its binary exponent and a cubic for the log of its mantissa (within 0.01 dB of the exact
// value, far inside a step), with no call to the library's logarithm.
uint8_t LevelStep(float power) {
  if (!(power > 1e-10f)) return 0;
  int exponent = 0;
  const float m = std::frexp(power, &exponent);  // power = m * 2^exponent, m in [0.5, 1)
  const float x = 2 * m - 1;                      // log2(2m) for 2m in [1, 2), by a fit
  const float log2m = x * (1.4425449f + x * (-0.7181452f + x * 0.2751149f)) - 1.0f;
  const float db = 3.0103f * (static_cast<float>(exponent) + log2m);
  return static_cast<uint8_t>(std::clamp(std::lround((db + 100) / static_cast<float>(BandLevels::kStepDb)), 0L, 255L));
}

}  // namespace

void HannRdft::AvFree::operator()(void* p) const { av_free(p); }

void HannRdft::TxFree::operator()(AVTXContext* p) const { av_tx_uninit(&p); }

HannRdft::HannRdft(uint32_t size) : input_(AllocFloats(size)), spectrum_(AllocFloats(size + 2)), window_(size) {
  AVTXContext* tx = nullptr;
  av_tx_fn fn = nullptr;
  const float scale = 1.0f;
  if (av_tx_init(&tx, &fn, AV_TX_FLOAT_RDFT, 0, static_cast<int>(size), &scale, 0) < 0 || tx == nullptr)
    throw std::bad_alloc();
  tx_.reset(tx);
  transform_ = fn;
  for (uint32_t i = 0; i < size; ++i)
    window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / size));
}

HannRdft::~HannRdft() = default;

const float* HannRdft::Transform() {
  transform_(tx_.get(), spectrum_.get(), input_.get(), sizeof(float));
  return spectrum_.get();
}

PitchSpectrum::PitchSpectrum(double analysedRate) : fft_(kWindow) {
  for (uint32_t k = 1; k < kWindow / 2; ++k) {
    const double hz = k * analysedRate / kWindow;
    if (hz < kLowestHz || hz > kHighestHz || hz > 0.45 * analysedRate) continue;
    if (lastBin_ < firstBin_) firstBin_ = k;
    lastBin_ = k;
    const long midi = std::lround(69 + 12 * std::log2(hz / 440.0));
    pitchClass_.resize(k - firstBin_ + 1, 0);
    pitchClass_[k - firstBin_] = static_cast<uint8_t>(((midi % 12) + 12) % 12);
  }
}

PitchSpectrum::~PitchSpectrum() = default;

std::array<float, 12> PitchSpectrum::Classes(const float* ring, size_t oldest) {
  float* in = fft_.input();
  const float* w = fft_.window().data();
  const size_t first = kWindow - oldest;  // samples from `oldest` to the ring's end
  for (size_t i = 0; i < first; ++i) in[i] = ring[oldest + i] * w[i];
  for (size_t i = first; i < kWindow; ++i) in[i] = ring[i - first] * w[i];
  const float* bins = fft_.Transform();
  std::array<float, 12> pc{};
  for (uint32_t k = firstBin_; k <= lastBin_; ++k) {
    const float re = bins[2 * k], im = bins[2 * k + 1];
    pc[pitchClass_[k - firstBin_]] += std::sqrt(re * re + im * im);
  }
  return pc;
}

BandLevels::BandLevels(double analysedRate) : fft_(kWindow) {
  float sum = 0;
  for (const float w : fft_.window()) sum += w;
  // A full-scale sine lies near 0 dB in its band.
  for (float& w : fft_.window()) w *= 2.0f / sum;
  const double hz[kBands + 1] = {30, 180, 500, 1400, 3200, 5500};
  for (size_t b = 0; b <= kBands; ++b)
    edges_[b] = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(hz[b] * kWindow / analysedRate)), 1, kWindow / 2);
  for (size_t b = 1; b <= kBands; ++b) edges_[b] = std::max(edges_[b], edges_[b - 1] + 1);
}

BandLevels::~BandLevels() = default;

std::array<uint8_t, BandLevels::kBands> BandLevels::Levels(const float* ring, size_t ringSize, size_t next) {
  float* in = fft_.input();
  const float* w = fft_.window().data();
  const size_t mask = ringSize - 1;
  const size_t from = (next + ringSize - kWindow) & mask;
  // The window in at most two straight runs of the ring, which the compiler vectorises.
  const size_t first = std::min<size_t>(kWindow, ringSize - from);
  for (size_t i = 0; i < first; ++i) in[i] = ring[from + i] * w[i];
  for (size_t i = first; i < kWindow; ++i) in[i] = ring[i - first] * w[i];
  const float* bins = fft_.Transform();
  std::array<uint8_t, kBands> out{};
  for (size_t b = 0; b < kBands; ++b) {
    float power = 0;
    for (uint32_t k = edges_[b]; k < edges_[b + 1]; ++k) power += bins[2 * k] * bins[2 * k] + bins[2 * k + 1] * bins[2 * k + 1];
    out[b] = LevelStep(power);
  }
  return out;
}

}  // namespace analysis
