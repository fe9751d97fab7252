#include "analysis/part_level.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace analysis {

namespace {

constexpr double kSilentDb = -70;         // a hop below this is silence, whatever the song
constexpr double kBelowLoudSilentDb = 50;  // and so is one this far below the song's loud level

// The hops [first, last) that [start, end) covers, at least one when the file has any.
std::pair<size_t, size_t> HopRange(const Features& f, double start, double end) {
  const double hop = f.HopSeconds();
  const size_t n = f.hops.size();
  if (n == 0 || hop <= 0) return {0, 0};
  const auto first = std::min(n - 1, static_cast<size_t>(std::max(0.0, std::round(start / hop))));
  const auto last = std::clamp(static_cast<size_t>(std::max(0.0, std::round(end / hop))), first + 1, n);
  return {first, last};
}

}  // namespace

double PowerDb(double meanSquare) { return 10 * std::log10(meanSquare + 1e-10); }

double MedianLevelDb(const Features& f) {
  std::vector<double> db;
  db.reserve(f.hops.size());
  for (const Hop& h : f.hops) db.push_back(PowerDb(h.energy));
  if (db.empty()) return -100;
  std::vector<double> sorted = db;
  const auto loud = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() * 9 / 10);
  std::nth_element(sorted.begin(), loud, sorted.end());
  const double floor = std::max(kSilentDb, *loud - kBelowLoudSilentDb);
  std::vector<double> heard;
  for (double d : db)
    if (d > floor) heard.push_back(d);
  if (heard.empty()) return -100;
  const auto mid = heard.begin() + static_cast<std::ptrdiff_t>(heard.size() / 2);
  std::nth_element(heard.begin(), mid, heard.end());
  return *mid;
}

double LevelDb(const Features& f, double start, double end) {
  const auto [first, last] = HopRange(f, start, end);
  if (first >= last) return -100;
  double sum = 0;
  for (size_t i = first; i < last; ++i) sum += f.hops[i].energy;
  return PowerDb(sum / static_cast<double>(last - first));
}

double QuietestLevelDb(const Features& f, double start, double end, double window) {
  const auto [first, last] = HopRange(f, start, end);
  if (first >= last) return -100;
  const size_t w = std::clamp<size_t>(static_cast<size_t>(std::round(window / f.HopSeconds())), 1, last - first);
  double sum = 0;
  for (size_t i = first; i < first + w; ++i) sum += f.hops[i].energy;
  double least = sum;
  for (size_t i = first + w; i < last; ++i) {
    sum += f.hops[i].energy - f.hops[i - w].energy;
    least = std::min(least, sum);
  }
  return PowerDb(std::max(0.0, least) / static_cast<double>(w));
}

}  // namespace analysis
