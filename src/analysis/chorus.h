// The suggested part of a song: its chorus, the stretch it repeats most, found by the
// self-similarity of its pitch-class profile; the loudest stretch where nothing repeats; the whole
// file when it is shorter than the part.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/features.h"
#include "analysis/song_beats.h"
#include "wave/song_map.h"

namespace analysis {

// 29 s: inside the 30 s an iPhone takes when a tone is set on the phone.
inline constexpr double kDefaultPartSeconds = 29.0;

struct Part {
  double start = 0;  // seconds from the file's start
  double end = 0;    // at most the file's length
};

// How the part was found; for tests and the notes of benchmarks.
enum class PartKind { WholeFile, Chorus, Loudest };

struct Suggestion {
  Part part;
  PartKind kind = PartKind::WholeFile;
  int group = -1;  // the group of sections (FindSections) the part opens; -1 for none
};

// Up to `count` distinct parts that do not overlap, best first. A chorus part starts on the first
// beat of a chorus instance (the earliest within 2 dB of the loudest) and lasts the chorus, with
// its repeat where it has one, in whole bars: 20 s to `lengthSeconds` where the song allows,
// `lengthSeconds` where the beat is unclear. The loudest stretch of `lengthSeconds` comes where
// nothing repeats; the whole file when it is shorter. No part holds 5 s lying 6 dB or more below
// the song's median level (a fade-out, a quiet intro, a break), and none runs past the file's
// end. The work is bounded: long files are compared in coarser steps.
std::vector<Suggestion> SuggestParts(const Features& features, double lengthSeconds, size_t count);

// The same with the song's beats found already (TrackBeats): where they are followed through the
// part, it starts on a bar line and ends on one.
std::vector<Suggestion> SuggestParts(const Features& features, const SongBeats& beats, double lengthSeconds, size_t count);

// The same with the song's sections found already (FindSections): the groups of sections the song
// repeats come first, the group heard most often at full level before the others, each as the
// part from the bar line that opens its first full-level instance, in whole bars. In a song of a
// minute or more no part ends in its last tenth (an outro) unless nothing else can be offered.
std::vector<Suggestion> SuggestParts(const Features& features, const SongBeats& beats,
                                     const std::vector<wave::Section>& sections, double lengthSeconds, size_t count);

// The best of SuggestParts.
Suggestion SuggestPart(const Features& features, double lengthSeconds = kDefaultPartSeconds);

// Which of the offered `parts` to mark on a click of Suggest while [start, end) is marked: the one
// after the part marked (round to the first after the last), the first when none of them is.
size_t NextOffered(const std::vector<Part>& parts, double start, double end);

}  // namespace analysis
