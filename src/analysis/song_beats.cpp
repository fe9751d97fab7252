// The beats and bar lines of a whole song. The onsets: the rise of each band's level from one
// pulse to the next, added over the bands (a log spectral flux). The tempo: the lag at which the
// onsets repeat best, weighed towards 120 bpm, and, where a stretch holds another for a while,
// that stretch's own. The beats: the chain of onsets a period apart that gathers the most onset
// strength, by dynamic programming over the whole song (as Ellis's 2007 beat tracker does), so the
// beat holds through a part. The phase: a chain of onsets can lock onto the off-beats (a hi-hat's
// eighths, a syncopated line); the beat is where the bass and kick land and the chords change, so
// the chain moves by half a beat where those fall between its beats. The bar lines: where the
// chords change most, every 3 or 4 beats, by a Viterbi path that lets a bar be cut short.
#include "analysis/song_beats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "analysis/part_level.h"

namespace analysis {

namespace {

constexpr double kMinPeriodSeconds = 0.25;   // 240 bpm
constexpr double kMaxPeriodSeconds = 1.5;    // 40 bpm
constexpr double kPreferredSeconds = 0.5;    // 120 bpm
constexpr double kPreferenceOctaves = 1.0;
constexpr double kTempoSeconds = 400;        // the most of a song the tempo is taken from
constexpr double kLocalSeconds = 10;         // a stretch whose own tempo is looked for
constexpr double kLocalStepSeconds = 2;      // and the steps it is looked for in
constexpr double kLocalOctaves = 0.25;       // how far a stretch's tempo strays from the song's
constexpr size_t kLocalRunSteps = 6;         // a tempo of its own held over this many steps
constexpr double kLocalAgree = 0.04;         // (their periods within this share of each other)
constexpr double kLocalChange = 0.1;         // and this share or more off the song's
constexpr double kTightness = 400;           // the cost of a beat interval off the period
constexpr double kFloorDb = -70;             // band levels below this count as silence
constexpr double kSoundingDb = 35;           // under the song's median: no beats there
constexpr double kBarResetSpreads = 5;       // a bar cut short costs this many spreads of chord change
constexpr double kOffBeatShare = 1.15;       // the half-beat grid must hold this much more
constexpr double kMeanSeconds = 0.5;         // the onsets' local mean taken away

double BandDb(uint8_t v) { return std::max(kFloorDb, v * BandLevels::kStepDb - 100); }

struct Onsets {
  std::vector<double> all;  // every band, local mean removed, unit spread
  std::vector<double> low;  // the lowest band (bass, kick), not normalised
};

Onsets OnsetsOf(const Features& f) {
  const size_t n = f.pulses.size();
  Onsets o;
  o.all.assign(n, 0.0);
  o.low.assign(n, 0.0);
  const bool banded = f.bands.size() == n;
  for (size_t p = 1; p < n; ++p) {
    if (banded) {
      double sum = 0;
      for (size_t b = 0; b < BandLevels::kBands; ++b) sum += std::max(0.0, BandDb(f.bands[p][b]) - BandDb(f.bands[p - 1][b]));
      o.all[p] = sum;
      o.low[p] = std::max(0.0, BandDb(f.bands[p][0]) - BandDb(f.bands[p - 1][0]));
    } else {
      const double now = std::max(kFloorDb, PowerDb(f.pulses[p])), before = std::max(kFloorDb, PowerDb(f.pulses[p - 1]));
      o.all[p] = std::max(0.0, now - before);
      o.low[p] = o.all[p];
    }
  }
  // Less the local mean, so a loud stretch's steady rattle does not count as beats.
  const auto half = static_cast<size_t>(std::max(1.0, kMeanSeconds / f.PulseSeconds()));
  std::vector<double> prefix(n + 1, 0.0);
  for (size_t p = 0; p < n; ++p) prefix[p + 1] = prefix[p] + o.all[p];
  double sq = 0;
  std::vector<double> out(n);
  for (size_t p = 0; p < n; ++p) {
    const size_t lo = p >= half ? p - half : 0, hi = std::min(n, p + half + 1);
    out[p] = o.all[p] - (prefix[hi] - prefix[lo]) / static_cast<double>(hi - lo);
    sq += out[p] * out[p];
  }
  const double spread = std::sqrt(sq / std::max<double>(1, static_cast<double>(n)));
  if (spread > 0)
    for (double& x : out) x /= spread;
  o.all = std::move(out);
  return o;
}

// `o` through a triangle five pulses wide.
std::vector<double> Spread(const std::vector<double>& o) {
  std::vector<double> out(o.size(), 0.0);
  static constexpr double kWeights[] = {1.0 / 9, 2.0 / 9, 3.0 / 9, 2.0 / 9, 1.0 / 9};
  for (size_t p = 0; p < o.size(); ++p)
    for (size_t k = 0; k < 5; ++k)
      if (p + k >= 2 && p + k - 2 < o.size()) out[p] += kWeights[k] * o[p + k - 2];
  return out;
}

// The autocorrelation of o over [from, to) at lag `lag`.
double Autocorrelation(const std::vector<double>& o, size_t from, size_t to, size_t lag) {
  double ac = 0;
  for (size_t p = from; p + lag < to; ++p) ac += o[p] * o[p + lag];
  return to > from + lag ? ac / static_cast<double>(to - from - lag) : 0;
}

// The best beat period of o over [from, to) within [minLag, maxLag] pulses: the lag at which the
// onsets repeat, and repeat again at twice it (and at the bar), weighed by a log-normal preference for `preferred`
// pulses of width `octaves`; refined between pulses. 0 when nothing correlates.
double BestLag(const std::vector<double>& o, size_t from, size_t to, size_t minLag, size_t maxLag, double preferred,
               double octaves, bool atBars) {
  const size_t span = to - from;
  // Only the lags looked at: those of the range, one either side, and their doubles.
  std::vector<double> ac(8 * maxLag + 3, 0.0);
  auto fill = [&](size_t l) {
    if (2 * l < span) ac[l] = Autocorrelation(o, from, to, l);
  };
  for (size_t l = minLag > 0 ? minLag - 1 : 0; l <= maxLag + 1; ++l) {
    fill(l);
    if (l >= minLag && l <= maxLag)
      for (const size_t k : {2, 3, 4, 8})
        if (k == 2 || atBars) fill(k * l);
    if (l >= minLag && l <= maxLag && atBars) {
      fill((l + 1) / 2);
      fill((l + 2) / 4);
    }
  }
  // A beat repeats at two beats and, over a whole song (`atBars`), again at the bar (three or
  // four beats) and at two bars, and is divided into eighths and sixteenths that repeat too; a
  // pattern of three sixteenths or a dotted quarter, which a lag can lock onto as well, neither
  // comes back at the bar nor divides so. (A short stretch may hold a change of tempo within a few
  // bars.)
  auto salience = [&](size_t l) {
    return ac[l] + 0.5 * ac[2 * l] + 0.5 * std::max(ac[3 * l], ac[4 * l]) + 0.5 * ac[8 * l] +
           (atBars ? 0.5 * ac[(l + 1) / 2] + 0.5 * ac[(l + 2) / 4] : 0.0);
  };
  double best = 0;
  size_t at = 0;
  for (size_t l = minLag; l <= maxLag; ++l) {
    const double x = std::log2(static_cast<double>(l) / preferred) / octaves;
    const double v = salience(l) * std::exp(-0.5 * x * x);
    if (v > best) {
      best = v;
      at = l;
    }
  }
  if (at == 0) return 0;
  const double a = ac[at - 1], b = ac[at], c = ac[at + 1], d = a - 2 * b + c;
  const double shift = d < 0 ? std::clamp(0.5 * (a - c) / d, -0.5, 0.5) : 0.0;
  return static_cast<double>(at) + shift;
}

// The value of o near pulse `at` (the strongest within a pulse either side).
double Near(const std::vector<double>& o, double at) {
  const auto p = static_cast<std::ptrdiff_t>(std::llround(at));
  double best = 0;
  for (std::ptrdiff_t q = p - 1; q <= p + 1; ++q)
    if (q >= 0 && q < static_cast<std::ptrdiff_t>(o.size())) best = std::max(best, o[static_cast<size_t>(q)]);
  return best;
}

// How much the chords change at `at` seconds: one less the likeness of the profiles of `span`
// seconds before and after it.
double ChordChange(const Features& f, double at, double span) {
  const auto a = ChromaOf(f, at - span, at), b = ChromaOf(f, at, at + span);
  double dot = 0, na = 0, nb = 0;
  for (size_t i = 0; i < 12; ++i) {
    dot += a[i] * b[i];
    na += a[i] * a[i];
    nb += b[i] * b[i];
  }
  return na > 0 && nb > 0 ? 1 - dot : 0;
}

// The beats, in pulses, of the chain through the onsets by dynamic programming, `period[p]` the
// period expected at pulse p.
std::vector<double> Chain(const std::vector<double>& o, const std::vector<double>& period) {
  const size_t n = o.size();
  std::vector<double> score(n, 0.0);
  std::vector<std::ptrdiff_t> back(n, -1);
  // The cost of each interval (in pulses) off the period, for the period in force.
  std::vector<double> cost;
  double costFor = -1;
  for (size_t t = 0; t < n; ++t) {
    const double P = period[t];
    if (P != costFor) {
      cost.assign(static_cast<size_t>(std::ceil(2 * P)) + 2, 0.0);
      for (size_t d = 1; d < cost.size(); ++d) {
        const double x = std::log(static_cast<double>(d) / P);
        cost[d] = kTightness * x * x;
      }
      costFor = P;
    }
    const auto lo = static_cast<std::ptrdiff_t>(std::floor(static_cast<double>(t) - 2 * P));
    const auto hi = static_cast<std::ptrdiff_t>(std::ceil(static_cast<double>(t) - P / 2));
    double best = 0;
    std::ptrdiff_t from = -1;
    for (std::ptrdiff_t u = std::max<std::ptrdiff_t>(0, lo); u <= hi && u < static_cast<std::ptrdiff_t>(t); ++u) {
      const double v = score[static_cast<size_t>(u)] - cost[static_cast<size_t>(static_cast<std::ptrdiff_t>(t) - u)];
      if (v > best) {
        best = v;
        from = u;
      }
    }
    score[t] = o[t] + best;
    back[t] = from;
  }
  // The chain ends at the best score within the last two periods.
  const auto last = static_cast<size_t>(std::max(0.0, static_cast<double>(n) - 2 * period[n - 1]));
  size_t end = n - 1;
  for (size_t t = last; t < n; ++t)
    if (score[t] > score[end]) end = t;
  std::vector<double> beats;
  for (auto t = static_cast<std::ptrdiff_t>(end); t >= 0; t = back[static_cast<size_t>(t)]) beats.push_back(static_cast<double>(t));
  std::reverse(beats.begin(), beats.end());
  return beats;
}

// The bar lines among `beats` (seconds): their indices, and the beats per bar found.
std::vector<size_t> BarLines(const Features& f, const std::vector<double>& beats, int& perBar) {
  const size_t n = beats.size();
  std::vector<double> d(n, 0.0);
  if (n < 8) {
    perBar = 4;
    std::vector<size_t> out;
    for (size_t i = 0; i < n; i += 4) out.push_back(i);
    return out;
  }
  for (size_t i = 0; i < n; ++i) {
    const double span = i + 1 < n ? beats[i + 1] - beats[i] : beats[i] - beats[i - 1];
    // A bar's chords change at its line: the profiles of one beat and of two beats either side
    // (a chord held over the bar line counts less than a change). Where the bass and kick land
    // tells little: riffs push them onto the beat before or after.
    d[i] = ChordChange(f, beats[i], span) + ChordChange(f, beats[i], 2 * span);
  }
  const double mean = std::accumulate(d.begin(), d.end(), 0.0) / static_cast<double>(n);
  double sq = 0;
  for (double& x : d) {
    x -= mean;
    sq += x * x;
  }
  const double spread = std::sqrt(sq / static_cast<double>(n)) + 1e-9;
  // The metre whose bar lines stand out most from the other beats.
  auto contrast = [&](int m) {
    double best = -1e9;
    for (int phase = 0; phase < m; ++phase) {
      double on = 0, off = 0;
      size_t non = 0, noff = 0;
      for (size_t i = 0; i < n; ++i) {
        if (static_cast<int>(i % static_cast<size_t>(m)) == phase) {
          on += d[i];
          ++non;
        } else {
          off += d[i];
          ++noff;
        }
      }
      best = std::max(best, on / static_cast<double>(std::max<size_t>(1, non)) - off / static_cast<double>(std::max<size_t>(1, noff)));
    }
    return best;
  };
  perBar = contrast(3) > 1.25 * contrast(4) && contrast(3) > 0 ? 3 : 4;
  const auto m = static_cast<size_t>(perBar);
  // Viterbi over the place in the bar: each beat the next place, a bar line after the last; a bar
  // cut short costs `reset`.
  const double reset = kBarResetSpreads * spread;
  std::vector<std::vector<double>> score(n, std::vector<double>(m, -1e18));
  std::vector<std::vector<uint8_t>> back(n, std::vector<uint8_t>(m, 0));
  for (size_t s = 0; s < m; ++s) score[0][s] = s == 0 ? d[0] : 0;
  for (size_t i = 1; i < n; ++i) {
    for (size_t s = 0; s < m; ++s) {
      const size_t prev = (s + m - 1) % m;
      double best = score[i - 1][prev];
      size_t from = prev;
      if (s == 0)
        for (size_t q = 0; q + 1 < m; ++q)
          if (score[i - 1][q] - reset > best) {
            best = score[i - 1][q] - reset;
            from = q;
          }
      score[i][s] = best + (s == 0 ? d[i] : 0);
      back[i][s] = static_cast<uint8_t>(from);
    }
  }
  size_t s = static_cast<size_t>(std::max_element(score[n - 1].begin(), score[n - 1].end()) - score[n - 1].begin());
  std::vector<size_t> out;
  for (size_t i = n; i-- > 0;) {
    if (s == 0) out.push_back(i);
    s = back[i][s];
  }
  std::reverse(out.begin(), out.end());
  return out;
}

}  // namespace

std::array<double, 12> ChromaOf(const Features& f, double from, double to) {
  std::array<double, 12> c{};
  const double hop = f.HopSeconds();
  if (hop <= 0 || f.hops.empty()) return c;
  // A hop's profile is of the window ending with it: hop k tells of about [k, k + 1) hops.
  const auto a = static_cast<size_t>(std::clamp(std::floor(from / hop), 0.0, static_cast<double>(f.hops.size())));
  const auto b = static_cast<size_t>(std::clamp(std::ceil(to / hop), 0.0, static_cast<double>(f.hops.size())));
  for (size_t k = a; k < std::max(b, a + 1) && k < f.hops.size(); ++k) {
    double sum = 0;
    for (uint8_t v : f.hops[k].chroma) sum += v;
    if (sum <= 0) continue;
    const double w = std::sqrt(static_cast<double>(f.hops[k].energy));
    for (size_t i = 0; i < 12; ++i) c[i] += w * f.hops[k].chroma[i] / sum;
  }
  double norm = 0;
  for (double v : c) norm += v * v;
  norm = std::sqrt(norm);
  if (norm > 0)
    for (double& v : c) v /= norm;
  return c;
}

SongBeats TrackBeats(const Features& f) {
  SongBeats out;
  const double pulse = f.PulseSeconds();
  const size_t n = f.pulses.size();
  if (pulse <= 0 || static_cast<double>(n) * pulse < 4 * kMaxPeriodSeconds) return out;
  const Onsets o = OnsetsOf(f);
  const auto minLag = static_cast<size_t>(std::ceil(kMinPeriodSeconds / pulse));
  const auto maxLag = static_cast<size_t>(std::floor(kMaxPeriodSeconds / pulse));
  // The song's tempo from its middle, at most kTempoSeconds of it.
  const auto span = std::min(n, static_cast<size_t>(kTempoSeconds / pulse));
  const size_t from = (n - span) / 2;
  // The tempo from the onsets spread over a few pulses: a period between whole pulses, and its
  // multiples, still meet the onsets they repeat.
  const std::vector<double> spread = Spread(o.all);
  const double lag = BestLag(spread, from, from + span, minLag, std::min(maxLag, span / 2), kPreferredSeconds / pulse,
                             kPreferenceOctaves, true);
  if (lag <= 0) return out;
  // Per step of kLocalStepSeconds, the tempo near the song's of the kLocalSeconds around it.
  const auto local = static_cast<size_t>(kLocalSeconds / pulse), step = static_cast<size_t>(kLocalStepSeconds / pulse);
  std::vector<double> period(n, lag);
  if (n > 2 * local) {
    const auto lo = static_cast<size_t>(std::max<double>(static_cast<double>(minLag), std::floor(lag * 0.7)));
    const auto hi = static_cast<size_t>(std::min<double>(static_cast<double>(maxLag), std::ceil(lag * 1.45)));
    std::vector<double> steps;
    for (size_t at = 0; at < n; at += step) {
      const size_t centre = at + step / 2;
      const size_t a = centre >= local / 2 ? centre - local / 2 : 0, b = std::min(n, centre + local / 2);
      const double l = b - a > 2 * hi ? BestLag(spread, a, b, lo, hi, lag, kLocalOctaves, false) : 0;
      steps.push_back(l > 0 ? l : lag);
    }
    // A stretch keeps a tempo of its own only where it holds for kLocalRunSteps steps or more,
    // clearly off the song's: a few bars that repeat at another lag (a fill, a triplet figure, a
    // break) are not a change of tempo, and a tempo a few per cent off is the song's, drifting,
    // which the chain follows by itself.
    for (size_t i = 0; i < steps.size();) {
      size_t j = i + 1;
      while (j < steps.size() && std::abs(steps[j] - steps[i]) <= kLocalAgree * steps[i]) ++j;
      const bool own = j - i >= kLocalRunSteps && std::abs(steps[i] - lag) > kLocalChange * lag;
      for (size_t k = i; k < j; ++k)
        for (size_t p = k * step; p < std::min(n, (k + 1) * step); ++p) period[p] = own ? steps[i] : lag;
      i = j;
    }
  }
  std::vector<double> chain = Chain(o.all, period);
  // Where the song sounds: no beats in the silence before or after it.
  const double floor = MedianLevelDb(f) - kSoundingDb;
  size_t first = 0, last = n;
  while (first < n && PowerDb(f.pulses[first]) < floor) ++first;
  while (last > first && PowerDb(f.pulses[last - 1]) < floor) --last;
  // The chain or the chain half a beat on: the one the bass, the kick and the chords are on.
  auto heldBy = [&](const std::vector<double>& beats) {
    double low = 0, chords = 0, lowAll = 0;
    for (double p : beats) {
      low += Near(o.low, p);
      chords += ChordChange(f, p * pulse, lag * pulse);
    }
    for (double x : o.low) lowAll += x;
    const double lowScale = lowAll > 0 ? static_cast<double>(n) / lowAll : 0;
    return low * lowScale / lag + 4 * chords;
  };
  std::vector<double> halfOn;
  for (size_t i = 0; i + 1 < chain.size(); ++i) halfOn.push_back((chain[i] + chain[i + 1]) / 2);
  if (!chain.empty() && chain.size() > 1) {
    const double before = chain[0] - (chain[1] - chain[0]) / 2;
    if (before >= 0) halfOn.insert(halfOn.begin(), before);
  }
  if (halfOn.size() > 8 && heldBy(halfOn) > kOffBeatShare * heldBy(chain)) chain = std::move(halfOn);
  for (double p : chain)
    if (p >= static_cast<double>(first) - lag / 2 && p <= static_cast<double>(last) + lag / 2)
      // The onset pulse is where the level has risen: the beat began within the pulse before.
    {
      out.beats.push_back(std::max(0.0, (p - 1) * pulse));
      out.strength.push_back(static_cast<float>(Near(o.all, p)));
    }
  for (size_t i = 0; i < out.beats.size(); ++i) {
    const double next = i + 1 < out.beats.size() ? out.beats[i + 1] : out.beats[i] + lag * pulse;
    out.between.push_back(static_cast<float>(Near(o.all, (out.beats[i] + next) / 2 / pulse + 1)));
  }
  out.period = lag * pulse;
  for (size_t i : BarLines(f, out.beats, out.beatsPerBar)) out.bars.push_back(out.beats[i]);
  return out;
}

double Nearest(const std::vector<double>& times, double seconds) {
  if (times.empty()) return seconds;
  const auto it = std::lower_bound(times.begin(), times.end(), seconds);
  if (it == times.end()) return times.back();
  if (it == times.begin()) return *it;
  return seconds - *(it - 1) <= *it - seconds ? *(it - 1) : *it;
}

}  // namespace analysis
