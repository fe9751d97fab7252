// The waveform scan of a 4-minute MP3 (44.1 kHz stereo, 192 kbps) as the window runs it: the
// decode-only PRESCAN stream opened, bytesPerPixel taken from its length, a TScanThread reading
// it level by level until its last stored element, the stream freed; as in the window, the
// scan's blocks feed the suggested part's features. The part is then chosen on the suggestion's
// own worker, after the scan has ended: the time is the scan's, to its end, and the part is
// waited for afterwards (outside the time) and checked. suggest_bench times the choice itself.
//
// Baseline, in this process and timed the same way: FFmpeg's single-threaded decode of the same
// file through libavformat/libavcodec (thread_count 1), converted to interleaved 16-bit with
// libswresample and discarded, which is what `ffmpeg -threads 1 -i f.mp3 -f null -` does
// without the program's start-up. The ffmpeg program itself is run too, as a second reference.
// Wall and CPU time, best of several alternating runs (the machine is shared).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "analysis/scan_suggestion.h"
#include "audio/engine.h"
#include "bench_util.h"
#include "ffmpeg_decode.h"
#include "source/openers.h"
#include "wave/peak_buffers.h"
#include "wave/scan.h"

namespace {

constexpr int kRuns = 7;
constexpr size_t kColumns = 537;   // the window's client width
constexpr int16_t kUnwritten = -1;

struct Timed {
  double wall = 1e30, cpu = 1e30;
  void Keep(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

// One scan, open to its end. False when the stream did not open or the scan did not write
// columns 1 to 536 with bar heights, at least one of them not silent.
bool ScanOnce(const std::string& path, double* wall, double* cpu, double* openWall) {
  wave::PeakBuffers peaks(kColumns);
  for (size_t i = 0; i < kColumns; ++i) {
    peaks.setLeft(i, kUnwritten);
    peaks.setRight(i, kUnwritten);
  }
  std::atomic<uint32_t> bytesPerPixel{0};
  std::atomic<bool> scanStop{false};
  analysis::ScanSuggestion suggestion;  // as the window scans: the features gathered, the part chosen

  const double cpu0 = bench::ProcessCpuSeconds();
  const auto t0 = bench::Clock::now();
  const source::Opener opener = source::SourceOpener(source::LowerExtension(path));
  const audio::Handle stream = opener(path.c_str(), 0, 0, source::kScanFlags);
  if (stream == 0) return false;
  const int64_t length = audio::ChannelGetLength(stream, audio::POS_BYTE);
  auto bpp = static_cast<uint32_t>(length / static_cast<int64_t>(kColumns));
  const auto minimum = static_cast<uint32_t>(audio::ChannelSeconds2Bytes(stream, 0.02));
  bytesPerPixel = std::max(bpp, minimum);
  *openWall = bench::Seconds(t0, bench::Clock::now());
  {
    wave::TScanThread scan(stream, wave::ScanTarget{&peaks, &bytesPerPixel, &scanStop, &suggestion});
    while (!scan.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  *wall = bench::Seconds(t0, bench::Clock::now());
  *cpu = bench::ProcessCpuSeconds() - cpu0;
  if (!suggestion.WaitReady().has_value()) return false;

  bool loud = false;
  if (peaks.left(0) != kUnwritten) return false;
  for (size_t i = 1; i < kColumns; ++i) {
    const int16_t l = peaks.left(i), r = peaks.right(i);
    if (l < 0 || l > 60 || r < 0 || r > 60) return false;
    loud = loud || l > 0 || r > 0;
  }
  return loud;
}

}  // namespace

int main() {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  av_log_set_level(AV_LOG_ERROR);
  bench::TempDir dir("tw_scan_bench");
  const std::string mp3 = dir.ok() ? bench::SongMp3(dir) : std::string();
  if (mp3.empty()) {
    std::fprintf(stderr, "scan_bench: no 4-minute MP3 could be made\n");
    return 1;
  }
  const double seconds = bench::ProbeDuration(mp3);
  if (!audio::Init(-1, 44100, 0, nullptr)) return 1;

  Timed ours, lib, prog, open;
  int64_t frames = 0;
  bool ok = true;
  for (int i = 0; i < kRuns && ok; ++i) {
    double w = 0, c = 0, o = 0;
    ok = ScanOnce(mp3, &w, &c, &o);
    ours.Keep(w, c);
    open.Keep(o, o);
    ok = ok && bench::FfmpegDecodeOnce(mp3, &w, &c, &frames);
    lib.Keep(w, c);
    const bench::ChildRun run =
        bench::RunChild({"ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-i", mp3, "-f", "null", "-"});
    ok = ok && run.status == 0;
    prog.Keep(run.wall, run.cpu);
  }
  audio::Free();
  if (!ok) {
    std::fprintf(stderr, "scan_bench: a run failed\n");
    return 1;
  }
  std::printf("# scan_input: %s, %.1f s (ffprobe), %lld frames decoded by FFmpeg\n", mp3.c_str(), seconds,
              static_cast<long long>(frames));
  std::printf("# scan_4min_mp3: of ours, %.3fs open with PRESCAN (best run), the rest the level readings\n",
              open.wall);
  std::printf("scan_4min_mp3: %.3fs vs %.3fs = %.2fx (target 1.2x)\n", ours.wall, lib.wall, ours.wall / lib.wall);
  std::printf("scan_4min_mp3_cpu: %.3fs vs %.3fs = %.2fx (target 1.2x)\n", ours.cpu, lib.cpu, ours.cpu / lib.cpu);
  std::printf("scan_4min_mp3_vs_ffmpeg_program: %.3fs vs %.3fs = %.2fx (target 1.2x)\n", ours.wall, prog.wall,
              ours.wall / prog.wall);
  std::printf("scan_4min_mp3_cpu_vs_ffmpeg_program: %.3fs vs %.3fs = %.2fx (target 1.2x)\n", ours.cpu, prog.cpu,
              ours.cpu / prog.cpu);
  return 0;
}
