#include "analysis/chorus.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "analysis/beats.h"
#include "analysis/part_level.h"
#include "analysis/repeats.h"
#include "analysis/sections.h"
#include "analysis/song_beats.h"

namespace analysis {

namespace {

constexpr double kLevelSearchSeconds = 1.2;
constexpr double kLevelSideSeconds = 1;
constexpr double kMarkedLevelChangeDb = 3;
constexpr double kOnsetSearchSeconds = 0.5;
constexpr double kOnsetSpreadSeconds = 0.3;
constexpr double kClearOnset = 0.7;        // a rise in log energy (about twice the energy)
// The part made of a chorus instance.
constexpr double kSameLevelDb = 2;          // instances this near the loudest are as good as it
constexpr double kMinPartSeconds = 20;      // parts are 20 s to the requested length where possible
constexpr double kLevelMarginDb = 0.5;      // kept from the 6-dB limit, for the rounding of hops
constexpr double kBeatsPerBar = 4;
constexpr double kBeatSnapSeconds = 0.06;   // a beat of the grid moved to an onset this near
constexpr double kLengthSnapSeconds = 0.02; // a bar line this near the length ends the part at it
constexpr double kSteadyPeriod = 0.02;      // a beat period found again within this share is steady
constexpr double kSteadyBeat = 0.06;        // most of the song's beats keep their tempo within this share
constexpr double kSteadyShare = 0.85;       // (this share of them)
constexpr double kSteadiestBeat = 0.15;     // and all within this one
constexpr double kHeardBeat = 0.5;          // the onset strength the song's beats hold on average
constexpr double kBeatOverBetween = 1.1;    // and against the onsets halfway between them
constexpr double kClearBeat = 2;            // (unless they hold this much: off-beats as loud as the beat)
constexpr double kOutroShare = 0.1;         // no part ends in the song's last tenth
constexpr double kOutroFromSeconds = 60;    // of a song this long or longer

// `seconds` moved to the sharpest change of loudness close to it, if there is a marked one: the
// similarity finds a section's start to a bar or so, the band's change of level to a beat.
double AtLoudnessChange(const Features& f, double seconds) {
  const double pulse = f.PulseSeconds();
  const auto side = static_cast<size_t>(std::llround(kLevelSideSeconds / pulse));
  const auto reach = static_cast<std::ptrdiff_t>(std::llround(kLevelSearchSeconds / pulse));
  const auto n = static_cast<std::ptrdiff_t>(f.pulses.size());
  if (side == 0 || n < 2 * static_cast<std::ptrdiff_t>(side)) return seconds;
  std::vector<double> prefix(f.pulses.size() + 1, 0.0);
  for (size_t i = 0; i < f.pulses.size(); ++i) prefix[i + 1] = prefix[i] + f.pulses[i];
  const auto centre = static_cast<std::ptrdiff_t>(std::llround(seconds / pulse));
  const auto sideN = static_cast<std::ptrdiff_t>(side);
  double best = kMarkedLevelChangeDb;
  std::ptrdiff_t at = -1;
  for (std::ptrdiff_t p = std::max(sideN, centre - reach); p <= std::min(n - sideN, centre + reach); ++p) {
    const double before = (prefix[static_cast<size_t>(p)] - prefix[static_cast<size_t>(p - sideN)]) / kLevelSideSeconds;
    const double after = (prefix[static_cast<size_t>(p + sideN)] - prefix[static_cast<size_t>(p)]) / kLevelSideSeconds;
    const double change = std::abs(PowerDb(after) - PowerDb(before));
    if (change > best) {
      best = change;
      at = p;
    }
  }
  return at < 0 ? seconds : static_cast<double>(at) * pulse;
}

// `seconds` moved to the clearest onset close to it, if there is a clear one.
double OnOnset(const Features& f, double seconds) {
  const double pulse = f.PulseSeconds();
  if (f.pulses.size() < 3 || pulse <= 0) return seconds;
  const auto centre = static_cast<std::ptrdiff_t>(std::llround(seconds / pulse));
  const auto reach = static_cast<std::ptrdiff_t>(std::llround(kOnsetSearchSeconds / pulse));
  const auto last = static_cast<std::ptrdiff_t>(f.pulses.size()) - 1;
  double bestScore = 0;
  std::ptrdiff_t best = -1;
  for (std::ptrdiff_t p = std::max<std::ptrdiff_t>(1, centre - reach); p <= std::min(last, centre + reach); ++p) {
    const double rise = std::log(f.pulses[static_cast<size_t>(p)] + 1e-9) - std::log(f.pulses[static_cast<size_t>(p - 1)] + 1e-9);
    if (rise < kClearOnset) continue;
    const double d = static_cast<double>(p - centre) * pulse / kOnsetSpreadSeconds;
    const double score = rise * std::exp(-0.5 * d * d);
    if (score > bestScore) {
      bestScore = score;
      best = p;
    }
  }
  // The part starts a pulse before the rise, so the attack is whole.
  return best < 0 ? seconds : std::max(0.0, static_cast<double>(best - 1) * pulse);
}

// Whether the beat's period holds in both halves of the `length` seconds from `from` (found again,
// or half or twice it, the commonest slips of a tempo estimate): music keeps its tempo, while a
// period found in speech or noise is a chance one that the halves do not share.
bool SteadyPeriod(const Features& f, const BeatGrid& grid, double from, double length) {
  for (const double at : {from, from + length / 2}) {
    const double period = FindBeats(f, at, std::min(f.Seconds(), at + length / 2)).period;
    bool held = false;
    for (const double octave : {0.5, 1.0, 2.0}) held = held || std::abs(period - octave * grid.period) <= kSteadyPeriod * octave * grid.period;
    if (!held) return false;
  }
  return true;
}

// The part for a chorus heard over [start, end): from its first beat, the chorus (with its
// repeat) rounded to whole bars, kMinPartSeconds to `length` where the song allows, within the
// file; its start and end on the beat grid where the beat is clear. Where it is not, the period
// found is still most often the beat's (or half or twice it): the part then starts at the
// chorus's first onset and lasts whole bars of that period, so that a loop keeps time.
// The part from the song's bar line nearest `near` to the last bar line within `length` (at least
// kMinPartSeconds where bars allow); false where the song's bars do not reach so far or lie too
// far from `near`.
bool OnBars(const SongBeats& beats, double near, double length, double total, Part& part) {
  if (beats.bars.size() < 2 || beats.period <= 0) return false;
  const double from = Nearest(beats.bars, near);
  if (std::abs(from - near) > kBeatsPerBar * beats.period) return false;
  const auto first = static_cast<size_t>(std::lower_bound(beats.bars.begin(), beats.bars.end(), from) - beats.bars.begin());
  size_t last = first;
  // A bar line within a pulse or so of the length counts as coming to it, and the part is the
  // length itself (20 s asked of a song at 120 bpm is its 10 bars, however the beats were placed);
  // one further past it is left for the bar line before, so that the part ends on a beat.
  for (size_t k = first + 1; k < beats.bars.size() && beats.bars[k] - from <= length + kLengthSnapSeconds && beats.bars[k] <= total; ++k)
    last = k;
  if (last == first || beats.bars[last] - from < std::min(kMinPartSeconds, length) - kBeatSnapSeconds) return false;
  const double to = std::abs(beats.bars[last] - from - length) <= kLengthSnapSeconds ? from + length : beats.bars[last];
  part = {from, std::min(to, total)};
  return true;
}

// Whether the song's beats through the `length` seconds from `from` are heard and keep their
// tempo: the onsets on the beats of each half kHeardBeat spreads over their mean and
// kBeatOverBetween times those halfway between the beats (where the beats hold less than
// kClearBeat spreads: a riff's off-beats can ring as loud as a beat heard clearly), kSteadyShare
// of the intervals within kSteadyBeat of their median and all within kSteadiestBeat. A beat
// followed through noise or speech wanders or misses.
bool SteadyBeats(const SongBeats& beats, double from, double length) {
  const auto a = std::lower_bound(beats.beats.begin(), beats.beats.end(), from - 1);
  const auto b = std::upper_bound(beats.beats.begin(), beats.beats.end(), from + length + 1);
  if (b - a < 9) return false;
  // Each half of the stretch heard on its beats.
  const auto first = static_cast<size_t>(a - beats.beats.begin()), count = static_cast<size_t>(b - a);
  for (const size_t half : {first, first + count / 2}) {
    double held = 0, between = 0;
    for (size_t i = half; i < half + count / 2; ++i) {
      held += beats.strength[i];
      between += beats.between[i];
    }
    const auto beatsHere = static_cast<double>(count / 2);
    if (held < kHeardBeat * beatsHere || (held < kBeatOverBetween * between && held < kClearBeat * beatsHere)) return false;
  }
  std::vector<double> gaps;
  for (auto it = a + 1; it != b; ++it) gaps.push_back(*it - *(it - 1));
  std::vector<double> sorted = gaps;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const auto close = std::count_if(gaps.begin(), gaps.end(), [&](double g) { return std::abs(g - median) <= kSteadyBeat * median; });
  return static_cast<double>(close) >= kSteadyShare * static_cast<double>(gaps.size()) &&
         std::all_of(gaps.begin(), gaps.end(), [&](double g) { return std::abs(g - median) <= kSteadiestBeat * median; });
}

Part PartOf(const Features& f, const SongBeats& beats, double start, double end, double length) {
  const double total = f.Seconds();
  const double change = AtLoudnessChange(f, start);
  const BeatGrid grid = FindBeats(f, std::max(0.0, start - 2), std::min(total, start + length + 2));
  // Where the song's beats were followed at a steady tempo, the one heard in the part: from a bar
  // line, whole bars.
  if (Part part; SteadyBeats(beats, change, length) && OnBars(beats, change, length, total, part)) return part;
  const double onset = std::clamp(OnOnset(f, change), 0.0, std::max(0.0, total - length));
  if (grid.period <= 0 || (!grid.clear && !SteadyPeriod(f, grid, onset, length))) return {onset, std::min(total, onset + length)};
  const double from = grid.clear ? std::max(0.0, OnNearOnset(f, NearestBeat(grid, change), kBeatSnapSeconds)) : onset;
  const double bar = kBeatsPerBar * grid.period;
  double bars = std::max(1.0, std::round((end - from) / bar));
  // The grid's period is an estimate: bars that come to the length within the snap count as
  // fitting it, and end at it (20 s asked of a song at 120 bpm is its 10 bars, not 9).
  const double room = length + kBeatSnapSeconds;
  while (bars * bar < kMinPartSeconds && (bars + 1) * bar <= room) bars += 1;
  while (bars > 1 && bars * bar > room) bars -= 1;
  // Bars too long to make the shortest part within the length: the length itself.
  if (bars * bar > room || bars * bar < std::min(kMinPartSeconds, length) - kBeatSnapSeconds) {
    return {from, std::min(total, from + length)};
  }
  while (bars > 1 && from + bars * bar > total) bars -= 1;
  double to = OnNearOnset(f, from + bars * bar, kBeatSnapSeconds);
  if (to > total || to <= from) to = std::min(total, from + bars * bar);
  return {from, std::min(to, from + length)};
}

bool Overlaps(const Part& a, const Part& b) { return a.start < b.end && b.start < a.end; }

// The level no 5 s of a part may fall below: kMaxDropDb under the song's median, less a margin.
double LevelFloorDb(double medianDb) { return medianDb - kMaxDropDb + kLevelMarginDb; }

// Parts shortened by whole bars where their end runs into a quiet stretch, at most to
// kMinPartSeconds; false when the part still holds one.
bool KeepLevel(const Features& f, const SongBeats& beats, double medianDb, Part& part) {
  const double floor = LevelFloorDb(medianDb);
  if (QuietestLevelDb(f, part.start, part.end) >= floor) return true;
  if (std::abs(Nearest(beats.bars, part.start) - part.start) < 1e-9 && !beats.bars.empty()) {
    // A part on the song's bar lines ends on an earlier one.
    const double shortest = std::min(kMinPartSeconds, part.end - part.start) - kBeatSnapSeconds;
    for (auto it = std::lower_bound(beats.bars.begin(), beats.bars.end(), part.end); it != beats.bars.begin();) {
      const double to = *--it;
      if (to >= part.end) continue;
      if (to - part.start < shortest) break;
      if (QuietestLevelDb(f, part.start, to) >= floor) {
        part.end = to;
        return true;
      }
    }
    return false;
  }
  const BeatGrid grid = FindBeats(f, part.start, part.end);
  const double step = grid.clear ? kBeatsPerBar * grid.period : 1.0;
  for (double to = part.end - step; to - part.start >= std::min(kMinPartSeconds, part.end - part.start - step) && to > part.start + step; to -= step)
    if (QuietestLevelDb(f, part.start, to) >= floor) {
      part.end = to;
      return true;
    }
  return false;
}

// Whether `part` ends in the song's outro: its last tenth, in a song of a minute or more.
bool InOutro(const Part& part, double total) {
  return total >= kOutroFromSeconds && part.end > (1 - kOutroShare) * total + kBeatSnapSeconds;
}

// A part holds clearly more that is heard again elsewhere with this share more.
constexpr double kClearlyMore = 0.1;

// The share of `part` (in time) lying in sections whose group is heard again outside it.
double HeardElsewhere(const std::vector<wave::Section>& sections, const Part& part) {
  constexpr double kEdge = 0.01;
  double inside = 0, again = 0;
  for (const wave::Section& s : sections) {
    const double overlap = std::min(s.end, part.end) - std::max(s.start, part.start);
    if (overlap <= 0) continue;
    inside += overlap;
    for (const wave::Section& t : sections)
      if (t.group == s.group && (t.end <= part.start + kEdge || t.start >= part.end - kEdge)) {
        again += overlap;
        break;
      }
  }
  return inside > 0 ? again / inside : 0;
}

// The parts of one group of sections, the one to offer first first, and the share of that one
// heard again elsewhere (HeardElsewhere).
struct GroupOffer {
  std::vector<Suggestion> parts;
  double share = 0;
};

// The parts that open the groups of sections heard more than once: per group, one from each of
// its instances at full level (within kSameLevelDb of the song's median or louder), on the song's
// bar lines where its beats there are steady, placed as a chorus's part otherwise. A group's
// instances are offered in time order, except that one whose part holds clearly more that is
// heard again elsewhere comes first (an instance whose part runs on into its own repeat holds
// less). The groups whose best part holds most that is heard elsewhere come first, then those
// heard most often at full level, then the longer.
std::vector<GroupOffer> GroupParts(const Features& f, const SongBeats& beats,
                                                const std::vector<wave::Section>& sections, double length, double medianDb) {
  struct Group {
    int id = 0;
    std::vector<const wave::Section*> full;
    double seconds = 0;
    std::vector<Suggestion> parts;
    std::vector<double> shares;
    double best = 0;
  };
  std::vector<Group> groups;
  for (const wave::Section& s : sections) {
    if (static_cast<size_t>(s.group) >= groups.size()) groups.resize(static_cast<size_t>(s.group) + 1);
    Group& g = groups[static_cast<size_t>(s.group)];
    g.id = s.group;
    g.seconds += s.end - s.start;
    if (LevelDb(f, s.start, s.end) >= medianDb - kSameLevelDb) g.full.push_back(&s);
  }
  const double total = f.Seconds();
  for (Group& g : groups) {
    if (g.full.size() < 2) continue;
    for (const wave::Section* s : g.full)
      if (Part part; (SteadyBeats(beats, s->start, length) ? OnBars(beats, s->start, length, total, part)
                                                           : (part = PartOf(f, beats, s->start, s->end, length), true)) &&
                     !InOutro(part, total)) {
        g.parts.push_back({part, PartKind::Chorus, g.id});
        g.shares.push_back(HeardElsewhere(sections, part));
      }
    if (g.parts.empty()) continue;
    // The first instance unless another holds clearly more heard elsewhere.
    size_t first = 0;
    for (size_t i = 1; i < g.parts.size(); ++i)
      if (g.shares[i] > g.shares[first] + kClearlyMore) first = i;
    std::rotate(g.parts.begin(), g.parts.begin() + static_cast<std::ptrdiff_t>(first), g.parts.begin() + static_cast<std::ptrdiff_t>(first) + 1);
    g.best = g.shares[first];
  }
  std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
    const auto stepA = std::lround(a.best / kClearlyMore), stepB = std::lround(b.best / kClearlyMore);
    if (stepA != stepB) return stepA > stepB;
    return a.full.size() != b.full.size() ? a.full.size() > b.full.size() : a.seconds > b.seconds;
  });
  std::vector<GroupOffer> out;
  for (Group& g : groups)
    if (!g.parts.empty()) out.push_back({std::move(g.parts), g.best});
  return out;
}

}  // namespace

std::vector<Suggestion> SuggestParts(const Features& f, double lengthSeconds, size_t count) {
  return SuggestParts(f, TrackBeats(f), lengthSeconds, count);
}

std::vector<Suggestion> SuggestParts(const Features& f, const SongBeats& beats, double lengthSeconds, size_t count) {
  return SuggestParts(f, beats, FindSections(f, beats), lengthSeconds, count);
}

std::vector<Suggestion> SuggestParts(const Features& f, const SongBeats& beats, const std::vector<wave::Section>& sections,
                                     double lengthSeconds, size_t count) {
  const double total = f.Seconds();
  const double length = std::max(0.0, lengthSeconds);
  std::vector<Suggestion> out;
  if (count == 0) return out;
  if (total <= length || f.hops.empty()) {
    out.push_back({{0, total}, PartKind::WholeFile});
    return out;
  }
  const double medianDb = MedianLevelDb(f);
  // Parts that end in the outro only once nothing else is left to offer.
  bool outroToo = false;
  auto add = [&](Part part, PartKind kind, int group = -1) {
    if (out.size() >= count || part.end - part.start <= 0 || (!outroToo && InOutro(part, total))) return false;
    if (!KeepLevel(f, beats, medianDb, part)) return false;
    for (const Suggestion& o : out)
      if (Overlaps(o.part, part)) return false;
    // A part found otherwise that opens a section opens its group.
    for (const wave::Section& s : sections)
      if (group < 0 && std::abs(s.start - part.start) <= kBeatSnapSeconds) group = s.group;
    out.push_back({part, kind, group});
    return true;
  };
  // The chorus's instances: the earliest within kSameLevelDb of the loudest first, then the rest
  // of those, then the quieter ones, each in time order.
  // Instances are compared by the stretch that repeats, not by what follows it: a quiet chorus
  // whose part runs on into a loud verse is no louder than the same chorus followed by itself.
  std::vector<Part> instances;
  const Repeats repeats = FindChorusRepeats(f, length);
  for (double start : repeats.starts) instances.push_back(PartOf(f, beats, start, start + length, length));
  const double compared = std::max(repeats.seconds, kMinRepeatSeconds);
  double loudest = -200;
  std::vector<double> levels;
  for (const Part& p : instances) {
    levels.push_back(LevelDb(f, p.start, std::min(p.end, p.start + compared)));
    if (QuietestLevelDb(f, p.start, p.end) >= LevelFloorDb(medianDb)) loudest = std::max(loudest, levels.back());
  }
  std::vector<size_t> order(instances.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const bool fullA = levels[a] >= loudest - kSameLevelDb, fullB = levels[b] >= loudest - kSameLevelDb;
    return fullA != fullB ? fullA : instances[a].start < instances[b].start;
  });
  // The groups of sections, each from its first instance that fits: before the chorus's
  // instances where their part holds clearly more that the song plays again elsewhere, after them
  // otherwise.
  const double chorusShare = order.empty() ? -1 : HeardElsewhere(sections, instances[order.front()]);
  const std::vector<GroupOffer> groups = GroupParts(f, beats, sections, length, medianDb);
  std::vector<uint8_t> offered(groups.size(), 0);
  auto addGroups = [&](bool onlyClearlyMore) {
    for (size_t g = 0; g < groups.size(); ++g) {
      if (offered[g] || (onlyClearlyMore && groups[g].share <= chorusShare + kClearlyMore)) continue;
      offered[g] = 1;
      // A group whose instance is offered already is not offered again.
      const int id = groups[g].parts.front().group;
      if (std::any_of(out.begin(), out.end(), [id](const Suggestion& o) { return o.group == id; })) continue;
      for (const Suggestion& s : groups[g].parts)
        if (add(s.part, s.kind, s.group)) break;
    }
  };
  addGroups(true);
  // The chorus's best instance, then the other groups, then the chorus's other instances.
  size_t next = 0;
  while (out.empty() && next < order.size()) add(instances[order[next++]], PartKind::Chorus);
  addGroups(false);
  for (; next < order.size(); ++next) add(instances[order[next]], PartKind::Chorus);
  // The loudest stretches where nothing (more) repeats, each apart from the parts found.
  const size_t n = f.hops.size(), w = std::min(n, StepsOf(length, f.HopSeconds()));
  std::vector<double> prefix(n + 1, 0.0);
  for (size_t i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + f.hops[i].energy;
  auto addLoudest = [&] {
    for (size_t tries = 0; out.size() < count && tries < count + 2; ++tries) {
      double best = -1, at = -1;
      for (size_t i = 0; i + w <= n; ++i) {
        const Part p{static_cast<double>(i) * f.HopSeconds(), static_cast<double>(i + w) * f.HopSeconds()};
        bool free = outroToo || !InOutro(p, total);
        for (const Suggestion& o : out) free = free && !Overlaps(o.part, p);
        if (free && prefix[i + w] - prefix[i] > best * (1 + 1e-9)) {
          best = prefix[i + w] - prefix[i];
          at = p.start;
        }
      }
      if (at < 0) break;
      // In whole bars as well, where a beat is found.
      const Part part = PartOf(f, beats, at, at + length, length);
      const size_t before = out.size();
      add(part, PartKind::Loudest);
      if (out.size() == before && out.empty() && outroToo) out.push_back({part, PartKind::Loudest});
      if (out.size() == before) break;
    }
  };
  addLoudest();
  if (out.size() < count) {
    outroToo = true;
    for (size_t i : order) add(instances[i], PartKind::Chorus);
    addLoudest();
  }
  return out;
}

Suggestion SuggestPart(const Features& f, double lengthSeconds) {
  const std::vector<Suggestion> parts = SuggestParts(f, lengthSeconds, 1);
  return parts.empty() ? Suggestion{{0, f.Seconds()}, PartKind::WholeFile} : parts.front();
}

size_t NextOffered(const std::vector<Part>& parts, double start, double end) {
  // Marked through the selection's byte positions, a part comes back within a frame or so.
  constexpr double kSame = 0.01;
  for (size_t i = 0; i < parts.size(); ++i)
    if (std::abs(parts[i].start - start) < kSame && std::abs(parts[i].end - end) < kSame) return (i + 1) % parts.size();
  return 0;
}

}  // namespace analysis
