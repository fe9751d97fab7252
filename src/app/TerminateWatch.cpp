#include "app/TerminateWatch.h"

#include <fcntl.h>
#include <cerrno>
#include <unistd.h>

#include <QSocketNotifier>

namespace app {

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the watch's pipe, for the handler; -1 when no watch is installed.
volatile sig_atomic_t gWriteEnd = -1;

extern "C" void OnTerminateSignal(int sig) {
  const int saved = errno;
  const int fd = gWriteEnd;
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

TerminateWatch::TerminateWatch(QWidget* window) : window_(window) {
  if (gWriteEnd >= 0 || pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gWriteEnd = pipe_[1];
  struct sigaction action {};
  action.sa_handler = OnTerminateSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved_[i]);
  restored_ = false;
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminateWatch::OnSignal);
}

TerminateWatch::~TerminateWatch() {
  RestoreHandlers();
  if (notifier_) {
    gWriteEnd = -1;
    delete notifier_;
    close(pipe_[0]);
    close(pipe_[1]);
  }
}

void TerminateWatch::RestoreHandlers() {
  if (restored_) return;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
  restored_ = true;
}

void TerminateWatch::OnSignal() {
  unsigned char bytes[16];
  while (read(pipe_[0], bytes, sizeof bytes) > 0) {
  }
  // From here on a further request is not queued behind a close that may take a moment.
  RestoreHandlers();
  if (window_) window_->close();
}

}  // namespace app
