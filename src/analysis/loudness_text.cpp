#include "analysis/loudness_text.h"

#include <cmath>
#include <cstdio>

#include "analysis/level_rule.h"

namespace analysis {

namespace {

constexpr const char* kMinus = "\u2212";

}  // namespace

std::string LevelText(double db) {
  if (std::isnan(db)) return "?";
  if (std::isinf(db)) return db < 0 ? std::string(kMinus) + "inf" : "+inf";
  // In tenths, so that -0.04 shows as 0.0 rather than as a negative zero.
  const long tenths = std::lround(db * 10.0);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%ld.%ld", std::labs(tenths) / 10, std::labs(tenths) % 10);
  return std::string(tenths < 0 ? kMinus : "") + digits;
}

std::string MeterText(const Loudness& loudness, bool clips) {
  const std::string suffix = clips ? " \u00b7 clips" : "";
  std::string peak = LevelText(loudness.truePeak);
  if (std::isfinite(loudness.truePeak) && std::lround(loudness.truePeak * 10.0) > 0) peak = "+" + peak;
  // A sounding part without a loudness is shorter than the 0.4 s the measure needs, or all
  // below its gate: no figure rather than an infinite one.
  if (!std::isfinite(loudness.integrated) && std::isfinite(loudness.truePeak))
    return "\u2014 LUFS \u00b7 peak " + peak + " dBTP" + suffix;
  return LevelText(loudness.integrated) + " LUFS \u00b7 peak " + peak + " dBTP" + suffix;
}

bool MeterWarns(const Loudness& loudness, bool clips) {
  return clips || loudness.truePeak > kLevelCeilingDbtp;
}

}  // namespace analysis
