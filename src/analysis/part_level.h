// How loud a stretch of a song is against the song itself: the median level of its sounding hops
// and the quietest few seconds of a part. A suggested part never holds a fade-out, a quiet intro
// or a break: none of its 5-s windows may lie 6 dB or more below the song's median.
#pragma once

#include "analysis/features.h"

namespace analysis {

inline constexpr double kLevelWindowSeconds = 5;
inline constexpr double kMaxDropDb = 6;

// A mean square (full scale 1) in dB, -100 for silence.
double PowerDb(double meanSquare);

// The median level (dB against full scale, of the hops' mean square) over the hops that are not
// silent; -100 when every hop is.
double MedianLevelDb(const Features& features);

// The level of the quietest `window` seconds within [start, end) (of the whole stretch when it is
// shorter), in dB against full scale.
double QuietestLevelDb(const Features& features, double start, double end, double window = kLevelWindowSeconds);

// The mean level of [start, end) in dB against full scale.
double LevelDb(const Features& features, double start, double end);

}  // namespace analysis
