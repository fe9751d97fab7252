// Running a piece of work in a child process with a time limit, so that a crash or a hang of one
// file is recorded as such and the rest still run. The child's sanitizers (leaks included) judge
// it at its exit; their verdict shows as its exit status.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace e2e {

struct Outcome {
  enum Kind { Finished, Crashed, Hung, FailedExit };
  Kind kind = Finished;
  int code = 0;        // the exit status (FailedExit) or the signal (Crashed)
  double seconds = 0;  // wall time of the child
  std::string report;  // what the work returned (empty unless Finished)
};

inline const char* KindName(Outcome::Kind k) {
  switch (k) {
    case Outcome::Finished: return "finished";
    case Outcome::Crashed: return "crashed";
    case Outcome::Hung: return "hung";
    case Outcome::FailedExit: return "failed exit";
  }
  return "?";
}

// Forks; the child runs `work`, sends its result back through a pipe and exits normally. The
// caller must not run threads of its own (fork copies only the calling one). After `limit` the
// child's process group (the child and the encoder it started) is killed.
inline Outcome RunIsolated(const std::function<std::string()>& work, std::chrono::milliseconds limit) {
  Outcome out;
  int fds[2];
  if (pipe(fds) != 0) {
    out.kind = Outcome::FailedExit;
    out.code = -1;
    return out;
  }
  std::fflush(nullptr);
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    close(fds[0]);
    const std::string report = work();
    size_t done = 0;
    while (done < report.size()) {
      const ssize_t n = write(fds[1], report.data() + done, report.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(fds[1]);
    std::exit(0);  // a normal exit, so that LeakSanitizer looks at the child
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    out.kind = Outcome::FailedExit;
    out.code = -1;
    return out;
  }
  setpgid(pid, pid);  // either side may win; both ask for the same group

  // The report is small; the pipe holds it until the child has ended.
  int status = 0;
  bool ended = false;
  while (!ended) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      ended = true;
      break;
    }
    if (std::chrono::steady_clock::now() - started > limit) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!ended) {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(fds[0]);
    out.kind = Outcome::Hung;
    return out;
  }
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.report.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  if (WIFSIGNALED(status)) {
    out.kind = Outcome::Crashed;
    out.code = WTERMSIG(status);
  } else if (WEXITSTATUS(status) != 0) {
    out.kind = Outcome::FailedExit;
    out.code = WEXITSTATUS(status);
  }
  return out;
}

}  // namespace e2e
