#include "wave/seconds_text.h"

#include <cmath>
#include <cstdio>

namespace wave {

std::string SecondsText(double seconds) {
  if (!(seconds > 0)) return "0";
  // A length that came from a frame count is a whole second within rounding.
  const double whole = std::round(seconds);
  if (std::fabs(seconds - whole) < 1e-6) return std::to_string(static_cast<long long>(whole));
  const auto tenths = static_cast<long long>(std::floor(seconds * 10 + 1e-6));
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%lld", tenths / 10, tenths % 10);
  return text;
}

}  // namespace wave
