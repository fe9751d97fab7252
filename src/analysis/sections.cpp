// Each bar is described by what it plays, in quarters of the bar: the pitch-class profile of each
// quarter (the song's mean profile taken away, so the key the whole song is in does not make
// every bar alike) and its level in the five bands (the song's mean and spread taken away, so a
// bar of drums alone differs from the same chords with the band). Two bars match where their
// quarters agree closely. A section heard again is a run of matching bars along one lag (bar i
// with bar i + lag, bar i + 1 with bar i + 1 + lag, ...). The song is cut into segments where the
// runs begin and end, and segments that a run carries onto each other form a group (so the third
// chorus joins the first two through either of them).
#include "analysis/sections.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace analysis {

namespace {

constexpr size_t kQuarters = 4;
constexpr size_t kMaxBars = 1500;          // about an hour at 100 bpm; a longer mix is not compared
constexpr double kMatch = 0.7;             // bars this alike match
constexpr double kBarSpread = 0.1;         // bars within this share of the median bar
constexpr double kRegularShare = 0.8;      // are this share of the song's bars, or no sections
constexpr double kFreeShare = 0.75;        // a run carries a segment onto another covering this share of it

using Chroma = std::array<double, 12>;
using Bands = std::array<double, BandLevels::kBands>;

struct Bar {
  std::array<Chroma, kQuarters> chroma{};
  std::array<Bands, kQuarters> bands{};
};

Bands BandsOf(const Features& f, double from, double to) {
  Bands b{};
  const double pulse = f.PulseSeconds();
  if (pulse <= 0 || f.bands.empty()) return b;
  const auto a = static_cast<size_t>(std::clamp(from / pulse, 0.0, static_cast<double>(f.bands.size() - 1)));
  const auto z = static_cast<size_t>(std::clamp(to / pulse, static_cast<double>(a + 1), static_cast<double>(f.bands.size())));
  for (size_t p = a; p < z; ++p)
    for (size_t k = 0; k < BandLevels::kBands; ++k) b[k] += f.bands[p][k] * BandLevels::kStepDb;
  for (double& v : b) v /= static_cast<double>(z - a);
  return b;
}

template <size_t N>
void Unit(std::array<double, N>& v) {
  double norm = 0;
  for (double x : v) norm += x * x;
  norm = std::sqrt(norm);
  for (double& x : v) x = norm > 1e-9 ? x / norm : 0;
}

template <size_t N>
double Dot(const std::array<double, N>& a, const std::array<double, N>& b) {
  double d = 0;
  for (size_t i = 0; i < N; ++i) d += a[i] * b[i];
  return d;
}

std::vector<Bar> Describe(const Features& f, const std::vector<double>& lines) {
  std::vector<Bar> bars(lines.size() - 1);
  Chroma chromaMean{};
  Bands bandMean{}, bandSquares{};
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    const double step = (lines[i + 1] - lines[i]) / kQuarters;
    for (size_t q = 0; q < kQuarters; ++q) {
      const double a = lines[i] + static_cast<double>(q) * step;
      bars[i].chroma[q] = ChromaOf(f, a, a + step);
      bars[i].bands[q] = BandsOf(f, a, a + step);
      for (size_t c = 0; c < 12; ++c) chromaMean[c] += bars[i].chroma[q][c];
      for (size_t k = 0; k < BandLevels::kBands; ++k) {
        bandMean[k] += bars[i].bands[q][k];
        bandSquares[k] += bars[i].bands[q][k] * bars[i].bands[q][k];
      }
    }
  }
  const auto count = static_cast<double>(bars.size() * kQuarters);
  for (double& m : chromaMean) m /= count;
  Bands spread{};
  for (size_t k = 0; k < BandLevels::kBands; ++k) {
    bandMean[k] /= count;
    spread[k] = std::sqrt(std::max(1e-6, bandSquares[k] / count - bandMean[k] * bandMean[k]));
  }
  for (Bar& bar : bars)
    for (size_t q = 0; q < kQuarters; ++q) {
      for (size_t c = 0; c < 12; ++c) bar.chroma[q][c] -= chromaMean[c];
      Unit(bar.chroma[q]);
      for (size_t k = 0; k < BandLevels::kBands; ++k) bar.bands[q][k] = (bar.bands[q][k] - bandMean[k]) / spread[k];
    }
  return bars;
}

// How alike two bars are, 1 for the same: per quarter, the likeness of their pitch-class
// profiles times how near their band levels lie (a spread apart on average counts as unlike),
// averaged over the quarters but the least alike, so that a fill, or the ring of what came before
// a section over its first beat, does not part a bar from its repeat. The same chords under another
// melody or other drums (a verse and a chorus on one progression) stay well below kMatch.
double Likeness(const Bar& a, const Bar& b) {
  std::array<double, kQuarters> quarter{};
  for (size_t q = 0; q < kQuarters; ++q) {
    double distance = 0;
    for (size_t k = 0; k < BandLevels::kBands; ++k) distance += (a.bands[q][k] - b.bands[q][k]) * (a.bands[q][k] - b.bands[q][k]);
    quarter[q] = std::max(0.0, Dot(a.chroma[q], b.chroma[q])) * std::exp(-distance / BandLevels::kBands);
  }
  return (std::accumulate(quarter.begin(), quarter.end(), 0.0) - *std::min_element(quarter.begin(), quarter.end())) / (kQuarters - 1);
}

// Bars [first, first + length) heard again `lag` bars later, bar by bar.
struct Run {
  size_t lag = 0, first = 0, length = 0;
};

// The runs of matching bars along every lag.
std::vector<Run> Runs(const std::vector<Bar>& bars) {
  const size_t n = bars.size();
  std::vector<Run> out;
  std::vector<uint8_t> match(n);
  for (size_t lag = kMinRepeatLagBars; lag + kMinSectionBars <= n; ++lag) {
    const size_t len = n - lag;
    for (size_t i = 0; i < len; ++i) match[i] = Likeness(bars[i], bars[i + lag]) >= kMatch;
    size_t i = 0;
    while (i < len) {
      if (!match[i]) {
        ++i;
        continue;
      }
      // A bar that differs ends the run: bridged, a chord shared now and then by two sections
      // would join them into one.
      size_t end = i + 1;
      while (end < len && match[end]) ++end;
      if (end - i >= kMinSectionBars) out.push_back({lag, i, end - i});
      i = end;
    }
  }
  return out;
}

// Where sections begin: the bars where runs begin and end, on both sides of their lag (and every
// lag along a run longer than its lag: a stretch played over and over), those most runs agree on
// first, none within kMinSectionBars of another.
std::vector<size_t> Boundaries(const std::vector<Run>& runs, size_t n) {
  std::vector<double> votes(n + 1, 0.0);
  for (const Run& r : runs) {
    const double w = static_cast<double>(r.length);
    for (size_t at = r.first; at <= r.first + r.length + r.lag && at <= n; at += r.lag) votes[at] += w;
    votes[std::min(n, r.first + r.length)] += w;
    votes[std::min(n, r.first + r.length + r.lag)] += w;
  }
  std::vector<size_t> order(n + 1);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return votes[a] > votes[b]; });
  std::vector<uint8_t> picked(n + 1, 0);
  picked[0] = picked[n] = 1;
  // The song's ends do not keep a section from beginning near them (after a short intro).
  auto clear = [&](size_t at) {
    for (size_t k = at >= kMinSectionBars ? at - kMinSectionBars + 1 : 1; k < std::min(n, at + kMinSectionBars); ++k)
      if (picked[k]) return false;
    return at > 0 && at < n;
  };
  for (size_t at : order)
    if (votes[at] > 0 && clear(at)) picked[at] = 1;
  std::vector<size_t> out;
  for (size_t k = 0; k <= n; ++k)
    if (picked[k]) out.push_back(k);
  return out;
}

// Whether most bars last about as long as the song's median bar: bars cut short here and there
// are bars of a beat followed through noise, or through music whose metre was not found.
bool RegularBars(const std::vector<double>& lines) {
  std::vector<double> lengths;
  for (size_t i = 1; i < lines.size(); ++i) lengths.push_back(lines[i] - lines[i - 1]);
  std::vector<double> sorted = lengths;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const auto regular = std::count_if(lengths.begin(), lengths.end(), [&](double l) { return std::abs(l - median) <= kBarSpread * median; });
  return static_cast<double>(regular) >= kRegularShare * static_cast<double>(lengths.size());
}

size_t Root(std::vector<size_t>& parent, size_t i) {
  while (parent[i] != i) i = parent[i] = parent[parent[i]];
  return i;
}

}  // namespace

std::vector<wave::Section> FindSections(const Features& f, const SongBeats& beats) {
  std::vector<wave::Section> out;
  std::vector<double> lines = beats.bars;
  if (lines.size() < 2 * kMinSectionBars + 1 || lines.size() > kMaxBars || !RegularBars(lines)) return out;
  // The last bar ends a bar's length after the last bar line, within the song.
  lines.push_back(std::min(f.Seconds(), lines.back() + (lines.back() - lines[lines.size() - 2])));
  const std::vector<Bar> bars = Describe(f, lines);
  const size_t n = bars.size();
  const std::vector<Run> runs = Runs(bars);
  const std::vector<size_t> edges = Boundaries(runs, n);
  const size_t segments = edges.size() - 1;
  // Per bar, its segment.
  std::vector<size_t> segmentOf(n);
  for (size_t s = 0; s < segments; ++s)
    for (size_t k = edges[s]; k < edges[s + 1]; ++k) segmentOf[k] = s;
  // Two segments are one group where a run carries (most of) the one onto (most of) the other.
  std::vector<size_t> parent(segments);
  std::iota(parent.begin(), parent.end(), 0);
  for (const Run& r : runs) {
    for (size_t s = segmentOf[r.first]; s < segments && edges[s] < r.first + r.length; ++s) {
      const size_t a = edges[s], b = edges[s + 1], length = b - a;
      const size_t inside = std::min(b, r.first + r.length) - std::max(a, r.first);
      if (static_cast<double>(inside) < kFreeShare * static_cast<double>(length) || b + r.lag > n) continue;
      const size_t t = segmentOf[a + r.lag];
      const size_t ta = edges[t], tb = edges[t + 1];
      const size_t shared = std::min(tb, b + r.lag) - std::max(ta, a + r.lag);
      if (static_cast<double>(shared) < kFreeShare * static_cast<double>(std::max(length, tb - ta))) continue;
      parent[Root(parent, s)] = Root(parent, t);
    }
  }
  // Groups numbered in order of first hearing.
  std::vector<int> number(segments, -1);
  int next = 0;
  for (size_t s = 0; s < segments; ++s) {
    int& g = number[Root(parent, s)];
    if (g < 0) g = next++;
    out.push_back({lines[edges[s]], lines[edges[s + 1]], g});
  }
  // Nothing heard twice: no sections to show.
  if (next == static_cast<int>(out.size())) out.clear();
  return out;
}

}  // namespace analysis
