// The beat of a stretch of a song, from the onsets in its 10-ms pulses: the period by the
// autocorrelation of the onset strength, then the period to a tenth of a pulse and the phase by
// the comb of beats that gathers the most onset strength.
#pragma once

#include "analysis/features.h"

namespace analysis {

struct BeatGrid {
  double period = 0;  // seconds per beat; 0 when there was too little to tell
  double phase = 0;   // a beat's time in seconds; beats at phase + k * period
  bool clear = false; // the beats hold far more onset strength than the times between them
  double strength = 0; // the onset strength the beats hold against the mean phase's (clear: 2)
};

// The grid that fits [from, to) best (a stretch of at least a few seconds; work bounded by its
// length). Beats are placed a pulse before the rise, so a part cut there keeps the attack whole.
BeatGrid FindBeats(const Features& features, double from, double to);

// The beat of `grid` nearest `seconds`.
double NearestBeat(const BeatGrid& grid, double seconds);

// `seconds` moved to the strongest onset within `reach` seconds, if one there stands out from the
// pulses around it; otherwise unchanged. Placed as FindBeats places beats.
double OnNearOnset(const Features& features, double seconds, double reach);

}  // namespace analysis
