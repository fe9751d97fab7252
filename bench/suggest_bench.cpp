// The suggested part of the 4-minute MP3 (44.1 kHz stereo, 192 kbps) from a cold open, as the
// command line finds it: the file opened with the scan's opener, decoded once into the feature
// gatherer, the part chosen. Baseline: FFmpeg's single-threaded decode of the same file in this
// process (bench/ffmpeg_decode.h). Wall and CPU time, best of alternating runs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/chorus.h"
#include "analysis/features.h"
#include "analysis/suggest_file.h"
#include "audio/engine.h"
#include "bench_util.h"
#include "ffmpeg_decode.h"

namespace {

constexpr int kRuns = 7;

struct Timed {
  double wall = 1e30, cpu = 1e30;
  void Keep(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

}  // namespace

int main() {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  av_log_set_level(AV_LOG_ERROR);
  bench::TempDir dir("tw_suggest_bench");
  const std::string mp3 = dir.ok() ? bench::SongMp3(dir) : std::string();
  if (mp3.empty()) {
    std::fprintf(stderr, "suggest_bench: no 4-minute MP3 could be made\n");
    return 1;
  }
  if (!audio::Init(-1, 44100, 0, nullptr)) return 1;
  Timed ours, lib;
  analysis::Suggestion last;
  int64_t frames = 0;
  bool ok = true;
  for (int i = 0; i < kRuns && ok; ++i) {
    const double cpu0 = bench::ProcessCpuSeconds();
    const auto t0 = bench::Clock::now();
    const auto got = analysis::SuggestPartOfFile(mp3);
    ours.Keep(bench::Seconds(t0, bench::Clock::now()), bench::ProcessCpuSeconds() - cpu0);
    ok = got.has_value();
    if (ok) last = *got;
    double w = 0, c = 0;
    ok = ok && bench::FfmpegDecodeOnce(mp3, &w, &c, &frames);
    lib.Keep(w, c);
  }
  audio::Free();
  if (!ok) {
    std::fprintf(stderr, "suggest_bench: a run failed\n");
    return 1;
  }
  const char* kinds[] = {"whole file", "chorus", "loudest stretch"};
  std::printf("# suggest_input: %s, %lld frames decoded by FFmpeg; part %.3f .. %.3f s (%s)\n", mp3.c_str(),
              static_cast<long long>(frames), last.part.start, last.part.end, kinds[static_cast<int>(last.kind)]);
  std::printf("suggest_4min_mp3: %.3fs vs %.3fs = %.2fx (target 1.5x)\n", ours.wall, lib.wall, ours.wall / lib.wall);
  std::printf("suggest_4min_mp3_cpu: %.3fs vs %.3fs = %.2fx (target 1.5x)\n", ours.cpu, lib.cpu, ours.cpu / lib.cpu);
  return 0;
}
