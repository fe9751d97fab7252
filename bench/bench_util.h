// What the scan, memory and conversion benchmarks share: child processes timed with their own
// CPU time and peak memory, a temporary folder, the 4-minute song and ffprobe's reading of a file.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// CPU time of this process, every thread included.
inline double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct ChildRun {
  double wall = 0;      // seconds from the start to the end of the child
  double cpu = 0;       // user + system time of the child
  long maxRssKb = 0;    // the child's peak resident set (ru_maxrss, kB)
  int status = -1;      // exit status, -1 when it did not exit normally
  std::string output;   // its standard output, when asked for
};

// Runs argv (looked up on PATH) with /dev/null as standard input and standard error; its
// standard output goes to /dev/null too unless `captureOutput` is set.
inline ChildRun RunChild(const std::vector<std::string>& argv, bool captureOutput = false) {
  ChildRun run;
  int fds[2] = {-1, -1};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  if (captureOutput) {
    if (pipe2(fds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (captureOutput) close(fds[1]);
  if (spawned != 0) {
    if (captureOutput) close(fds[0]);
    std::fprintf(stderr, "cannot start %s\n", args[0]);
    return run;
  }
  if (captureOutput) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) run.output.append(buf, size_t(n));
    close(fds[0]);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  run.wall = Seconds(start, Clock::now());
  run.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  run.maxRssKb = ru.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A folder under /tmp, removed with everything in it when this goes.
class TempDir {
 public:
  explicit TempDir(const char* stem) {
    std::string tmpl = std::string("/tmp/") + stem + ".XXXXXX";
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  bool ok() const { return !path_.empty(); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0;
}

// The song generator's music-like piece (a plucked melody, a bass line and a hi-hat), 44.1 kHz
// stereo WAV, `seconds` long, written to `wav`.
inline bool MakeSongWav(const std::string& wav, int seconds) {
  const std::string script = std::string(TW_SOURCE_DIR) + "/scripts/fixtures/song.py";
  return RunChild({"python3", script, wav, std::to_string(seconds)}).status == 0 && IsFile(wav);
}

// The 4-minute MP3 (44.1 kHz stereo, 192 kbps): the fixture folder's song.mp3 when it is there,
// otherwise made in `dir` from the song generator with LAME through ffmpeg.
inline std::string SongMp3(const TempDir& dir) {
  if (const char* fixtures = std::getenv("TW_FIXTURES"); fixtures != nullptr && *fixtures != 0) {
    const std::string path = std::string(fixtures) + "/song.mp3";
    if (IsFile(path)) return path;
  }
  const std::string wav = dir / "song.wav", mp3 = dir / "song.mp3";
  if (!MakeSongWav(wav, 240)) return {};
  const ChildRun enc = RunChild({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wav, "-c:a", "libmp3lame",
                                 "-b:a", "192k", mp3});
  std::error_code ec;
  std::filesystem::remove(wav, ec);
  return enc.status == 0 && IsFile(mp3) ? mp3 : std::string();
}

// ffprobe's value of one entry (e.g. "format=duration"), or "" when it cannot read the file.
inline std::string Probe(const std::string& path, const std::string& entry, const std::string& stream = "") {
  std::vector<std::string> argv{"ffprobe", "-v", "error"};
  if (!stream.empty()) argv.insert(argv.end(), {"-select_streams", stream});
  argv.insert(argv.end(), {"-show_entries", entry, "-of", "default=noprint_wrappers=1:nokey=1", path});
  ChildRun run = RunChild(argv, true);
  std::string& out = run.output;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return run.status == 0 ? out : std::string();
}

inline double ProbeDuration(const std::string& path) {
  const std::string d = Probe(path, "format=duration");
  return d.empty() ? -1 : std::atof(d.c_str());
}

}  // namespace bench
