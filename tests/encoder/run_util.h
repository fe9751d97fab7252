// Running the built faac (and ffprobe / ffmpeg as independent checks) from the encoder tests.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mini_json.h"

extern char** environ;

namespace enctest {

inline std::string FaacPath() { return std::string(TW_PROGRAM_DIR) + "/faac"; }

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(data.data(), std::streamsize(data.size()));
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A fresh folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tw_encoder_test.XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Names in the folder, hidden ones included, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

struct RunResult {
  int exit_code = -1;  // -1 when killed by a signal
  int term_signal = 0;
  std::string out, err;
};

struct RunOptions {
  // Called with the child's pid after the input has been written and before its stdin closes
  // (e.g. to kill it mid-stream). Empty: nothing.
  void (*before_close)(pid_t, void*) = nullptr;
  void* user = nullptr;
};

// Runs argv[0] (looked up on PATH unless it holds a slash) with `input` on a pipe as its standard
// input; standard output and error are collected.
inline RunResult Run(const std::vector<std::string>& argv, const std::string& input,
                     const RunOptions& opt = {}) {
  std::signal(SIGPIPE, SIG_IGN);  // a program that stops reading must not kill the test
  TempDir dir;
  const std::string out_path = dir / "out", err_path = dir / "err";
  int in_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) std::abort();

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in_pipe[0], 0);
  posix_spawn_file_actions_addopen(&fa, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(in_pipe[0]);
  RunResult r;
  if (rc != 0) {
    ::close(in_pipe[1]);
    r.err = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return r;
  }
  size_t done = 0;
  while (done < input.size()) {
    const ssize_t w = ::write(in_pipe[1], input.data() + done, input.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) break;  // the program closed its input
    done += size_t(w);
  }
  if (opt.before_close) opt.before_close(pid, opt.user);
  ::close(in_pipe[1]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.term_signal = WTERMSIG(status);
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  return r;
}

inline RunResult RunFaac(const std::vector<std::string>& args, const std::string& input,
                         const RunOptions& opt = {}) {
  std::vector<std::string> argv{FaacPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, input, opt);
}

// The conversion's command line: faac -w --mpeg-vers 4 [tags] -o OUT -
inline std::vector<std::string> ConversionArgs(const std::string& out,
                                               const std::vector<std::string>& tags = {}) {
  std::vector<std::string> a{"-w", "--mpeg-vers", "4"};
  a.insert(a.end(), tags.begin(), tags.end());
  a.insert(a.end(), {"-o", out, "-"});
  return a;
}

// ffprobe's view of a file (-show_streams -show_format, JSON); kind Null when it fails.
inline Json Probe(const std::string& path) {
  RunResult r = Run({"ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path}, "");
  if (r.exit_code != 0) return Json{};
  return ParseJson(r.out);
}

// The file decoded by ffmpeg to interleaved float, as ffmpeg trims it (priming removed).
inline std::vector<float> DecodeToFloat(const std::string& path) {
  RunResult r = Run({"ffmpeg", "-v", "error", "-i", path, "-f", "f32le", "-"}, "");
  std::vector<float> s(r.out.size() / 4);
  if (!s.empty()) std::memcpy(s.data(), r.out.data(), s.size() * 4);
  return s;
}

inline std::string ToString(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace enctest
