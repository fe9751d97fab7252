// Terminate requests (SIGTERM from a logout or `kill`, SIGINT from Ctrl+C in a terminal, SIGHUP when
// the terminal goes) close the main window the way its close button does, so that a running
// conversion is cancelled without leaving a partial ringtone and the engine is released.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <csignal>

class QSocketNotifier;

namespace app {

class TerminateWatch : public QObject {
 public:
  // Watches for the signals while it lives and restores the earlier handlers when it goes. One
  // watch at a time. A second request while the window is closing falls back to the earlier
  // handler (for the default one, the program ends at once).
  explicit TerminateWatch(QWidget* window);
  ~TerminateWatch() override;

  TerminateWatch(const TerminateWatch&) = delete;
  TerminateWatch& operator=(const TerminateWatch&) = delete;

  bool Installed() const { return notifier_ != nullptr; }

 private:
  void OnSignal();
  void RestoreHandlers();

  QPointer<QWidget> window_;
  QSocketNotifier* notifier_ = nullptr;
  int pipe_[2] = {-1, -1};
  struct sigaction saved_[3] = {};
  bool restored_ = true;
};

}  // namespace app
