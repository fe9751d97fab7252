// What the suggested part is chosen from: per hop of about 0.2 s the energy in each of the 12
// pitch classes and the hop's loudness, and per pulse of about 10 ms the loudness and the level
// in five bands that onsets and beats are found in. Gathered block by block from decoded 16-bit PCM as it comes, in one pass.
//
// Memory: a hop keeps 16 bytes (18,000 hops an hour), a pulse 9 bytes (360,000 an hour): about
// 3.5 MB per hour of audio, whatever the rate and channels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/pitch_spectrum.h"

namespace analysis {

inline constexpr uint32_t kPulsesPerHop = 20;

struct Hop {
  std::array<uint8_t, 12> chroma{};  // pitch classes C, C#, ... B; the hop's strongest at 255
  float energy = 0;                  // mean square of the mono mix over the hop, full scale 1
};

struct Features {
  uint32_t rate = 0;         // frames per second
  uint32_t pulseFrames = 0;  // frames per pulse: rate / 100, at least 1
  uint32_t hopFrames = 0;    // frames per hop: kPulsesPerHop pulses
  int64_t frames = 0;        // frames fed in all
  std::vector<Hop> hops;     // hop k covers frames [k * hopFrames, (k + 1) * hopFrames)
  std::vector<float> pulses; // mean square per pulse, pulse n covers [n * pulseFrames, ...)
  // Per pulse, the band levels (BandLevels) of the 23 ms ending with it, low band first.
  std::vector<std::array<uint8_t, BandLevels::kBands>> bands;

  double Seconds() const { return rate == 0 ? 0.0 : static_cast<double>(frames) / rate; }
  double HopSeconds() const { return rate == 0 ? 0.0 : static_cast<double>(hopFrames) / rate; }
  double PulseSeconds() const { return rate == 0 ? 0.0 : static_cast<double>(pulseFrames) / rate; }
};

// Fed interleaved 16-bit blocks of any size; not thread-safe (one feeding thread).
class FeatureGatherer {
 public:
  FeatureGatherer(uint32_t rate, uint32_t channels);

  // `bytes` of interleaved samples in the stream's own format; a trailing partial frame is kept
  // for the next block.
  void Push(const void* data, size_t bytes);
  void PushFrames(const int16_t* interleaved, size_t frames);
  // What was gathered; the last partial hop and pulse are left out of the lists but counted in
  // `frames`. The gatherer is empty afterwards.
  Features Finish();

  size_t channels() const { return channels_; }

 private:
  // A run of `count` mono samples within one pulse, sample f being mono(f): their squares added
  // to the pulse, their sums of `decimation_` stored into the ring.
  template <class MonoAt>
  void Consume(MonoAt mono, size_t count);
  void EndPulse();
  void EndHop();

  uint32_t channels_;
  uint32_t decimation_;         // input frames per analysed sample (about 11 kHz analysed)
  Features out_;
  // The running pulse and hop.
  uint32_t pulseFill_ = 0;
  int64_t pulseSquares_ = 0;   // of the mono sum of the channels, exact
  uint32_t hopPulses_ = 0;
  double hopSum_ = 0;
  // The mono sum of the channels of the frames being worked on, at most a pulse of them (more
  // than two channels only).
  std::vector<int32_t> mono_;
  // The decimated mono signal: the last PitchSpectrum::kWindow samples, a ring.
  int32_t decimSum_ = 0;
  uint32_t decimFill_ = 0;
  std::vector<float> ring_;
  size_t ringPos_ = 0;
  PitchSpectrum spectrum_;
  BandLevels bandLevels_;
  // A partial frame left over from the last Push.
  std::array<uint8_t, 64> carry_{};
  size_t carryBytes_ = 0;
};

}  // namespace analysis
