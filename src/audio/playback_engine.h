// The engine's playback: the output device, the playback thread that decodes every playing
// stream ahead of the device, the device callback that mixes them, and the notification thread
// that runs the syncs to be fired when their position is heard.
//
// Threads: the playback thread decodes with each stream's channel lock held (DSPs and mix-time
// syncs run there); the device callback only takes states' short locks and the list lock, never a
// channel lock, and does not allocate; the notification thread calls user syncs with no lock held.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/output.h"
#include "audio/play_state.h"

namespace audio::detail {

// Sees every buffer handed to the device (benchmarks, tests). Output thread; must not block.
using OutputProbe = void(void* user, const int16_t* data, size_t frames, uint32_t chans);

class PlaybackEngine {
 public:
  // Opens the SDL device, or the silent output when none opens, and starts the threads.
  static std::shared_ptr<PlaybackEngine> Start(uint32_t rate);
  ~PlaybackEngine();
  // Stops the output and the threads; idempotent.
  void Shutdown();

  const OutputFormat& format() const { return output_->format(); }
  const char* outputName() const { return output_->name(); }

  // The play state of a channel, or nullptr when it never played.
  std::shared_ptr<PlayState> Find(Handle channel);
  // The play state of a channel, created (and hooked into the channel) on first use.
  std::shared_ptr<PlayState> Obtain(const std::shared_ptr<Channel>& channel);
  // Wakes the playback thread (after a transport change).
  void Wake();

  void SetProbe(OutputProbe* probe, void* user);
  // Device calls that played a gap because a stream's decoding had fallen behind.
  uint64_t lateBlocks() const { return lateBlocks_.load(std::memory_order_relaxed); }

  // After a heard sync of `channel` was removed or the channel freed: returns once no heard sync
  // of that channel runs on the notification thread (the ones not started yet see the removal).
  // At once on the notification thread itself (a removal from inside such a sync) and on the
  // playback thread (a removal from a mix-time callback, which holds the channel's lock).
  void AwaitHeardSyncs(Handle channel);

 private:
  PlaybackEngine() = default;
  static void RenderThunk(void* self, int16_t* out, size_t frames);
  void Render(int16_t* out, size_t frames);
  void DecodeLoop();
  void NotifyLoop();
  // Copies the list of states (no allocation: `into` keeps its capacity).
  void Snapshot(std::vector<std::shared_ptr<PlayState>>& into);
  void DropClosed();

  std::unique_ptr<Output> output_;
  std::vector<float> mix_;  // output thread only

  std::mutex listMutex_;
  std::vector<std::shared_ptr<PlayState>> states_;  // guarded by listMutex_

  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool woken_ = false;  // guarded by wakeMutex_
  std::atomic<bool> running_{false};
  std::thread decoder_;
  std::thread notifier_;

  std::mutex notifyMutex_;              // held while a heard sync runs
  std::atomic<Handle> notifying_{0};   // the channel whose heard sync runs, or 0

  std::atomic<void*> probeUser_{nullptr};
  std::atomic<OutputProbe*> probe_{nullptr};
  std::atomic<uint64_t> lateBlocks_{0};
};

}  // namespace audio::detail
