// Decoding speed: the PRESCAN open of a 4-minute MP3 against its full decode, and whole files
// read in 0.02-s pieces (the waveform scan's pattern) against the ffmpeg program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/decoder.h"

namespace {

using audio::detail::DecoderOptions;
using audio::detail::FileDecoder;
using Clock = std::chrono::steady_clock;

std::string FixturePath(const char* name) {
  const char* dir = std::getenv("TW_FIXTURES");
  return std::string(dir != nullptr ? dir : "build/normal/fixtures") + "/" + name;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

template <typename F>
double BestOf(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    if (!f()) return -1;
    best = std::min(best, Seconds(t0, Clock::now()));
  }
  return best;
}

bool OpenOnly(const std::string& path, bool prescan) {
  DecoderOptions options;
  options.prescan = prescan;
  int error = 0;
  return FileDecoder::Open(path, options, &error) != nullptr;
}

// The whole file in reads of 0.02 s.
bool DecodeInPieces(const std::string& path, bool prescan) {
  DecoderOptions options;
  options.prescan = prescan;
  int error = 0;
  auto dec = FileDecoder::Open(path, options, &error);
  if (!dec) return false;
  const size_t frames = dec->Rate() / 50;
  std::vector<int16_t> piece(frames * dec->Channels());
  size_t total = 0;
  while (size_t got = dec->Read(piece.data(), frames)) total += got;
  return total > 0;
}

bool RunFfmpeg(const std::string& path) {
  const std::string cmd = "ffmpeg -v error -nostdin -threads 1 -i '" + path + "' -f null - >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

void Report(const char* name, double ours, double base, double target) {
  if (ours < 0 || base <= 0) {
    std::printf("%s: failed (missing fixture?)\n", name);
    return;
  }
  std::printf("%s: %.1f ms vs %.1f ms = %.3fx (target %.2fx)\n", name, ours * 1e3, base * 1e3, ours / base, target);
}

}  // namespace

int main() {
  const std::string mp3 = FixturePath("song.mp3");
  const double prescan = BestOf(5, [&] { return OpenOnly(mp3, true); });
  const double full = BestOf(3, [&] { return DecodeInPieces(mp3, false); });
  Report("prescan_open_mp3_vs_full_decode", prescan, full, 0.05);

  for (const char* name : {"song.mp3", "song.flac", "song.m4a"}) {
    const std::string path = FixturePath(name);
    const double ours = BestOf(3, [&] { return DecodeInPieces(path, true); });
    const double base = BestOf(3, [&] { return RunFfmpeg(path); });
    const std::string label = std::string("decode_0.02s_reads_") + name + "_vs_ffmpeg";
    Report(label.c_str(), ours, base, 1.15);
  }
  return 0;
}
