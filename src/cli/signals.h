// SIGINT, SIGTERM and SIGHUP noted instead of ending the program, for as long as a SignalCatch
// lives: the work in progress polls CaughtSignal() and cancels itself, so that it leaves no
// partial file. One catch for a whole run, however many conversions it holds.
#pragma once

namespace cli {

class SignalCatch {
 public:
  // Installs the handlers and forgets any signal caught before.
  SignalCatch();
  // Restores the handlers that were there before.
  ~SignalCatch();
  SignalCatch(const SignalCatch&) = delete;
  SignalCatch& operator=(const SignalCatch&) = delete;
};

// The last terminating signal caught, or 0. Any thread.
int CaughtSignal();

}  // namespace cli
