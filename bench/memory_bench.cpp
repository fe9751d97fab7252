// Peak memory with a 2-hour M4B: the file opened as the window opens it (the PRESCAN preview
// stream with its end trigger and fade-in, playing), then its decode-only scan stream scanned to
// the end by a TScanThread while the preview plays on, its blocks feeding the suggested part's
// features (the part chosen at the scan's end), as the window scans. This runs in a child process of its own
// (this program with --child), so that its peak resident set is nothing but that.
//
// Baseline: `ffmpeg -i f.m4b -f null -` on the same file. Both figures are the child's
// ru_maxrss from wait4. The target is absolute: ours at most 100 MB.
//
// The M4B (AAC-LC 64 kbps, 44.1 kHz stereo, 2 hours) is made once per run: one minute of the song
// generator's piece is encoded and its packets are repeated 120 times into an iPod-style MP4.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "analysis/scan_suggestion.h"
#include "audio/engine.h"
#include "bench_util.h"
#include "preview/preview_effects.h"
#include "preview/preview_state.h"
#include "preview/triggers.h"
#include "source/openers.h"
#include "wave/peak_buffers.h"
#include "wave/scan.h"

namespace {

constexpr size_t kColumns = 537;  // the window's client width
constexpr int16_t kUnwritten = -1;
constexpr int kHours = 2;
constexpr double kTargetMb = 100;

long VmHwmKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// The child: open, play and scan `path`; prints what it saw on one line. Exit status 0 when the
// preview opened and the scan wrote every column with bar heights.
int Child(const std::string& path) {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!audio::Init(-1, 44100, 0, nullptr)) return 2;
  preview::PreviewShared shared;
  preview::PreviewEffects effects{shared};
  preview::Triggers triggers{shared, effects};
  wave::PeakBuffers peaks{kColumns};
  for (size_t i = 0; i < kColumns; ++i) {
    peaks.setLeft(i, kUnwritten);
    peaks.setRight(i, kUnwritten);
  }
  std::atomic<uint32_t> bytesPerPixel{0};
  std::atomic<bool> scanStop{false};
  analysis::ScanSuggestion suggestion;  // the features gathered in the scan, the part chosen on its worker after it

  const auto t0 = bench::Clock::now();
  const source::Opener opener = source::SourceOpener(source::LowerExtension(path));
  const audio::Handle play = opener(path.c_str(), 0, 0, source::kPreviewFlags);
  if (play == 0) return 3;
  shared.playStream = play;
  audio::ChannelInfo info{};
  audio::ChannelGetInfo(play, &info);
  shared.format.bits = 16;
  shared.format.rate = static_cast<int32_t>(info.freq);
  shared.format.channels = static_cast<int32_t>(info.chans);
  const int64_t length = audio::ChannelGetLength(play, audio::POS_BYTE);
  auto bpp = static_cast<uint32_t>(length / static_cast<int64_t>(kColumns));
  const auto minimum = static_cast<uint32_t>(audio::ChannelSeconds2Bytes(play, 0.02));
  bytesPerPixel = std::max(bpp, minimum);
  audio::ChannelSetSync(play, audio::SYNC_END | audio::SYNC_MIXTIME, 0, preview::Triggers::LoopSyncProc, &triggers);
  effects.StartFade(play, true);
  audio::ChannelPlay(play, false);
  const double openSeconds = bench::Seconds(t0, bench::Clock::now());

  const audio::Handle scanned = opener(path.c_str(), 0, 0, source::kScanFlags);
  if (scanned == 0) return 4;
  bool finished = false;
  {
    wave::TScanThread scan(scanned, wave::ScanTarget{&peaks, &bytesPerPixel, &scanStop, &suggestion});
    const auto limit = bench::Clock::now() + std::chrono::minutes(10);
    while (!(finished = scan.finished()) && bench::Clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const double scanSeconds = bench::Seconds(t0, bench::Clock::now()) - openSeconds;
  const uint32_t active = audio::ChannelIsActive(play);
  const int64_t heard = audio::ChannelGetPosition(play, audio::POS_BYTE);

  size_t written = 0;
  bool inRange = true;
  for (size_t i = 1; i < kColumns; ++i) {
    const int16_t l = peaks.left(i), r = peaks.right(i);
    if (l != kUnwritten || r != kUnwritten) ++written;
    inRange = inRange && l >= 0 && l <= 60 && r >= 0 && r <= 60;
  }
  const auto part = suggestion.WaitReady();
  audio::ChannelStop(play);
  audio::StreamFree(play);
  audio::Free();
  std::printf("length_s=%.1f open_s=%.3f scan_s=%.2f columns=%zu/%zu preview_active=%u preview_heard_s=%.2f "
              "vmhwm_kb=%ld suggested=%.1f..%.1f\n",
              double(length) / (double(info.freq) * info.chans * 2), openSeconds, scanSeconds, written,
              kColumns - 1, active, double(heard) / (double(info.freq) * info.chans * 2), VmHwmKb(),
              part ? part->start : -1.0, part ? part->end : -1.0);
  return finished && part && inRange && written == kColumns - 1 && active == audio::ACTIVE_PLAYING ? 0 : 5;
}

std::string SelfPath() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

// The 2-hour M4B in `dir`, or "" when ffmpeg could not make it.
std::string MakeLongM4b(const bench::TempDir& dir) {
  const std::string wav = dir / "piece.wav", piece = dir / "piece.m4a", m4b = dir / "book.m4b";
  if (!bench::MakeSongWav(wav, 60)) return {};
  if (bench::RunChild({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "64k", piece})
          .status != 0)
    return {};
  const std::string loops = std::to_string(kHours * 60 - 1);
  if (bench::RunChild({"ffmpeg", "-nostdin", "-v", "error", "-y", "-stream_loop", loops, "-i", piece, "-c", "copy",
                       "-f", "ipod", m4b})
          .status != 0)
    return {};
  return bench::IsFile(m4b) ? m4b : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2]);

  bench::TempDir dir("tw_memory_bench");
  const auto made = bench::Clock::now();
  const std::string m4b = dir.ok() ? MakeLongM4b(dir) : std::string();
  const double duration = m4b.empty() ? -1 : bench::ProbeDuration(m4b);
  if (duration < kHours * 3600 - 60) {
    std::fprintf(stderr, "memory_bench: the 2-hour M4B could not be made\n");
    return 1;
  }
  std::printf("# memory_input: %s, %.1f s (ffprobe), AAC 64 kbps 44.1 kHz stereo, made in %.1f s\n", m4b.c_str(),
              duration, bench::Seconds(made, bench::Clock::now()));

  const bench::ChildRun ours = bench::RunChild({SelfPath(), "--child", m4b}, true);
  const bench::ChildRun base = bench::RunChild({"ffmpeg", "-nostdin", "-v", "error", "-i", m4b, "-f", "null", "-"});
  std::printf("# memory_child: %s", ours.output.c_str());
  if (ours.status != 0 || base.status != 0) {
    std::fprintf(stderr, "memory_bench: a run failed (ours %d, ffmpeg %d)\n", ours.status, base.status);
    return 1;
  }
  const double oursMb = double(ours.maxRssKb) / 1024, baseMb = double(base.maxRssKb) / 1024;
  std::printf("peak_memory_2h_m4b: %.1f MB vs %.1f MB = %.2fx (target %.0f MB)\n", oursMb, baseMb, oursMb / baseMb,
              kTargetMb);
  std::printf("# peak_memory_2h_m4b: ours %.1f MB, ffmpeg %.1f MB; ours %s the %.0f MB target\n", oursMb,
              baseMb, oursMb <= kTargetMb ? "meets" : "misses", kTargetMb);
  return 0;
}
