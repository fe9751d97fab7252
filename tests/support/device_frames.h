// The frames the engine's output has been handed, counted through its output probe: what a heard
// position is checked against, the device's own progress however slowly a loaded machine lets
// it run (a heard position is never ahead of it by more than one device call).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>
#include <thread>

#include "audio/playback.h"

namespace twtest {

class DeviceFrames {
 public:
  // Counts from now on; the engine must be running.
  DeviceFrames() {
    audio::detail::OutputInfo info;
    if (audio::detail::CurrentOutputInfo(&info)) call_ = info.bufferFrames + 64;
    audio::detail::SetOutputProbe(&Count, this);
  }
  ~DeviceFrames() { audio::detail::SetOutputProbe(nullptr, nullptr); }
  DeviceFrames(const DeviceFrames&) = delete;
  DeviceFrames& operator=(const DeviceFrames&) = delete;

  int64_t now() const { return frames_.load(); }
  // The most frames one device call takes.
  int64_t call() const { return call_; }
  // The most a stream of the output's format can have been heard of since the count `since`:
  // the frames handed since then and one call more.
  int64_t Since(int64_t since) const { return now() - since + call_; }
  // Waits (20 s at most) until the device has been handed `n` frames more than `since`.
  bool WaitPast(int64_t since, int64_t n) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (now() < since + n) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

 private:
  static void Count(void* user, const int16_t*, size_t frames, uint32_t) {
    static_cast<DeviceFrames*>(user)->frames_.fetch_add(static_cast<int64_t>(frames));
  }
  std::atomic<int64_t> frames_{0};
  int64_t call_ = 2048 + 64;
};

// Device calls so far, since Init, that played a gap because a stream's decoding had fallen
// behind: a recording taken while this grew has holes of silence that are the machine's load.
inline uint64_t LateBlocks() {
  audio::detail::OutputInfo info;
  return audio::detail::CurrentOutputInfo(&info) ? info.lateBlocks : 0;
}

// Runs `take` (it plays and waits) and returns `record()`, what the device played (record() ends
// the output). A take during which decoding fell behind the device left gaps of silence that are
// the machine's load, not the engine's doing: `restart()` opens the output again and the take is
// played again, four takes at most. A fault that makes gaps makes them every time.
template <typename Take, typename Record, typename Restart>
std::vector<int16_t> GaplessRecording(Take take, Record record, Restart restart) {
  constexpr int kTakes = 4;
  for (int n = 1;; ++n) {
    take();
    const uint64_t late = LateBlocks();
    std::vector<int16_t> rec = record();
    if (late == 0 || ::testing::Test::HasFatalFailure()) return rec;
    std::printf("take %d: decoding fell behind the device %llu times; playing it again\n", n,
                static_cast<unsigned long long>(late));
    if (n == kTakes) {
      ADD_FAILURE() << "decoding fell behind the device in each of " << kTakes << " takes";
      return rec;
    }
    restart();
  }
}

}  // namespace twtest
