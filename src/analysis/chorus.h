// The suggested part of a song: its chorus, the stretch it repeats most, found by the
// self-similarity of its pitch-class profile; the loudest stretch where nothing repeats; the whole
// file when it is shorter than the part.
#pragma once

#include "analysis/features.h"

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
};

// The part of `lengthSeconds` (the whole file when it is shorter) to suggest. Starts on an onset
// where one is clear near the chosen start, never in the file's quiet opening, and ends at most
// at the file's end. The work is bounded: long files are compared in coarser steps.
Suggestion SuggestPart(const Features& features, double lengthSeconds = kDefaultPartSeconds);

}  // namespace analysis
