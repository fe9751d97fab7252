// The beats and bar lines of a whole song, found once from its features: a list for the whole
// song (a tempo that drifts or changes is followed), for the part's ends and for drawing.
#pragma once

#include <array>
#include <vector>

#include "analysis/features.h"

namespace analysis {

struct SongBeats {
  std::vector<double> beats;  // seconds, in order; empty when too little sounds to tell
  std::vector<double> bars;   // the beats that open a bar, in order
  // Per beat, the onset strength it falls on, in spreads of the song's onsets from their local
  // mean: about 0 where a beat lands at random, 1 or more on a beat heard.
  std::vector<float> strength;
  // Per beat, the same halfway to the next beat (the last beat: half a period on).
  std::vector<float> between;
  double period = 0;          // the song's commonest seconds per beat
  int beatsPerBar = 0;        // 3 or 4 (where the bars are regular)
};

// The beats of the song `features` holds, by dynamic programming over its onsets (work linear in
// its length). Each beat is placed a pulse before its rise, so a part cut there keeps the attack.
SongBeats TrackBeats(const Features& features);

// The mean pitch-class profile of [from, to) seconds (C first), weighed by loudness, unit length;
// zero where nothing sounds.
std::array<double, 12> ChromaOf(const Features& features, double from, double to);

// The time in `times` (in order) nearest `seconds`; `seconds` itself when `times` is empty.
double Nearest(const std::vector<double>& times, double seconds);

}  // namespace analysis
