// The song's map as the view shows it and the marks use it: its beats, its bar lines and its
// sections grouped by what repeats, with the rules for snapping a mark to the beat, nudging it by
// a beat or a bar, and placing all of it in the view's columns. Plain data and functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wave {

// A stretch of the song; the stretches of one group are heard alike (the chorus's instances).
struct Section {
  double start = 0;  // seconds
  double end = 0;
  int group = 0;     // 0, 1, ... in order of first appearance
};

struct SongMap {
  std::vector<double> beats;  // seconds, in order; empty where no steady beat was found
  std::vector<double> bars;   // the beats that open a bar, in order
  std::vector<Section> sections;
  int suggestedGroup = -1;    // the group of the suggested part, outlined; -1 for none
  bool HasBeat() const { return beats.size() >= 2; }
};

// How far a nudge moves a mark in a song without a beat.
inline constexpr double kNudgeSeconds = 0.010;

// The beat nearest `seconds`; `seconds` itself in a song without a beat.
double SnapToBeat(const SongMap& map, double seconds);

// `seconds` moved by `steps` beats (or bars) forward, or back for a negative count: the first step
// goes to the next beat after it (the one before it), so that a mark between beats lands on one.
// By kNudgeSeconds a step without a beat (or without bars, for bars); never before 0. `seconds`
// itself when there is no beat or bar further that way.
double Nudge(const SongMap& map, double seconds, int steps, bool byBar);

// How many times the group `group` is heard in the song.
int TimesHeard(const SongMap& map, int group);
// A section's tooltip: "3 times in the song", "twice in the song" or "heard once".
std::string TimesText(int times);
// The section that holds `seconds`; nullptr for none.
const Section* SectionAt(const SongMap& map, double seconds);

// The whole-song view's column of `seconds`, as the markers place a byte position: `bytesPerSecond`
// of the preview stream, `bytesPerPixel` its column scale. -1 without a scale. A zoomed view places
// times with its ViewSpan.
int ColumnOf(double seconds, double bytesPerSecond, uint32_t bytesPerPixel);

// Grid lines closer than this many columns are not all drawn.
inline constexpr double kMinGridColumns = 4;

// Every how many of `count` evenly spread lines across `columns` columns to draw so that they lie
// at least kMinGridColumns apart: 1, 2, 4, 8, ... (a line every few bars of a long song's view).
size_t GridStride(size_t count, int columns);

// The colour of a group in the band: a hue of its own for each of the first groups, a grey for a
// group heard once. 0xAARRGGBB.
unsigned GroupColor(int group, bool heardOnce);

}  // namespace wave
