// The meter's measurement of a 30-second part of the 4-minute MP3 (60 s to 90 s) as the window
// asks for it: the part rendered through the conversion's path (decoded, mixed to 44100 Hz
// stereo 16-bit) and measured by libebur128 for integrated loudness and true peak.
//
// Baseline, in the same run: what a user would run instead, ffmpeg's own meter on the same 30 s of
// the same file, decoding included:
//   ffmpeg -ss 60 -t 30 -i song.mp3 -af ebur128=peak=true -f null -
// Best wall time of several alternating runs. A note gives the engine's bare decode of the part.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/loudness_meter.h"
#include "analysis/loudness_part.h"
#include "audio/engine.h"
#include "bench_util.h"

namespace {

constexpr int kRuns = 5;
constexpr double kStart = 60, kEnd = 90;

bool DecodeOnce(const std::string& path, double* wall, std::vector<int16_t>* keep = nullptr) {
  const auto t0 = bench::Clock::now();
  const audio::Handle stream = audio::StreamCreateFile(path.c_str(), 0, 0, audio::STREAM_DECODE);
  if (stream == 0) return false;
  const int64_t from = audio::ChannelSeconds2Bytes(stream, kStart);
  int64_t left = audio::ChannelSeconds2Bytes(stream, kEnd) - from;
  bool ok = audio::ChannelSetPosition(stream, from, audio::POS_BYTE);
  std::vector<int16_t> block(16384);
  while (ok && left > 0) {
    const uint32_t got = audio::ChannelGetData(stream, block.data(), uint32_t(block.size() * 2));
    if (got == 0 || got == audio::DATA_ERROR) break;
    left -= got;
    if (keep != nullptr) keep->insert(keep->end(), block.begin(), block.begin() + got / 2);
  }
  audio::StreamFree(stream);
  *wall = bench::Seconds(t0, bench::Clock::now());
  return ok && left <= 0;
}

}  // namespace

int main() {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  bench::TempDir dir("tw_loudness_bench");
  const std::string mp3 = dir.ok() ? bench::SongMp3(dir) : std::string();
  if (mp3.empty() || !audio::Init(-1, 44100, 0, nullptr)) {
    std::fprintf(stderr, "loudness_bench: no 4-minute MP3 could be made\n");
    return 1;
  }
  analysis::PartRequest part;
  part.inputPath = mp3;
  part.startSeconds = kStart;
  part.endSeconds = kEnd;
  const std::vector<std::string> ffmpeg{"ffmpeg", "-nostdin", "-hide_banner", "-ss", std::to_string(kStart), "-t",
                                        std::to_string(kEnd - kStart), "-i", mp3, "-af", "ebur128=peak=true", "-f", "null", "-"};
  double ours = 1e30, base = 1e30, decode = 1e30;
  std::optional<analysis::PartLoudness> reading;
  bool ok = true;
  for (int i = 0; i < kRuns && ok; ++i) {
    const auto t0 = bench::Clock::now();
    reading = analysis::MeasurePart(part);
    ours = std::min(ours, bench::Seconds(t0, bench::Clock::now()));
    const auto t1 = bench::Clock::now();
    ok = reading.has_value() && bench::RunChild(ffmpeg).status == 0;
    base = std::min(base, bench::Seconds(t1, bench::Clock::now()));
    double w = 0;
    ok = ok && DecodeOnce(mp3, &w);
    decode = std::min(decode, w);
  }
  // Where the time goes: the meter alone (libebur128 on two threads) on the decoded part.
  std::vector<int16_t> pcm;
  double decodeWall = 0, meterWall = 1e30;
  ok = ok && DecodeOnce(mp3, &decodeWall, &pcm);
  for (int i = 0; i < kRuns && ok; ++i) {
    const auto t0 = bench::Clock::now();
    analysis::LoudnessMeter meter;
    for (size_t at = 0; at < pcm.size(); at += 16384) meter.Add(pcm.data() + at, std::min<size_t>(16384, pcm.size() - at));
    (void)meter.Result();
    meterWall = std::min(meterWall, bench::Seconds(t0, bench::Clock::now()));
  }
  audio::Free();
  if (!ok) {
    std::fprintf(stderr, "loudness_bench: a run failed\n");
    return 1;
  }
  std::printf("# loudness_30s: %s, %.0f s to %.0f s: %.1f LUFS, true peak %.1f dBTP\n", mp3.c_str(), kStart, kEnd,
              reading->shown.integrated, reading->shown.truePeak);
  std::printf("# loudness_30s: of ours, %.3fs the meter alone (libebur128, integrated loudness and true peak, two threads) on the decoded part\n",
              meterWall);
  std::printf("# loudness_30s: the engine's bare decode of the part %.3fs\n", decode);
  std::printf("loudness_30s: %.3fs vs %.3fs = %.2fx (target 0.5x)\n", ours, base, ours / base);
  return 0;
}
