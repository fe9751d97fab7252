// The sections of a song, bar by bar: which stretches of bars the song plays again (its chorus,
// its verses, a riff that comes back) and which it plays once, found from its bar lines.
#pragma once

#include <vector>

#include "analysis/features.h"
#include "analysis/song_beats.h"
#include "wave/song_map.h"

namespace analysis {

// Bars heard again lie at least this many bars from their first hearing, and a repeated
// stretch lasts at least kMinSectionBars bars: a bar or two that two sections share do not make
// a repeat.
inline constexpr int kMinRepeatLagBars = 4;
inline constexpr int kMinSectionBars = 4;

// The song's sections in time order, from its first bar line to the end of its last bar: each
// stretch repeated elsewhere belongs to the group of its repeats (groups numbered in order of
// first hearing), each stretch between them to a group of its own. Empty where nothing is heard
// twice, where the song has too few bar lines to tell, too many to compare (a long mix), or bars
// of uneven length.
std::vector<wave::Section> FindSections(const Features& features, const SongBeats& beats);

}  // namespace analysis
