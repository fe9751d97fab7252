#include "preview/effect_arithmetic.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace preview {

float GainFactorFor(int32_t position) {
  return static_cast<float>(std::pow(10.0, static_cast<double>(position) * 0.05));
}

int32_t FilterCutoff(int32_t setting, int32_t rate, uint8_t bits) {
  const int64_t half = rate / 2;
  int64_t fc = half * static_cast<int64_t>(setting) / 10000;
  const int64_t lowest = (bits == 32) ? 0 : 1;
  if (fc < lowest) {
    fc = lowest;
  } else if (fc > half) {
    fc = half;
  }
  return static_cast<int32_t>(fc);
}

double FilterCoefficient(int32_t cutoff, int32_t rate) {
  return std::sin(static_cast<double>(cutoff) * std::numbers::pi / static_cast<double>(rate));
}

int32_t CutoffHintHz(int32_t position) { return FilterCutoff(position, kRingtoneRate, 16); }

int32_t SettingForCutoffHz(int32_t hz) {
  const int64_t half = kRingtoneRate / 2;
  const int64_t setting = (int64_t{std::max(hz, 0)} * 10000 + half / 2) / half;
  return static_cast<int32_t>(std::min<int64_t>(setting, half));
}

void StartFadeState(FadeState& state, bool fadeIn, double seconds, int32_t rate, int32_t channels,
                    double fromLevel) {
  const double level = fadeIn ? 1.0 : std::clamp(std::isnan(fromLevel) ? 1.0 : fromLevel, 0.0, 1.0);
  const double sign = fadeIn ? 1.0 : -level;
  state.fadeSeconds = seconds;
  state.fadeGain = fadeIn ? 0.0 : level;
  state.fadeOutLeft = 0;
  if (seconds > 0.0 && rate > 0 && channels > 0) {
    state.fadeStep = sign / seconds / static_cast<double>(rate) / static_cast<double>(channels);
    if (!fadeIn) state.fadeOutLeft = std::llround(seconds * rate * channels);
  } else {
    state.fadeStep = (fadeIn ? 1.0 : -1.0) * std::numeric_limits<double>::infinity();
  }
  state.fadeGain += state.fadeStep;
}

FadeLengths FitFades(bool fadeIn, double inSeconds, bool fadeOut, double outSeconds, double partSeconds) {
  FadeLengths f{fadeIn ? std::max(inSeconds, 0.0) : 0.0, fadeOut ? std::max(outSeconds, 0.0) : 0.0};
  if (!(partSeconds > 0)) return f;
  if (f.in + f.out <= partSeconds) return f;
  const double limit = fadeIn && fadeOut ? partSeconds / 2 : partSeconds;
  return {std::min(f.in, limit), std::min(f.out, limit)};
}

bool FadeInRunning(const FadeState& state) {
  return state.fadeStep > 0.0 && state.fadeGain > 0.0 && state.fadeGain < 1.0;
}

double FadeInLevel(const FadeState& state) { return FadeInRunning(state) ? state.fadeGain : 1.0; }

}  // namespace preview
