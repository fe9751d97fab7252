// Where a song repeats itself: its pitch-class profile compared step by step with every other,
// sections that are played again found as long runs of matching steps, and the stretch that
// repeats most (the chorus) placed where its repeat begins.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/features.h"

namespace analysis {

// A repeat of a section runs at least this long: a chord or two that two sections share does not.
inline constexpr double kMinRepeatSeconds = 8;

// The instances of the stretch a song repeats most.
struct Repeats {
  std::vector<double> starts;  // seconds: the instance found first, then its partners
  double seconds = 0;          // how long the stretch that repeats most lasts
};

// The chorus's instances for a part of `length` seconds; none when nothing repeats clearly
// enough. The work is bounded: long files are compared in coarser steps.
Repeats FindChorusRepeats(const Features& features, double length);

// How many steps of `stepSeconds` make `seconds`: at least one.
size_t StepsOf(double seconds, double stepSeconds);

}  // namespace analysis
