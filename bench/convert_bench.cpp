// The whole conversion of a 30-second selection (30 s to 60 s) of the 4-minute MP3, as the
// "Get Ringtone" button runs it: the file opened again for decoding, seeked to the start, mixed to
// 44100 Hz stereo 16-bit, through the high-pass, the low-pass, the gain, the fade-in and the
// fade-out, in 1024-byte blocks into our faac, which writes a temporary file and renames it over
// the .m4r when it is complete.
//
// Baseline: ffmpeg -ss 30 -t 30 -i song.mp3 -ac 2 -ar 44100 -c:a aac -b:a 256k -f ipod out.m4r
// Wall time, best of several alternating runs (the machine is shared). Both ringtones are read
// back with ffprobe: AAC, 44.1 kHz stereo, about 30 s.
//
// convert_ogg_30s, convert_mp3_30s: the same part as Android's and MP3 ringtones, encoded in this
// process, against ffmpeg -c:a libvorbis -q:a 5 and -c:a libmp3lame -q:a 2 on the same 30 s.
//
// cli_convert_30s: the same part made by the program from the command line
// (tonewright --output OUT --start 30 --end 60 song.mp3: a whole process, without a window),
// against the same ffmpeg recipe.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "bench_util.h"
#include "convert/encoder_command.h"
#include "convert/ringtone_converter.h"
#include "preview/preview_state.h"
#include "preview/render_effects.h"

namespace {

constexpr int kRuns = 5;
constexpr int kStart = 30, kEnd = 60;

// What ffprobe reads of a ringtone: true when it is AAC, 44.1 kHz stereo, 30 s give or take a
// block and the encoder's frame. Prints a line about it either way.
bool CheckRingtone(const char* label, const std::string& path) {
  const std::string codec = bench::Probe(path, "stream=codec_name,sample_rate,channels", "a:0");
  const double duration = bench::ProbeDuration(path);
  std::string flat = codec;
  std::replace(flat.begin(), flat.end(), '\n', ' ');
  std::printf("# convert_output_%s: %s, %.3f s, %s\n", label, bench::IsFile(path) ? "written" : "missing", duration,
              flat.c_str());
  return flat == "aac 44100 2" && std::fabs(duration - (kEnd - kStart)) < 0.1;
}

}  // namespace

int main() {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  const char* envDir = std::getenv("TW_PROGRAM_DIR");
  const std::string faac = std::string(envDir != nullptr && *envDir != 0 ? envDir : TW_PROGRAM_DIR) + "/faac";
  bench::TempDir dir("tw_convert_bench");
  const std::string mp3 = dir.ok() ? bench::SongMp3(dir) : std::string();
  if (mp3.empty()) {
    std::fprintf(stderr, "convert_bench: no 4-minute MP3 could be made\n");
    return 1;
  }
  std::printf("# convert_input: %s, %.1f s (ffprobe), selection %d s to %d s\n", mp3.c_str(),
              bench::ProbeDuration(mp3), kStart, kEnd);
  const std::string ours = dir / "ours.m4r", base = dir / "base.m4r";
  if (!audio::Init(-1, 44100, 0, nullptr)) return 1;

  // The window's state when the button is clicked: the file is open as the preview (not
  // playing here, so that only the conversion runs), fade-in and fade-out are checked.
  preview::PreviewShared shared;
  shared.playStream = audio::StreamCreateFile(mp3.c_str(), 0, 0, audio::STREAM_DECODE);
  shared.controls.fadeIn = true;
  shared.controls.fadeInSeconds = 2;
  shared.controls.fadeOut = true;
  shared.controls.fadeOutSeconds = 3;
  preview::RenderEffects render{shared};
  convert::RingtoneConverter converter{render};
  int lastPercent = -1;
  converter.onProgress = [&](int p) { lastPercent = p; };
  convert::ConvertRequest request;
  request.inputPath = mp3;
  request.outputPath = ours;
  request.command = convert::QuotedArgument(faac) +
                    convert::BuildEncoderCommand(ours, {true, "Bench", "Ombrix", "", "", "2026"})
                        .substr(std::strlen(convert::kEncoderProgram));
  request.startSeconds = kStart;
  request.endSeconds = kEnd;
  request.effects = preview::EffectControls{true, 3, true, 200, true, 8000};

  const std::vector<std::string> baseline{"ffmpeg", "-nostdin", "-v", "error", "-y", "-ss",
                                          std::to_string(kStart), "-t", std::to_string(kEnd - kStart), "-i", mp3,
                                          "-ac", "2", "-ar", "44100", "-c:a", "aac", "-b:a", "256k", "-f", "ipod",
                                          base};
  const std::string cli = dir / "cli.m4r";
  const std::vector<std::string> command{std::string(envDir != nullptr && *envDir != 0 ? envDir : TW_PROGRAM_DIR) + "/tonewright",
                                         "--output", cli, "--start", std::to_string(kStart), "--end",
                                         std::to_string(kEnd), mp3};
  double bestOurs = 1e30, bestBase = 1e30, cpuOurs = 1e30, bestCli = 1e30;
  bool ok = shared.playStream.load() != 0;
  for (int i = 0; i < kRuns && ok; ++i) {
    std::error_code ec;
    std::filesystem::remove(ours, ec);
    std::filesystem::remove(base, ec);
    const double cpu0 = bench::ProcessCpuSeconds();
    const auto t0 = bench::Clock::now();
    const convert::ConvertResult result = converter.ConvertToRingtone(request);
    const double wall = bench::Seconds(t0, bench::Clock::now());
    ok = result == convert::ConvertResult::Done && lastPercent == 100 && bench::IsFile(ours);
    bestOurs = std::min(bestOurs, wall);
    cpuOurs = std::min(cpuOurs, bench::ProcessCpuSeconds() - cpu0);
    const bench::ChildRun run = bench::RunChild(baseline);
    ok = ok && run.status == 0;
    bestBase = std::min(bestBase, run.wall);
    std::filesystem::remove(cli, ec);
    const bench::ChildRun byCommand = bench::RunChild(command);
    ok = ok && byCommand.status == 0;
    bestCli = std::min(bestCli, byCommand.wall);
  }
  // Android's and MP3 ringtones, encoded in this process, against ffmpeg's own recipes on the
  // same 30 s (-c:a libvorbis -q:a 5, -c:a libmp3lame -q:a 2), with the same effects.
  struct Kind {
    const char* name;
    std::string ours, base;
    std::vector<std::string> recipe;
    double bestOurs = 1e30, bestBase = 1e30;
  } kinds[] = {{"convert_ogg_30s", dir / "ours.ogg", dir / "base.ogg", {"-c:a", "libvorbis", "-q:a", "5"}},
               {"convert_mp3_30s", dir / "ours.mp3", dir / "base.mp3", {"-c:a", "libmp3lame", "-q:a", "2"}}};
  for (Kind& k : kinds) {
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", std::to_string(kStart), "-t",
                                  std::to_string(kEnd - kStart), "-i", mp3, "-ac", "2", "-ar", "44100"};
    argv.insert(argv.end(), k.recipe.begin(), k.recipe.end());
    argv.push_back(k.base);
    convert::ConvertRequest inProcess = request;
    inProcess.outputPath = k.ours;
    for (int i = 0; i < kRuns && ok; ++i) {
      const auto t0 = bench::Clock::now();
      ok = converter.ConvertToRingtone(inProcess) == convert::ConvertResult::Done;
      k.bestOurs = std::min(k.bestOurs, bench::Seconds(t0, bench::Clock::now()));
      const bench::ChildRun run = bench::RunChild(argv);
      ok = ok && run.status == 0;
      k.bestBase = std::min(k.bestBase, run.wall);
    }
    const double d = bench::ProbeDuration(k.ours);
    std::printf("# %s: ours %.3f s (%s), ffmpeg's %.3f s\n", k.name, d,
                bench::Probe(k.ours, "stream=codec_name", "a:0").c_str(), bench::ProbeDuration(k.base));
    ok = ok && std::fabs(d - (kEnd - kStart)) < 0.05;
  }
  ok = ok && CheckRingtone("ours", ours);
  ok = ok && CheckRingtone("cli", cli);
  ok = CheckRingtone("ffmpeg", base) && ok;
  audio::StreamFree(shared.playStream.load());
  audio::Free();
  if (!ok) {
    std::fprintf(stderr, "convert_bench: a run failed or a ringtone is not what it should be\n");
    return 1;
  }
  std::printf("convert_30s: %.3fs vs %.3fs = %.2fx (target 1.25x)\n", bestOurs, bestBase, bestOurs / bestBase);
  std::printf("cli_convert_30s: %.3fs vs %.3fs = %.2fx (target 1.0x)\n", bestCli, bestBase, bestCli / bestBase);
  for (const Kind& k : kinds)
    std::printf("%s: %.3fs vs %.3fs = %.2fx (target 1.0x)\n", k.name, k.bestOurs, k.bestBase, k.bestOurs / k.bestBase);
  std::printf("# convert_30s: %.3fs of it CPU in this process (decoding, mixing, effects, the hand-over to faac)\n",
              cpuOurs);
  return 0;
}
