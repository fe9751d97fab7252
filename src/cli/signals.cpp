#include "cli/signals.h"

#include <signal.h>

#include <atomic>
#include <csignal>
#include <iterator>

namespace cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;
extern "C" void NoteSignal(int sig) { g_signal = sig; }

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_old[std::size(kSignals)];

}  // namespace

SignalCatch::SignalCatch() {
  g_signal = 0;
  struct sigaction sa {};
  sa.sa_handler = NoteSignal;
  sigemptyset(&sa.sa_mask);
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &sa, &g_old[i]);
}

SignalCatch::~SignalCatch() {
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_old[i], nullptr);
}

int CaughtSignal() {
  std::atomic_signal_fence(std::memory_order_acquire);
  return g_signal;
}

}  // namespace cli
