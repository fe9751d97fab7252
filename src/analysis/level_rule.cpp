#include "analysis/level_rule.h"

#include <algorithm>
#include <cmath>

namespace analysis {

int32_t LevelGain(double integratedLufs, double truePeakDbtp, double samplePeakDbfs) {
  if (!std::isfinite(integratedLufs)) return 0;
  const double raise = std::max(kLevelTargetLufs - integratedLufs, 0.0);
  const double overshoot = samplePeakDbfs >= kFullScaleDbfs ? kClippedOvershootDb : kEncodeOvershootDb;
  // +inf for a part without peaks.
  const double headroom = kLevelCeilingDbtp - (truePeakDbtp + overshoot);
  // The levels come from sums of doubles: a nominal 10 dB may arrive as 9.9999999999.
  constexpr double kSlack = 1e-9;
  const double gain = std::floor(std::min(raise, headroom) + kSlack);
  return static_cast<int32_t>(std::clamp(gain, double(kGainMinDb), double(kGainMaxDb)));
}

}  // namespace analysis

namespace analysis {

int32_t LevelGain(const Loudness& bare) { return LevelGain(bare.integrated, bare.truePeak, bare.samplePeak); }

}  // namespace analysis
