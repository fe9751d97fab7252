#include "analysis/beats.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace analysis {

namespace {

constexpr double kMinBeatSeconds = 0.3;    // 200 bpm
constexpr double kMaxBeatSeconds = 1.0;    // 60 bpm
constexpr double kPreferredBeatSeconds = 0.5;
constexpr double kPreferenceOctaves = 1.0; // the width of the preference for 120 bpm
constexpr double kPeriodStep = 0.1;        // pulses, when the period is refined
constexpr double kClearRatio = 2.0;        // the beats' onset strength against the mean phase's
constexpr double kMinSeconds = 4;

// The onset strength of pulse p: the rise of its level over the pulse before, in dB.
std::vector<double> Onsets(const Features& f, size_t first, size_t last) {
  std::vector<double> o(last - first, 0.0);
  for (size_t p = std::max<size_t>(first, 1); p < last; ++p) {
    const double now = 10 * std::log10(f.pulses[p] + 1e-9), before = 10 * std::log10(f.pulses[p - 1] + 1e-9);
    o[p - first] = std::max(0.0, now - before);
  }
  return o;
}

// The onset strength gathered by the comb of period `period` and phase `phase` (pulses), a beat
// taking the strongest of the three pulses around it.
double Comb(const std::vector<double>& o, double period, double phase) {
  double sum = 0;
  const auto n = static_cast<std::ptrdiff_t>(o.size());
  for (double t = phase; t < static_cast<double>(n); t += period) {
    const auto p = static_cast<std::ptrdiff_t>(std::llround(t));
    double best = 0;
    for (std::ptrdiff_t q = std::max<std::ptrdiff_t>(0, p - 1); q <= std::min(n - 1, p + 1); ++q)
      best = std::max(best, o[static_cast<size_t>(q)]);
    sum += best;
  }
  return sum;
}

}  // namespace

BeatGrid FindBeats(const Features& f, double from, double to) {
  BeatGrid grid;
  const double pulse = f.PulseSeconds();
  if (pulse <= 0 || f.pulses.empty()) return grid;
  const auto first = static_cast<size_t>(std::max(0.0, std::floor(from / pulse)));
  const auto last = std::min(f.pulses.size(), static_cast<size_t>(std::max(0.0, std::ceil(to / pulse))));
  if (last <= first || static_cast<double>(last - first) * pulse < kMinSeconds) return grid;
  const std::vector<double> o = Onsets(f, first, last);
  const size_t n = o.size();
  double mean = 0;
  for (double x : o) mean += x;
  mean /= static_cast<double>(n);
  const auto minLag = static_cast<size_t>(std::round(kMinBeatSeconds / pulse));
  const auto maxLag = std::min(n / 2, static_cast<size_t>(std::round(kMaxBeatSeconds / pulse)));
  if (minLag < 2 || maxLag <= minLag) return grid;
  size_t lag = 0;
  double bestAc = 0;
  for (size_t l = minLag; l <= maxLag; ++l) {
    double ac = 0;
    for (size_t p = 0; p + l < n; ++p) ac += (o[p] - mean) * (o[p + l] - mean);
    ac /= static_cast<double>(n - l);
    const double octaves = std::log2(static_cast<double>(l) * pulse / kPreferredBeatSeconds) / kPreferenceOctaves;
    ac *= std::exp(-0.5 * octaves * octaves);
    if (ac > bestAc) {
      bestAc = ac;
      lag = l;
    }
  }
  if (lag == 0) return grid;
  double bestPeriod = static_cast<double>(lag), bestPhase = 0, bestSum = -1, meanSum = 0;
  for (double period = static_cast<double>(lag) - 1; period <= static_cast<double>(lag) + 1 + 1e-9; period += kPeriodStep) {
    double sumAll = 0, top = -1, topPhase = 0;
    int phases = 0;
    for (double phase = 0; phase < period; phase += 1, ++phases) {
      const double c = Comb(o, period, phase);
      sumAll += c;
      if (c > top) {
        top = c;
        topPhase = phase;
      }
    }
    if (top > bestSum) {
      bestSum = top;
      bestPeriod = period;
      bestPhase = topPhase;
      meanSum = sumAll / std::max(1, phases);
    }
  }
  grid.period = bestPeriod * pulse;
  // The onset pulse is where the level has risen; the beat began within the pulse before it.
  grid.phase = (static_cast<double>(first) + bestPhase - 1) * pulse;
  grid.strength = meanSum > 0 ? bestSum / meanSum : 0;
  grid.clear = grid.strength >= kClearRatio;
  return grid;
}

double NearestBeat(const BeatGrid& grid, double seconds) {
  if (grid.period <= 0) return seconds;
  return grid.phase + std::round((seconds - grid.phase) / grid.period) * grid.period;
}

double OnNearOnset(const Features& f, double seconds, double reach) {
  const double pulse = f.PulseSeconds();
  if (pulse <= 0 || f.pulses.size() < 3) return seconds;
  // Beats sit a pulse before their rise: the rise looked at is a pulse later.
  const auto centre = static_cast<std::ptrdiff_t>(std::llround(seconds / pulse)) + 1;
  const auto r = static_cast<std::ptrdiff_t>(std::llround(reach / pulse));
  const auto n = static_cast<std::ptrdiff_t>(f.pulses.size());
  const auto lo = std::max<std::ptrdiff_t>(1, centre - r), hi = std::min(n - 1, centre + r);
  if (lo > hi) return seconds;
  const std::vector<double> o = Onsets(f, static_cast<size_t>(lo - 1), static_cast<size_t>(hi + 1));
  std::ptrdiff_t best = -1;
  double strongest = 0, sum = 0;
  for (std::ptrdiff_t p = lo; p <= hi; ++p) {
    const double v = o[static_cast<size_t>(p - lo + 1)];
    sum += v;
    if (v > strongest) {
      strongest = v;
      best = p;
    }
  }
  // Clear: it stands out from the pulses around it, and is a real rise (3 dB).
  const double others = (sum - strongest) / static_cast<double>(std::max<std::ptrdiff_t>(1, hi - lo));
  if (best < 0 || strongest < 3 || strongest < 3 * others) return seconds;
  return static_cast<double>(best - 1) * pulse;
}

}  // namespace analysis
