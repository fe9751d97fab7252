// "Level": the whole dB of gain that brings a part to the loudness of a ringtone heard across a
// room without its true peak passing the ceiling an AAC encode needs below full scale.
#pragma once

#include <cmath>
#include <cstdint>

#include "analysis/loudness_meter.h"

namespace analysis {

inline constexpr double kLevelTargetLufs = -14.0;
inline constexpr double kLevelCeilingDbtp = -1.0;
// What the AAC encode adds to the true peak of what it is given (its filtering rings on steep
// edges: about 0.3 dB on a master, up to 1 dB on one driven near its limit, measured with ffmpeg's meter on
// our ringtones), kept free below the ceiling so that the ringtone itself stays under it.
inline constexpr double kEncodeOvershootDb = 1.0;
// A part whose samples reach full scale (a clipped master, a square wave) has flat tops whose
// edges ring far more: up to 3 dB.
inline constexpr double kClippedOvershootDb = 3.0;
inline constexpr double kFullScaleDbfs = -0.05;
// The gain slider's range, in dB.
inline constexpr int32_t kGainMinDb = -12;
inline constexpr int32_t kGainMaxDb = 12;

// Given the part's integrated loudness and true peak without any gain: raises a quiet part
// towards the target as far as the ceiling allows, leaves a loud part as it is, and lowers a part
// whose peak already passes the ceiling just enough. The peak counts with the encode's overshoot. Rounded down to a whole dB and kept within
// the slider's range. A silent part (no finite loudness) gets 0.
int32_t LevelGain(double integratedLufs, double truePeakDbtp, double samplePeakDbfs = -INFINITY);
// The same for a part's measured levels.
int32_t LevelGain(const Loudness& bare);

}  // namespace analysis
