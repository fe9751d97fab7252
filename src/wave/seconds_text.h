// How a length is shown: whole seconds as they are ("30"), any other length with its tenths,
// truncated ("29.4"), so that a part that is not whole seconds never passes for one.
#pragma once

#include <string>

namespace wave {

std::string SecondsText(double seconds);

}  // namespace wave
