// A child program started from an argument vector (never through a shell), fed on its standard
// input, its standard output handed to a callback (or discarded) and the tail of its standard
// error kept so that a failure can be explained.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace audio::detail {

// Where a program named `name` is found: a name holding a '/' is used as it is; a bare name is
// looked for beside the running program (the folder of /proc/self/exe), then in the absolute
// folders of PATH, never in the current folder. In each folder the name itself is tried first,
// then, for a name ending in ".exe", the name without it. Empty when nothing executable is found.
std::string ResolveProgram(const std::string& name);

class Subprocess {
 public:
  enum class Outcome {
    NotStarted,  // the program could not be started
    Exited,      // it ended by itself; `code` is its exit status
    Crashed,     // a signal ended it; `code` is the signal
    Killed,      // it outlived the wait and was killed
  };
  struct Result {
    Outcome outcome = Outcome::NotStarted;
    int code = 0;
    // The program ended before the input was closed and left written data unread.
    bool inputUnread = false;
    bool Succeeded() const { return outcome == Outcome::Exited && code == 0; }
  };
  // Receives the program's standard output, on the subprocess's reader thread.
  using OutputFn = std::function<void(const void* data, size_t bytes)>;

  // Starts argv[0] (resolved by ResolveProgram) with the arguments argv[1..]. nullptr, with
  // *why saying what failed, when it cannot be started. Without `onStdout` the program's
  // standard output goes to /dev/null.
  static std::unique_ptr<Subprocess> Start(const std::vector<std::string>& argv, OutputFn onStdout,
                                           std::string* why);
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  // Writes everything to the program's standard input; blocks while the program is alive and
  // not reading, but no longer than kWriteStallLimit without progress: a program that stops
  // reading without ending counts as broken (stalled() says so). False (and every later write
  // false) once the input is closed, broken or stalled or the program has ended. Never raises
  // SIGPIPE. One writer at a time.
  bool Write(const void* data, size_t bytes);
  bool stalled() const { return stalled_.load(std::memory_order_acquire); }
  // True while the program has not ended and its input is intact.
  bool Alive();
  bool inputBroken() const { return broken_.load(std::memory_order_acquire); }
  // Closes the input without waiting: the program sees the end of its data and may take its
  // time to finish; CloseAndWait then collects what it did. Idempotent.
  void EndInput();
  // Closes the input and waits up to `limit` for the program to end, then kills it.
  // Idempotent: a second call returns the first result.
  Result CloseAndWait(std::chrono::milliseconds limit);
  // Sends SIGTERM unless the program has already been reaped (its pid may be reused then).
  void Terminate();
  // The last few KiB of the program's standard error.
  std::string StderrTail() const;
  pid_t pid() const { return pid_; }

  static constexpr size_t kStderrKeep = 4096;
  // How long a write waits for the program to take any data at all.
  static constexpr std::chrono::seconds kWriteStallLimit{4};

 private:
  Subprocess() = default;
  // Reaps the child without blocking; true once it has ended (result_ set).
  bool TryReap();
  void ReaderLoop();
  void CloseInput();
  // Before the input is closed: a program that has already ended with written data unread did
  // not take everything (result_.inputUnread).
  void NoteUnreadInput();

  pid_t pid_ = -1;
  int stdin_ = -1;          // writer's end; guarded by writeMutex_
  int stdout_ = -1;         // reader thread only
  int stderr_ = -1;         // reader thread only
  int wake_[2] = {-1, -1};  // wakes the reader thread at the end
  OutputFn onStdout_;       // immutable after Start

  std::mutex writeMutex_;
  std::atomic<bool> broken_{false};
  std::atomic<bool> stalled_{false};

  std::mutex finishMutex_;         // serialises CloseAndWait
  std::atomic<bool> readerDone_{false};
  mutable std::mutex stateMutex_;  // guards reaped_, result_, waited_
  bool reaped_ = false;
  bool waited_ = false;
  Result result_;

  mutable std::mutex errMutex_;
  std::string errTail_;  // guarded by errMutex_

  std::thread reader_;
};

}  // namespace audio::detail
