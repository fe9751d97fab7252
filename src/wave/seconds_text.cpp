#include "wave/seconds_text.h"

#include <cmath>
#include <cstdio>

namespace wave {

std::string SecondsText(double seconds) {
  if (!(seconds > 0)) return "0";
  // Within a millisecond of a whole second counts as that second: a part that begins one frame
  // in (a start of 0 counts as not set) is still the file's whole 5 seconds.
  const double whole = std::round(seconds);
  if (std::fabs(seconds - whole) < kWholeTolerance) return std::to_string(static_cast<long long>(whole));
  const auto tenths = static_cast<long long>(std::floor(seconds * 10 + 1e-6));
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%lld", tenths / 10, tenths % 10);
  return text;
}

}  // namespace wave
