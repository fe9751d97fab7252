#include "analysis/features.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace analysis {

namespace {

constexpr uint32_t kWindow = 2048;     // analysed samples per spectrum (about 0.19 s at 11 kHz)
constexpr uint32_t kHalf = kWindow / 2;  // the real spectrum is taken with a complex FFT of half size
constexpr uint32_t kAnalysedRate = 11025;
constexpr double kLowestHz = 100;      // below, the bins are too coarse to tell semitones apart
constexpr double kHighestHz = 4200;

// In-place radix-2 FFT of kHalf points with precomputed tables.
void Transform(std::vector<std::complex<float>>& a, const std::vector<std::complex<float>>& twiddle,
               const std::vector<uint32_t>& reversed) {
  const size_t n = a.size();
  for (size_t i = 0; i < n; ++i)
    if (i < reversed[i]) std::swap(a[i], a[reversed[i]]);
  for (size_t len = 2; len <= n; len <<= 1) {
    const size_t half = len / 2, step = 2 * n / len;  // the table is of the full window's angles
    for (size_t i = 0; i < n; i += len) {
      for (size_t k = 0; k < half; ++k) {
        const std::complex<float> t = a[i + k + half] * twiddle[k * step];
        a[i + k + half] = a[i + k] - t;
        a[i + k] += t;
      }
    }
  }
}

}  // namespace

FeatureGatherer::FeatureGatherer(uint32_t rate, uint32_t channels)
    : channels_(std::clamp<uint32_t>(channels, 1, 32)),
      decimation_(std::max<uint32_t>(1, rate / kAnalysedRate)),
      ring_(kWindow, 0.0f),
      fft_(kHalf),
      twiddle_(kWindow / 2),
      reversed_(kHalf),
      window_(kWindow),
      pitchClass_(kWindow / 2, -1) {
  out_.rate = rate;
  out_.pulseFrames = std::max<uint32_t>(1, rate / 100);
  out_.hopFrames = out_.pulseFrames * kPulsesPerHop;
  uint32_t bits = 0;
  while ((1u << bits) < kHalf) ++bits;
  for (uint32_t i = 0; i < kHalf; ++i) {
    uint32_t r = 0;
    for (uint32_t b = 0; b < bits; ++b)
      if (i & (1u << b)) r |= 1u << (bits - 1 - b);
    reversed_[i] = r;
  }
  for (uint32_t i = 0; i < kWindow; ++i)
    window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / kWindow));
  for (uint32_t k = 0; k < kWindow / 2; ++k)
    twiddle_[k] = std::polar(1.0f, static_cast<float>(-2 * std::numbers::pi * k / kWindow));
  const double analysed = static_cast<double>(rate) / decimation_;
  for (uint32_t k = 1; k < kWindow / 2; ++k) {
    const double hz = k * analysed / kWindow;
    if (hz < kLowestHz || hz > kHighestHz || hz > 0.45 * analysed) continue;
    const long midi = std::lround(69 + 12 * std::log2(hz / 440.0));
    pitchClass_[k] = static_cast<int8_t>(((midi % 12) + 12) % 12);
  }
}

void FeatureGatherer::Push(const void* data, size_t bytes) {
  const size_t frameBytes = channels_ * sizeof(int16_t);
  auto* p = static_cast<const uint8_t*>(data);
  if (carryBytes_ > 0) {
    const size_t take = std::min(bytes, frameBytes - carryBytes_);
    std::memcpy(carry_.data() + carryBytes_, p, take);
    carryBytes_ += take;
    p += take;
    bytes -= take;
    if (carryBytes_ < frameBytes) return;
    int16_t frame[32];
    std::memcpy(frame, carry_.data(), frameBytes);
    PushFrames(frame, 1);
    carryBytes_ = 0;
  }
  const size_t whole = bytes / frameBytes;
  if (reinterpret_cast<uintptr_t>(p) % alignof(int16_t) == 0) {
    PushFrames(reinterpret_cast<const int16_t*>(p), whole);
  } else {
    int16_t frame[32];
    for (size_t i = 0; i < whole; ++i) {
      std::memcpy(frame, p + i * frameBytes, frameBytes);
      PushFrames(frame, 1);
    }
  }
  carryBytes_ = bytes - whole * frameBytes;
  std::memcpy(carry_.data(), p + whole * frameBytes, carryBytes_);
}

void FeatureGatherer::PushFrames(const int16_t* s, size_t frames) {
  const uint32_t ch = channels_;
  const float toUnit = 1.0f / (32768.0f * static_cast<float>(ch) * static_cast<float>(decimation_));
  out_.frames += static_cast<int64_t>(frames);
  while (frames > 0) {
    // Up to the end of the running pulse, without a test of it per frame.
    const size_t run = std::min<size_t>(frames, out_.pulseFrames - pulseFill_);
    int64_t squares = 0;
    for (size_t f = 0; f < run; ++f, s += ch) {
      int32_t mono = s[0];
      for (uint32_t c = 1; c < ch; ++c) mono += s[c];
      squares += int64_t{mono} * mono;
      decimSum_ += mono;
      if (++decimFill_ == decimation_) {
        ring_[ringPos_] = static_cast<float>(decimSum_) * toUnit;
        ringPos_ = (ringPos_ + 1) & (kWindow - 1);
        decimSum_ = 0;
        decimFill_ = 0;
      }
    }
    pulseSquares_ += squares;
    pulseFill_ += static_cast<uint32_t>(run);
    frames -= run;
    if (pulseFill_ == out_.pulseFrames) EndPulse();
  }
}

void FeatureGatherer::EndPulse() {
  const double scale = 32768.0 * channels_;
  const double sum = static_cast<double>(pulseSquares_) / (scale * scale);
  out_.pulses.push_back(static_cast<float>(sum / pulseFill_));
  hopSum_ += sum;
  pulseSquares_ = 0;
  pulseFill_ = 0;
  if (++hopPulses_ == kPulsesPerHop) EndHop();
}

void FeatureGatherer::EndHop() {
  Hop hop;
  hop.energy = static_cast<float>(hopSum_ / out_.hopFrames);
  hopSum_ = 0;
  hopPulses_ = 0;
  // The real window as kHalf complex points (even samples real, odd imaginary), transformed, then
  // each bin of the real spectrum put together from bins k and kHalf - k.
  for (uint32_t i = 0; i < kHalf; ++i) {
    const uint32_t a = 2 * i, b = 2 * i + 1;
    fft_[i] = {ring_[(ringPos_ + a) & (kWindow - 1)] * window_[a], ring_[(ringPos_ + b) & (kWindow - 1)] * window_[b]};
  }
  Transform(fft_, twiddle_, reversed_);
  std::array<float, 12> pc{};
  for (uint32_t k = 1; k < kHalf; ++k) {
    if (pitchClass_[k] < 0) continue;
    const std::complex<float> z = fft_[k], w = std::conj(fft_[kHalf - k]);
    const std::complex<float> even = 0.5f * (z + w), odd = std::complex<float>(0.0f, -0.5f) * (z - w);
    const std::complex<float> bin = even + twiddle_[k] * odd;
    pc[static_cast<size_t>(pitchClass_[k])] += std::sqrt(std::norm(bin));
  }
  const float top = *std::max_element(pc.begin(), pc.end());
  if (top > 0)
    for (size_t i = 0; i < 12; ++i) hop.chroma[i] = static_cast<uint8_t>(std::lround(255.0f * pc[i] / top));
  out_.hops.push_back(hop);
}

Features FeatureGatherer::Finish() {
  Features done = std::move(out_);
  out_ = Features{done.rate, done.pulseFrames, done.hopFrames, 0, {}, {}};
  pulseFill_ = hopPulses_ = decimFill_ = 0;
  pulseSquares_ = 0;
  hopSum_ = 0;
  decimSum_ = 0;
  std::fill(ring_.begin(), ring_.end(), 0.0f);
  carryBytes_ = 0;
  return done;
}

}  // namespace analysis
