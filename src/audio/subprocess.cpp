#include "audio/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace audio::detail {

namespace {

// A write to a pipe whose reader has gone must give EPIPE, not end the program: SIGPIPE is
// ignored once, unless the program has installed a handler of its own. Children get the default
// disposition back (POSIX_SPAWN_SETSIGDEF below).
void IgnoreSigpipeOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction old {};
    if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) {
      struct sigaction ign {};
      ign.sa_handler = SIG_IGN;
      sigemptyset(&ign.sa_mask);
      sigaction(SIGPIPE, &ign, nullptr);
    }
  });
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string OwnFolder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool EndsWithExe(const std::string& name) {
  if (name.size() <= 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
  return tail == ".exe";
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

std::string ResolveProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  std::vector<std::string> names{name};
  if (EndsWithExe(name)) names.push_back(name.substr(0, name.size() - 4));
  std::vector<std::string> folders;
  if (std::string own = OwnFolder(); !own.empty()) folders.push_back(own);
  if (const char* path = std::getenv("PATH")) {
    std::string list(path);
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      std::string dir = list.substr(start, end - start);
      // Empty and relative entries would search the current folder: skipped.
      if (!dir.empty() && dir[0] == '/') folders.push_back(dir);
      start = end + 1;
    }
  }
  for (const auto& dir : folders) {
    for (const auto& n : names) {
      std::string candidate = dir + "/" + n;
      if (IsExecutableFile(candidate)) return candidate;
    }
  }
  return {};
}

std::unique_ptr<Subprocess> Subprocess::Start(const std::vector<std::string>& argv,
                                              OutputFn onStdout, std::string* why) {
  auto fail = [&](std::string text) -> std::unique_ptr<Subprocess> {
    if (why) *why = std::move(text);
    return nullptr;
  };
  if (argv.empty() || argv[0].empty()) return fail("empty command line");
  const std::string program = ResolveProgram(argv[0]);
  if (program.empty()) return fail("program not found: " + argv[0]);
  IgnoreSigpipeOnce();

  std::unique_ptr<Subprocess> p(new Subprocess());
  p->onStdout_ = std::move(onStdout);
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  auto closeAll = [&] {
    for (int* fds : {in, out, err}) {
      CloseFd(fds[0]);
      CloseFd(fds[1]);
    }
  };
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
      (p->onStdout_ && pipe2(out, O_CLOEXEC) != 0) || pipe2(p->wake_, O_CLOEXEC) != 0) {
    const int e = errno;
    closeAll();
    return fail(std::string("pipe: ") + std::strerror(e));
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  if (p->onStdout_) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  args.push_back(const_cast<char*>(program.c_str()));
  for (size_t i = 1; i < argv.size(); ++i) args.push_back(const_cast<char*>(argv[i].c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  CloseFd(in[0]);
  CloseFd(out[1]);
  CloseFd(err[1]);
  if (rc != 0) {
    closeAll();
    CloseFd(p->wake_[0]);
    CloseFd(p->wake_[1]);
    return fail("cannot start " + program + ": " + std::strerror(rc));
  }
  p->pid_ = pid;
  p->stdin_ = in[1];
  p->stdout_ = out[0];
  p->stderr_ = err[0];
  fcntl(p->stdin_, F_SETFL, fcntl(p->stdin_, F_GETFL) | O_NONBLOCK);
  p->reader_ = std::thread([raw = p.get()] { raw->ReaderLoop(); });
  return p;
}

Subprocess::~Subprocess() {
  if (pid_ > 0) CloseAndWait(std::chrono::seconds(10));
  CloseFd(wake_[0]);
  CloseFd(wake_[1]);
}

void Subprocess::ReaderLoop() {
  char buf[4096];
  bool outOpen = stdout_ >= 0, errOpen = stderr_ >= 0;
  while (outOpen || errOpen) {
    pollfd fds[3];
    nfds_t n = 0;
    int outAt = -1, errAt = -1;
    if (outOpen) {
      outAt = static_cast<int>(n);
      fds[n++] = pollfd{stdout_, POLLIN, 0};
    }
    if (errOpen) {
      errAt = static_cast<int>(n);
      fds[n++] = pollfd{stderr_, POLLIN, 0};
    }
    const int wakeAt = static_cast<int>(n);
    fds[n++] = pollfd{wake_[0], POLLIN, 0};
    if (poll(fds, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[wakeAt].revents != 0) break;
    if (outAt >= 0 && fds[outAt].revents != 0) {
      const ssize_t got = ::read(stdout_, buf, sizeof buf);
      if (got > 0) {
        onStdout_(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        outOpen = false;
      }
    }
    if (errAt >= 0 && fds[errAt].revents != 0) {
      const ssize_t got = ::read(stderr_, buf, sizeof buf);
      if (got > 0) {
        std::lock_guard lock(errMutex_);
        errTail_.append(buf, static_cast<size_t>(got));
        if (errTail_.size() > kStderrKeep) errTail_.erase(0, errTail_.size() - kStderrKeep);
      } else if (got == 0 || errno != EINTR) {
        errOpen = false;
      }
    }
  }
  CloseFd(stdout_);
  CloseFd(stderr_);
  readerDone_.store(true, std::memory_order_release);
}

bool Subprocess::TryReap() {
  std::lock_guard lock(stateMutex_);
  if (reaped_) return true;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    if (WIFEXITED(status)) {
      result_ = Result{Outcome::Exited, WEXITSTATUS(status)};
    } else {
      result_ = Result{Outcome::Crashed, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
    }
    return true;
  }
  if (r < 0 && errno == ECHILD) {
    // Someone else reaped it (a SIGCHLD handler set to SIG_IGN): its status is lost.
    reaped_ = true;
    result_ = Result{Outcome::Crashed, 0};
    return true;
  }
  return false;
}

bool Subprocess::Alive() { return !broken_.load(std::memory_order_acquire) && !TryReap(); }

bool Subprocess::Write(const void* data, size_t bytes) {
  std::lock_guard lock(writeMutex_);
  if (stdin_ < 0 || broken_.load(std::memory_order_acquire)) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  auto lastProgress = std::chrono::steady_clock::now();
  while (bytes > 0) {
    const ssize_t n = ::write(stdin_, p, bytes);
    if (n > 0) {
      p += n;
      bytes -= static_cast<size_t>(n);
      lastProgress = std::chrono::steady_clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The program is not reading yet. Wait, but notice when it has ended (a grandchild that
      // inherited the pipe must not keep us waiting forever) or has stopped reading for good.
      pollfd fd{stdin_, POLLOUT, 0};
      const int r = poll(&fd, 1, 100);
      if (r == 0 && TryReap()) break;
      if (r > 0 && (fd.revents & (POLLERR | POLLHUP)) != 0) break;
      if (r == 0 && std::chrono::steady_clock::now() - lastProgress >= kWriteStallLimit) {
        stalled_.store(true, std::memory_order_release);
        break;
      }
      continue;
    }
    break;  // EPIPE or another error: the input is gone
  }
  if (bytes > 0) {
    broken_.store(true, std::memory_order_release);
    return false;
  }
  return true;
}

void Subprocess::CloseInput() {
  std::lock_guard lock(writeMutex_);
  CloseFd(stdin_);
}

void Subprocess::NoteUnreadInput() {
  if (!TryReap()) return;
  // It ended on its own before seeing the end of its input: did it take everything?
  std::lock_guard lock(writeMutex_);
  int unread = 0;
  if (stdin_ >= 0 && ioctl(stdin_, FIONREAD, &unread) == 0 && unread > 0) {
    std::lock_guard state(stateMutex_);
    result_.inputUnread = true;
  }
}

void Subprocess::EndInput() {
  std::lock_guard finish(finishMutex_);
  NoteUnreadInput();
  CloseInput();
}

Subprocess::Result Subprocess::CloseAndWait(std::chrono::milliseconds limit) {
  std::lock_guard finish(finishMutex_);
  {
    std::lock_guard lock(stateMutex_);
    if (waited_) return result_;
  }
  NoteUnreadInput();
  CloseInput();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!TryReap()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      int status = 0;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      std::lock_guard lock(stateMutex_);
      reaped_ = true;
      result_ = Result{Outcome::Killed, SIGKILL};
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // The pipes close when the program ends, unless a program it started keeps them open: give
  // the reader a moment to take the last output, then stop it.
  const auto grace = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (!readerDone_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < grace) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!readerDone_.load(std::memory_order_acquire)) {
    const char x = 1;
    [[maybe_unused]] const ssize_t w = ::write(wake_[1], &x, 1);
  }
  if (reader_.joinable()) reader_.join();
  std::lock_guard lock(stateMutex_);
  waited_ = true;
  return result_;
}

void Subprocess::Terminate() {
  std::lock_guard lock(stateMutex_);
  if (reaped_ || pid_ <= 0) return;
  kill(pid_, SIGTERM);
  kill(pid_, SIGCONT);  // a stopped program acts on the signal only once it runs
}

std::string Subprocess::StderrTail() const {
  std::lock_guard lock(errMutex_);
  return errTail_;
}

}  // namespace audio::detail
