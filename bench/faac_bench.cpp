// The faac program against ffmpeg's own AAC path on the same 30 s of stereo 44.1 kHz:
//   ours:     faac -w --mpeg-vers 4 -o out.m4r -   (the WAV on a pipe, as the conversion feeds it)
//   baseline: ffmpeg -i in.wav -c:a aac -b:a 256k -f ipod out.m4r
// Each is run several times, alternating; the best wall time of each is compared (the machine
// is shared, so the best run is the one least disturbed). The children's CPU time is printed too.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 30;
constexpr int kRuns = 3;

void Put16(std::string& b, uint16_t v) {
  b += char(v & 0xFF);
  b += char(v >> 8);
}
void Put32(std::string& b, uint32_t v) {
  Put16(b, uint16_t(v));
  Put16(b, uint16_t(v >> 16));
}

// A music-like signal: a few drifting partials, a pulsing envelope and some noise, different
// in each channel, so that the encoder has real work in every band.
std::string MakeWav() {
  const uint32_t frames = kRate * kSeconds;
  std::string w;
  w.reserve(44 + frames * 4);
  w += "RIFF";
  Put32(w, 36 + frames * 4);
  w += "WAVEfmt ";
  Put32(w, 16);
  Put16(w, 1);
  Put16(w, 2);
  Put32(w, kRate);
  Put32(w, kRate * 4);
  Put16(w, 4);
  Put16(w, 16);
  w += "data";
  Put32(w, frames * 4);
  uint32_t seed = 12345;
  const double kPi = 3.14159265358979323846;
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = double(i) / kRate;
    const double env = 0.6 + 0.4 * std::sin(2 * kPi * 2 * t);
    for (int c = 0; c < 2; ++c) {
      double v = 0;
      for (int k = 1; k <= 6; ++k) {
        const double f = 110.0 * k * (1 + 0.01 * c) * (1 + 0.002 * std::sin(2 * kPi * 0.3 * t));
        v += std::sin(2 * kPi * f * t) / k;
      }
      seed = seed * 1664525u + 1013904223u;
      const double noise = (double(seed >> 8) / double(1 << 24)) * 2 - 1;
      v = 0.25 * env * v + 0.05 * noise;
      Put16(w, uint16_t(int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767))));
    }
  }
  return w;
}

struct Timing {
  double wall = 0;  // seconds
  double cpu = 0;   // user + system of the child
  int status = -1;
};

// Runs argv; when `input` is given it is written to the child's standard input through a pipe.
Timing RunTimed(const std::vector<std::string>& argv, const std::string* input) {
  int fds[2] = {-1, -1};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (input) {
    if (pipe2(fds, O_CLOEXEC) != 0) std::exit(1);
    posix_spawn_file_actions_adddup2(&fa, fds[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  Timing t;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", args[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&fa);
  if (input) {
    close(fds[0]);
    size_t done = 0;
    while (done < input->size()) {
      const ssize_t w = write(fds[1], input->data() + done, input->size() - done);
      if (w <= 0) break;
      done += size_t(w);
    }
    close(fds[1]);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return t;
}

}  // namespace

int main() {
  signal(SIGPIPE, SIG_IGN);
  const char* env_dir = std::getenv("TW_PROGRAM_DIR");
  const std::string faac = std::string(env_dir && *env_dir ? env_dir : TW_PROGRAM_DIR) + "/faac";

  char tmpl[] = "/tmp/tw_faac_bench.XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  const std::string wav_path = dir + "/in.wav";
  const std::string wav = MakeWav();
  if (FILE* f = std::fopen(wav_path.c_str(), "wb")) {
    std::fwrite(wav.data(), 1, wav.size(), f);
    std::fclose(f);
  }

  const std::vector<std::string> ours{faac, "-w", "--mpeg-vers", "4", "-o", dir + "/ours.m4r", "-"};
  const std::vector<std::string> base{"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wav_path,
                                      "-c:a", "aac", "-b:a", "256k", "-f", "ipod",
                                      dir + "/base.m4r"};
  double best_ours = 1e9, best_base = 1e9, cpu_ours = 1e9, cpu_base = 1e9;
  bool ok = true;
  for (int i = 0; i < kRuns; ++i) {
    const Timing o = RunTimed(ours, &wav);
    const Timing b = RunTimed(base, nullptr);
    ok = ok && o.status == 0 && b.status == 0;
    best_ours = std::min(best_ours, o.wall);
    best_base = std::min(best_base, b.wall);
    cpu_ours = std::min(cpu_ours, o.cpu);
    cpu_base = std::min(cpu_base, b.cpu);
  }
  std::error_code ec;
  const auto ours_size = std::filesystem::file_size(dir + "/ours.m4r", ec);
  std::filesystem::remove_all(dir, ec);
  if (!ok || ours_size == 0) {
    std::fprintf(stderr, "faac_bench: a run failed\n");
    return 1;
  }
  std::printf("faac_encode_30s: %.3fs vs %.3fs = %.2fx (target 1.1x)\n", best_ours, best_base,
              best_ours / best_base);
  std::printf("faac_encode_30s_cpu: %.3fs vs %.3fs = %.2fx (target 1.1x)\n", cpu_ours, cpu_base,
              cpu_ours / cpu_base);
  return 0;
}
