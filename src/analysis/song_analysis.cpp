#include "analysis/song_analysis.h"

#include "analysis/sections.h"

namespace analysis {

wave::SongMap SongAnalysis::Map() const {
  wave::SongMap map;
  map.beats = beats.beats;
  map.bars = beats.bars;
  map.sections = sections;
  map.suggestedGroup = parts.empty() ? -1 : parts.front().group;
  return map;
}

SongAnalysis AnalyseSong(const Features& features, double lengthSeconds, size_t count) {
  SongAnalysis out;
  out.beats = TrackBeats(features);
  out.sections = FindSections(features, out.beats);
  out.parts = SuggestParts(features, out.beats, out.sections, lengthSeconds, count);
  return out;
}

}  // namespace analysis
