// Eight 4-minute MP3s made into ringtones of their suggested parts: one batch command with two
// jobs against the same eight single commands one after another. Wall time, best of three runs
// each, the children's CPU time beside it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_util.h"

int main() {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  bench::TempDir dir("tw_batch_bench");
  const std::string mp3 = dir.ok() ? bench::SongMp3(dir) : std::string();
  if (mp3.empty()) {
    std::fprintf(stderr, "batch_bench: no 4-minute MP3 could be made\n");
    return 1;
  }
  const std::string program = std::string(TW_PROGRAM_DIR) + "/tonewright";
  std::vector<std::string> songs;
  for (int i = 1; i <= 8; ++i) {
    songs.push_back(dir / ("song" + std::to_string(i) + ".mp3"));
    std::error_code ec;
    std::filesystem::copy_file(mp3, songs.back(), std::filesystem::copy_options::overwrite_existing, ec);
  }
  double batchWall = 1e30, batchCpu = 1e30, oneWall = 1e30, oneCpu = 1e30;
  bool ok = true;
  for (int run = 0; run < 3 && ok; ++run) {
    const std::string many = dir / ("many" + std::to_string(run));
    std::vector<std::string> argv = {program, "-o", many, "--jobs", "2"};
    argv.insert(argv.end(), songs.begin(), songs.end());
    const bench::ChildRun batch = bench::RunChild(argv);
    ok = batch.status == 0;
    batchWall = std::min(batchWall, batch.wall);
    batchCpu = std::min(batchCpu, batch.cpu);

    const std::string single = dir / ("single" + std::to_string(run));
    std::filesystem::create_directories(single);
    double wall = 0, cpu = 0;
    for (size_t i = 0; i < songs.size() && ok; ++i) {
      const bench::ChildRun one = bench::RunChild({program, "-o", single + "/song" + std::to_string(i + 1) + ".m4r", songs[i]});
      ok = one.status == 0;
      wall += one.wall;
      cpu += one.cpu;
    }
    oneWall = std::min(oneWall, wall);
    oneCpu = std::min(oneCpu, cpu);
    for (int i = 1; i <= 8 && ok; ++i) ok = bench::IsFile(many + "/song" + std::to_string(i) + ".m4r");
  }
  if (!ok) {
    std::fprintf(stderr, "batch_bench: a run failed or a ringtone is missing\n");
    return 1;
  }
  std::printf("# batch_8x4min: CPU %.2fs (batch, 2 jobs) vs %.2fs (eight commands)\n", batchCpu, oneCpu);
  std::printf("batch_8x4min: %.3fs vs %.3fs = %.2fx (target 0.6x)\n", batchWall, oneWall, batchWall / oneWall);
  return 0;
}
