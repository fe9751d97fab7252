#include "analysis/features.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace analysis {

namespace {

constexpr uint32_t kWindow = PitchSpectrum::kWindow;
constexpr uint32_t kAnalysedRate = 11025;

}  // namespace

FeatureGatherer::FeatureGatherer(uint32_t rate, uint32_t channels)
    : channels_(std::clamp<uint32_t>(channels, 1, 32)),
      decimation_(std::max<uint32_t>(1, rate / kAnalysedRate)),
      ring_(kWindow, 0.0f),
      spectrum_(static_cast<double>(rate) / std::max<uint32_t>(1, rate / kAnalysedRate)),
      bandLevels_(static_cast<double>(rate) / std::max<uint32_t>(1, rate / kAnalysedRate)) {
  out_.rate = rate;
  out_.pulseFrames = std::max<uint32_t>(1, rate / 100);
  out_.hopFrames = out_.pulseFrames * kPulsesPerHop;
  mono_.resize(out_.pulseFrames);
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

template <class MonoAt>
void FeatureGatherer::Consume(MonoAt mono, size_t count) {
  const uint32_t d = decimation_;
  const float toUnit = 1.0f / (32768.0f * static_cast<float>(channels_) * static_cast<float>(d));
  float* ring = ring_.data();
  size_t pos = ringPos_;
  int64_t squares = 0;
  size_t i = 0;
  if (decimFill_ > 0) {  // the group the last run left open
    for (; i < count && decimFill_ < d; ++i, ++decimFill_) {
      const int32_t m = mono(i);
      squares += int64_t{m} * m;
      decimSum_ += m;
    }
    if (decimFill_ == d) {
      ring[pos] = static_cast<float>(decimSum_) * toUnit;
      pos = (pos + 1) & (kWindow - 1);
      decimSum_ = 0;
      decimFill_ = 0;
    }
  }
  if (d == 4) {  // 44.1 and 48 kHz
    for (; i + 4 <= count; i += 4) {
      const int32_t a = mono(i), b = mono(i + 1), c = mono(i + 2), e = mono(i + 3);
      squares += int64_t{a} * a + int64_t{b} * b + int64_t{c} * c + int64_t{e} * e;
      ring[pos] = static_cast<float>(a + b + c + e) * toUnit;
      pos = (pos + 1) & (kWindow - 1);
    }
  }
  for (; i + d <= count; i += d) {
    int32_t sum = 0;
    for (uint32_t k = 0; k < d; ++k) {
      const int32_t m = mono(i + k);
      squares += int64_t{m} * m;
      sum += m;
    }
    ring[pos] = static_cast<float>(sum) * toUnit;
    pos = (pos + 1) & (kWindow - 1);
  }
  for (; i < count; ++i, ++decimFill_) {  // a group left open for the next run
    const int32_t m = mono(i);
    squares += int64_t{m} * m;
    decimSum_ += m;
  }
  ringPos_ = pos;
  pulseSquares_ += squares;
}

void FeatureGatherer::PushFrames(const int16_t* s, size_t frames) {
  const uint32_t ch = channels_;
  out_.frames += static_cast<int64_t>(frames);
  int32_t* mono = mono_.data();
  while (frames > 0) {
    // Up to the end of the running pulse: the channels summed, the squares and the decimation
    // in one pass over the run, without a test per frame.
    const size_t run = std::min<size_t>(frames, out_.pulseFrames - pulseFill_);
    if (ch == 2) {
      Consume([s](size_t f) { return int32_t{s[2 * f]} + s[2 * f + 1]; }, run);
    } else if (ch == 1) {
      Consume([s](size_t f) { return int32_t{s[f]}; }, run);
    } else {
      for (size_t f = 0; f < run; ++f) {
        int32_t sum = 0;
        for (uint32_t c = 0; c < ch; ++c) sum += s[f * ch + c];
        mono[f] = sum;
      }
      Consume([mono](size_t f) { return mono[f]; }, run);
    }
    s += run * ch;
    pulseFill_ += static_cast<uint32_t>(run);
    frames -= run;
    if (pulseFill_ == out_.pulseFrames) EndPulse();
  }
}

void FeatureGatherer::EndPulse() {
  const double scale = 32768.0 * channels_;
  const double sum = static_cast<double>(pulseSquares_) / (scale * scale);
  out_.pulses.push_back(static_cast<float>(sum / pulseFill_));
  out_.bands.push_back(bandLevels_.Levels(ring_.data(), kWindow, ringPos_));
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
  // The window ends with the hop: its oldest sample is the one about to be overwritten.
  const std::array<float, 12> pc = spectrum_.Classes(ring_.data(), ringPos_);
  const float top = *std::max_element(pc.begin(), pc.end());
  if (top > 0)
    for (size_t i = 0; i < 12; ++i) hop.chroma[i] = static_cast<uint8_t>(std::lround(255.0f * pc[i] / top));
  out_.hops.push_back(hop);
}

Features FeatureGatherer::Finish() {
  Features done = std::move(out_);
  out_ = Features{done.rate, done.pulseFrames, done.hopFrames, 0, {}, {}, {}};
  pulseFill_ = hopPulses_ = decimFill_ = 0;
  pulseSquares_ = 0;
  hopSum_ = 0;
  decimSum_ = 0;
  std::fill(ring_.begin(), ring_.end(), 0.0f);
  carryBytes_ = 0;
  return done;
}

}  // namespace analysis
