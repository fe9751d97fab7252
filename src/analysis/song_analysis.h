// All the analysis learns of a song from its features at once: its beats and bar lines, its
// sections, the parts offered, and the map the window draws and the marks snap to.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/chorus.h"
#include "analysis/features.h"
#include "analysis/song_beats.h"
#include "wave/song_map.h"

namespace analysis {

struct SongAnalysis {
  SongBeats beats;
  std::vector<wave::Section> sections;
  std::vector<Suggestion> parts;  // best first

  // The beats, bar lines and sections, the best part's group outlined.
  wave::SongMap Map() const;
};

// Up to `count` parts of `lengthSeconds` (SuggestParts) with what they were chosen from.
SongAnalysis AnalyseSong(const Features& features, double lengthSeconds, size_t count);

}  // namespace analysis
