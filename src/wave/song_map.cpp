#include "wave/song_map.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "wave/view_span.h"

namespace wave {

double SnapToBeat(const SongMap& map, double seconds) {
  if (!map.HasBeat()) return seconds;
  const auto after = std::lower_bound(map.beats.begin(), map.beats.end(), seconds);
  if (after == map.beats.end()) return map.beats.back();
  if (after == map.beats.begin()) return *after;
  const double before = *std::prev(after);
  return seconds - before <= *after - seconds ? before : *after;
}

double Nudge(const SongMap& map, double seconds, int steps, bool byBar) {
  const std::vector<double>& grid = byBar ? map.bars : map.beats;
  if (!map.HasBeat() || grid.empty()) return std::max(0.0, seconds + steps * kNudgeSeconds);
  // A mark within a millisecond of a beat counts as on it.
  constexpr double kOn = 0.001;
  double at = seconds;
  for (int i = 0; i < std::abs(steps); ++i) {
    if (steps > 0) {
      const auto next = std::upper_bound(grid.begin(), grid.end(), at + kOn);
      if (next == grid.end()) break;
      at = *next;
    } else {
      const auto next = std::lower_bound(grid.begin(), grid.end(), at - kOn);
      if (next == grid.begin()) break;
      at = *std::prev(next);
    }
  }
  return std::max(0.0, at);
}

int TimesHeard(const SongMap& map, int group) {
  return static_cast<int>(std::count_if(map.sections.begin(), map.sections.end(),
                                        [group](const Section& s) { return s.group == group; }));
}

std::string TimesText(int times) {
  if (times <= 1) return "heard once";
  if (times == 2) return "twice in the song";
  return std::to_string(times) + " times in the song";
}

const Section* SectionAt(const SongMap& map, double seconds) {
  for (const Section& s : map.sections)
    if (s.start <= seconds && seconds < s.end) return &s;
  return nullptr;
}

int ColumnOf(double seconds, double bytesPerSecond, uint32_t bytesPerPixel) {
  if (bytesPerPixel == 0 || bytesPerSecond <= 0 || seconds < 0) return -1;
  return ViewSpan(bytesPerPixel).ColumnOfSeconds(seconds, bytesPerSecond);
}

size_t GridStride(size_t count, int columns) {
  size_t stride = 1;
  while (columns > 0 && static_cast<double>(stride) * columns < kMinGridColumns * static_cast<double>(count)) stride *= 2;
  return stride;
}

unsigned GroupColor(int group, bool heardOnce) {
  // Soft hues that read on the dark view and differ from the channels' green and red.
  static constexpr unsigned kHues[] = {0xFFE0A030, 0xFF40B0E0, 0xFFC070E0, 0xFF60D0A0, 0xFFE07090, 0xFFB0B050};
  if (heardOnce || group < 0) return 0xFF707070;
  return kHues[static_cast<size_t>(group) % std::size(kHues)];
}

}  // namespace wave
