// How a length is shown: whole seconds as they are ("30"), any other length with its tenths,
// truncated ("29.4"), so that a part that is not whole seconds never passes for one.
#pragma once

#include <string>

namespace wave {

// A length within this of a whole second is shown, and judged, as that whole second.
inline constexpr double kWholeTolerance = 0.001;

std::string SecondsText(double seconds);

}  // namespace wave
