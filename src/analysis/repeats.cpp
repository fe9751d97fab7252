#include "analysis/repeats.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/part_level.h"

namespace analysis {

namespace {

// The self-similarity is taken over at most this many steps: a song of up to 4 minutes in hops of
// 0.2 s, a longer file in groups of hops (a 2-hour file in steps of 6 s). Its cost and its
// 5.8 MB of similarities stay the same however long the file is.
constexpr size_t kMaxSteps = 1200;
constexpr double kMinLagSeconds = 5;       // a repeat is at least this far from its original
constexpr double kSegmentSeconds = 4;      // the stretch compared around each step
constexpr double kPartnerSpacingSeconds = 1.5;
constexpr double kMinRunSeconds = 4;       // a chorus lasts at least this long
constexpr double kLevelAgreementDb = 0.5;  // a repeat's steps agree in level at least this closely
constexpr double kLevelAgreementSpread = 3; // or this many times as closely as inside the repeat
constexpr double kLevelAheadSeconds = 1;   // the level a step is compared by
constexpr double kGapSeconds = 1;          // a break in a run this short is bridged
constexpr double kEdgeSearchSeconds = 3;   // where the chorus's first step is looked for
constexpr double kEdgeSideSeconds = 2;
constexpr double kLoudnessWeight = 0.08;   // per dB of change across an edge, as similarity
constexpr double kLoudnessCapDb = 10;
constexpr double kQuietDb = 15;            // below the song's loud level: a quiet stretch
constexpr float kMinSimilarity = 0.5f;     // below this nothing counts as a repeat

using Chroma = std::array<float, 12>;

struct Steps {
  size_t count = 0;
  double seconds = 0;  // per step
  std::vector<Chroma> chroma;  // mean removed, unit length; zero when quiet
  std::vector<float> db;
  std::vector<uint8_t> quiet;
};

double Quantile(std::vector<float> v, double q) {
  if (v.empty()) return 0;
  const auto k = static_cast<size_t>(q * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k];
}

Steps MakeSteps(const Features& f) {
  Steps s;
  const size_t n = f.hops.size();
  const size_t group = std::max<size_t>(1, (n + kMaxSteps - 1) / kMaxSteps);
  s.count = n / group;
  s.seconds = f.HopSeconds() * static_cast<double>(group);
  s.chroma.assign(s.count, Chroma{});
  s.db.assign(s.count, 0);
  s.quiet.assign(s.count, 0);
  for (size_t i = 0; i < s.count; ++i) {
    double energy = 0;
    for (size_t k = i * group; k < (i + 1) * group; ++k) {
      const Hop& h = f.hops[k];
      energy += h.energy;
      float sum = 0;
      for (uint8_t c : h.chroma) sum += c;
      if (sum > 0)
        for (size_t c = 0; c < 12; ++c) s.chroma[i][c] += static_cast<float>(h.chroma[c]) / sum;
    }
    s.db[i] = static_cast<float>(PowerDb(energy / static_cast<double>(group)));
  }
  const double loud = Quantile(s.db, 0.9);
  Chroma mean{};
  size_t heard = 0;
  for (size_t i = 0; i < s.count; ++i) {
    s.quiet[i] = s.db[i] < loud - kQuietDb || s.db[i] < -80;
    if (s.quiet[i]) continue;
    ++heard;
    for (size_t c = 0; c < 12; ++c) mean[c] += s.chroma[i][c];
  }
  for (float& m : mean) m /= static_cast<float>(std::max<size_t>(1, heard));
  for (size_t i = 0; i < s.count; ++i) {
    Chroma& v = s.chroma[i];
    float norm = 0;
    for (size_t c = 0; c < 12; ++c) {
      v[c] -= mean[c];
      norm += v[c] * v[c];
    }
    norm = std::sqrt(norm);
    for (float& x : v) x = (s.quiet[i] || norm < 1e-6f) ? 0.0f : x / norm;
  }
  return s;
}

float Dot(const Chroma& a, const Chroma& b) {
  float d = 0;
  for (size_t c = 0; c < 12; ++c) d += a[c] * b[c];
  return d;
}

// Similarity of the stretches centred on every pair of steps at least minLag apart (symmetric;
// nearer pairs hold -1).
std::vector<float> SegmentSimilarity(const Steps& s, size_t minLag, size_t half) {
  const size_t n = s.count;
  std::vector<float> d(n * n, -1.0f);
  std::vector<double> prefix(n + 1);
  for (size_t lag = minLag; lag < n; ++lag) {
    const size_t len = n - lag;
    prefix[0] = 0;
    for (size_t i = 0; i < len; ++i) prefix[i + 1] = prefix[i] + Dot(s.chroma[i], s.chroma[i + lag]);
    for (size_t i = 0; i < len; ++i) {
      const size_t lo = i >= half ? i - half : 0, hi = std::min(len - 1, i + half);
      const auto v = static_cast<float>((prefix[hi + 1] - prefix[lo]) / static_cast<double>(hi - lo + 1));
      d[i * n + i + lag] = v;
      d[(i + lag) * n + i] = v;
    }
  }
  return d;
}

// The value splitting `v` into two classes with the least spread within them (Otsu's method).
float SplitValue(const std::vector<float>& v) {
  constexpr int kBins = 100;
  std::array<double, kBins> hist{};
  for (float x : v) hist[static_cast<size_t>(std::clamp(static_cast<int>((x + 1) / 2 * kBins), 0, kBins - 1))] += 1;
  const double total = static_cast<double>(v.size());
  double sumAll = 0;
  for (int b = 0; b < kBins; ++b) sumAll += b * hist[b];
  double weightLow = 0, sumLow = 0, best = -1;
  int split = kBins / 2;
  for (int b = 0; b < kBins; ++b) {
    weightLow += hist[b];
    sumLow += b * hist[b];
    const double weightHigh = total - weightLow;
    if (weightLow == 0 || weightHigh == 0) continue;
    const double meanLow = sumLow / weightLow, meanHigh = (sumAll - sumLow) / weightHigh;
    const double between = weightLow * weightHigh * (meanLow - meanHigh) * (meanLow - meanHigh);
    if (between > best) {
      best = between;
      split = b;
    }
  }
  return static_cast<float>((split + 1) * 2.0 / kBins - 1);
}

// Which pairs of steps lie on a long repeat: a run of at least `minRun` steps along a diagonal
// of the similarity (the same lag) above `threshold`, breaks of up to `gap` steps bridged. A
// chord or two that two sections share makes short runs only; a section played again, a long one.
std::vector<uint8_t> LongRepeats(const std::vector<float>& d, size_t n, float threshold, size_t minRun, size_t gap) {
  std::vector<uint8_t> on(n * n, 0);
  for (size_t lag = 1; lag < n; ++lag) {
    size_t i = 0;
    const size_t len = n - lag;
    while (i < len) {
      if (d[i * n + i + lag] <= threshold) {
        ++i;
        continue;
      }
      size_t last = i;
      for (size_t j = i; j < len && j <= last + gap + 1; ++j)
        if (d[j * n + j + lag] > threshold) last = j;
      if (last - i + 1 >= minRun)
        for (size_t k = i; k <= last; ++k) {
          on[k * n + k + lag] = 1;
          on[(k + lag) * n + k] = 1;
        }
      i = last + 1;
    }
  }
  return on;
}

// The steps whose stretch matches the one at `i` (local maxima above `threshold`, at least
// `spacing` apart) on a long repeat.
std::vector<size_t> Partners(const std::vector<float>& d, const std::vector<uint8_t>& longRepeat, size_t n, size_t i,
                             float threshold, size_t spacing) {
  std::vector<size_t> out;
  const float* row = &d[i * n];
  for (size_t j = 0; j < n; ++j) {
    if (row[j] <= threshold || !longRepeat[i * n + j]) continue;
    const size_t lo = j >= spacing ? j - spacing : 0, hi = std::min(n - 1, j + spacing);
    bool peak = true;
    for (size_t k = lo; k <= hi && peak; ++k) peak = k < j ? row[k] < row[j] : row[k] <= row[j];
    if (peak) out.push_back(j);
  }
  return out;
}

struct Run {
  size_t first = 0, count = 0;
  double cover = 0;
};

std::vector<Run> Runs(const std::vector<int>& cover, const Steps& s, int level, size_t gap, size_t minRun) {
  std::vector<Run> runs;
  size_t i = 0;
  while (i < s.count) {
    if (cover[i] < level || s.quiet[i]) {
      ++i;
      continue;
    }
    Run r{i, 0, 0};
    size_t last = i, j = i;
    for (; j < s.count && j <= last + gap + 1; ++j)
      if (cover[j] >= level && !s.quiet[j]) last = j;
    r.count = last - i + 1;
    for (size_t k = i; k <= last; ++k) r.cover += cover[k];
    r.cover /= static_cast<double>(r.count);
    if (r.count >= minRun) runs.push_back(r);
    i = last + 1;
  }
  return runs;
}

// The step where the repeat of the stretch at `inside` begins, near `guess`: the largest rise of
// the step-by-step similarity with its partners, helped by a change of loudness (sections tend to
// begin where the band gets louder or softer; a lead-in bar on the chorus's chord does not).
size_t RepeatEdge(const Steps& s, const std::vector<size_t>& partners, size_t inside, size_t guess) {
  const size_t n = s.count, search = StepsOf(kEdgeSearchSeconds, s.seconds), side = StepsOf(kEdgeSideSeconds, s.seconds);
  if (partners.empty()) return guess;
  auto similarity = [&](size_t t) {
    double sum = 0;
    for (size_t j : partners) {
      const auto other = static_cast<std::ptrdiff_t>(t) + (static_cast<std::ptrdiff_t>(j) - static_cast<std::ptrdiff_t>(inside));
      if (other >= 0 && other < static_cast<std::ptrdiff_t>(n)) sum += Dot(s.chroma[t], s.chroma[static_cast<size_t>(other)]);
    }
    return sum / static_cast<double>(partners.size());
  };
  const size_t lo = guess > search ? guess - search : 0, hi = std::min(n - 1, guess + search);
  std::vector<double> a(n, 0.0);
  const size_t from = lo > side ? lo - side : 0, to = std::min(n - 1, hi + side);
  for (size_t t = from; t <= to; ++t) a[t] = similarity(t);
  size_t best = guess;
  double bestRise = -1e9;
  for (size_t b = std::max<size_t>(lo, 1); b <= hi; ++b) {
    double after = 0, before = 0, dbAfter = 0, dbBefore = 0;
    size_t na = 0, nb = 0;
    for (size_t k = b; k < b + side && k <= to; ++k, ++na) {
      after += a[k];
      dbAfter += s.db[k];
    }
    for (size_t k = b - std::min(b, side); k < b; ++k, ++nb) {
      before += a[k];
      dbBefore += s.db[k];
    }
    if (na == 0 || nb == 0) continue;
    const double change = std::abs(dbAfter / static_cast<double>(na) - dbBefore / static_cast<double>(nb));
    const double rise = after / static_cast<double>(na) - before / static_cast<double>(nb) +
                        kLoudnessWeight * std::min(change, kLoudnessCapDb);
    if (rise > bestRise) {
      bestRise = rise;
      best = b;
    }
  }
  return best;
}

// Where the repeat through `inside` begins, by the partners whose repeat begins near `guess`:
// along each partner's diagonal, back from `inside` while the steps still match (short breaks
// bridged). A partner whose repeat reaches far back (the verse before this chorus matches the
// verse before that one) tells nothing of where the chorus begins and is passed over. The
// median of the others; s.count when none.
size_t RepeatStart(const Steps& s, const std::vector<size_t>& partners, size_t inside, size_t guess, float threshold) {
  const auto n = static_cast<std::ptrdiff_t>(s.count);
  const auto search = static_cast<std::ptrdiff_t>(StepsOf(kEdgeSearchSeconds, s.seconds));
  const auto gap = static_cast<std::ptrdiff_t>(StepsOf(kGapSeconds, s.seconds));
  const auto in = static_cast<std::ptrdiff_t>(inside);
  // The level over a second from just before each step on: a step matches its partner's only at
  // much the same level (the bar before a chorus can hold the chord its last bar holds, but not
  // its level). Looking ahead, the first step of a section is judged by that section alone (less
  // the attack of its first beat, which can begin in the step before).
  const auto ahead = static_cast<std::ptrdiff_t>(StepsOf(kLevelAheadSeconds, s.seconds));
  std::vector<double> level(s.count, 0.0);
  for (std::ptrdiff_t t = 0; t < n; ++t) {
    double sum = 0;
    int count = 0;
    for (std::ptrdiff_t k = std::max<std::ptrdiff_t>(0, t - 1); k < std::min(n, t + ahead - 1); ++k, ++count)
      sum += std::pow(10.0, s.db[static_cast<size_t>(k)] / 10);
    level[static_cast<size_t>(t)] = PowerDb(sum / std::max(1, count));
  }
  std::vector<std::ptrdiff_t> starts;
  for (size_t j : partners) {
    const std::ptrdiff_t lag = static_cast<std::ptrdiff_t>(j) - in;
    // How closely the levels of this repeat agree inside it sets how closely they must agree: a
    // copy agrees to a fraction of a dB, a chorus sung again to a dB or two.
    std::vector<double> inner;
    for (std::ptrdiff_t t = in; t < in + search && t < n && t + lag < n; ++t)
      inner.push_back(std::abs(level[static_cast<size_t>(t)] - level[static_cast<size_t>(t + lag)]));
    double tol = kLevelAgreementDb;
    if (!inner.empty()) {
      std::nth_element(inner.begin(), inner.begin() + static_cast<std::ptrdiff_t>(inner.size() / 2), inner.end());
      tol = std::max(tol, kLevelAgreementSpread * inner[inner.size() / 2]);
    }
    auto same = [&](std::ptrdiff_t a, std::ptrdiff_t b) {
      return Dot(s.chroma[static_cast<size_t>(a)], s.chroma[static_cast<size_t>(b)]) > threshold &&
             std::abs(level[static_cast<size_t>(a)] - level[static_cast<size_t>(b)]) <= tol;
    };
    std::ptrdiff_t first = in, t = in;
    while (t - 1 >= 0 && t - 1 + lag >= 0 && t - 1 + lag < n && first - (t - 1) <= gap + 1) {
      --t;
      if (same(t, t + lag)) first = t;
    }
    if (std::abs(first - static_cast<std::ptrdiff_t>(guess)) <= search) starts.push_back(first);
  }
  if (starts.empty()) return s.count;
  std::nth_element(starts.begin(), starts.begin() + static_cast<std::ptrdiff_t>(starts.size() / 2), starts.end());
  return static_cast<size_t>(starts[starts.size() / 2]);
}

Repeats ChorusStarts(const Features& f, const Steps& s, double length) {
  const size_t n = s.count;
  const size_t minLag = StepsOf(kMinLagSeconds, s.seconds), half = StepsOf(kSegmentSeconds, s.seconds) / 2;
  if (n < 2 * minLag + 2) return {};
  const std::vector<float> d = SegmentSimilarity(s, minLag, half);
  std::vector<float> best;
  for (size_t i = 0; i < n; ++i)
    if (!s.quiet[i]) best.push_back(*std::max_element(d.begin() + static_cast<std::ptrdiff_t>(i * n), d.begin() + static_cast<std::ptrdiff_t>((i + 1) * n)));
  if (best.size() < 4) return {};
  const float high = static_cast<float>(Quantile(best, 0.9));
  const float threshold = std::max(kMinSimilarity, std::min(SplitValue(best), high - 0.1f));
  const size_t spacing = StepsOf(kPartnerSpacingSeconds, s.seconds);
  const std::vector<uint8_t> longRepeat =
      LongRepeats(d, n, threshold, StepsOf(kMinRepeatSeconds, s.seconds), StepsOf(kGapSeconds, s.seconds));
  std::vector<int> cover(n, 0);
  for (size_t i = 0; i < n; ++i)
    if (!s.quiet[i]) cover[i] = static_cast<int>(Partners(d, longRepeat, n, i, threshold, spacing).size());
  const int most = *std::max_element(cover.begin(), cover.end());
  if (most == 0) return {};
  const size_t gap = StepsOf(kGapSeconds, s.seconds), minRun = StepsOf(kMinRunSeconds, s.seconds);
  std::vector<Run> runs;
  for (int level = most - most / 3; level >= 1 && runs.empty(); --level) runs = Runs(cover, s, level, gap, minRun);
  if (runs.empty()) return {};
  const size_t partSteps = StepsOf(length, s.seconds);
  auto score = [&](const Run& r) { return r.cover * static_cast<double>(std::min(r.count, partSteps)); };
  double top = 0;
  for (const Run& r : runs) top = std::max(top, score(r));
  const Run* chosen = nullptr;
  for (const Run& r : runs) {
    if (score(r) < 0.9 * top) continue;
    const bool fits = static_cast<double>(r.first) * s.seconds + length <= f.Seconds();
    if (chosen == nullptr || (fits && static_cast<double>(chosen->first) * s.seconds + length > f.Seconds())) chosen = &r;
    if (fits) break;
  }
  const size_t inside = std::min(chosen->first + half + 1, chosen->first + chosen->count - 1);
  const std::vector<size_t> partners = Partners(d, longRepeat, n, inside, threshold, spacing);
  size_t edge = RepeatStart(s, partners, inside, chosen->first, threshold);
  if (edge == n) edge = RepeatEdge(s, partners, inside, chosen->first);
  while (edge < n && s.quiet[edge]) ++edge;
  Repeats out;
  out.seconds = static_cast<double>(chosen->count) * s.seconds;
  std::vector<double>& starts = out.starts;
  starts.push_back(static_cast<double>(edge) * s.seconds);
  for (size_t j : partners) {
    const auto other = static_cast<std::ptrdiff_t>(j) + static_cast<std::ptrdiff_t>(edge) - static_cast<std::ptrdiff_t>(inside);
    if (other >= 0 && other < static_cast<std::ptrdiff_t>(n)) starts.push_back(static_cast<double>(other) * s.seconds);
  }
  return out;
}

}  // namespace

size_t StepsOf(double seconds, double stepSeconds) {
  return static_cast<size_t>(std::max(1.0, std::round(seconds / stepSeconds)));
}

Repeats FindChorusRepeats(const Features& f, double length) { return ChorusStarts(f, MakeSteps(f), length); }

}  // namespace analysis
