// A channel: a source of frames with its syncs, DSPs and encoder taps.
//
// Whoever pulls a channel's data (a reader through ChannelGetData/ChannelGetLevel, the playback
// thread, a mixer) goes through Produce(), which splits the data at sync positions, runs the
// syncs and then the DSPs on every piece and hands the result to the encoder taps.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/engine.h"
#include "audio/source.h"

namespace audio::detail {

struct Format {
  uint32_t rate = 0;
  uint32_t chans = 0;
  bool isFloat = false;
  uint32_t BytesPerSample() const { return isFloat ? 4 : 2; }
  uint32_t BytesPerFrame() const { return BytesPerSample() * chans; }
};

// Receives every block a channel produces after its DSPs (an encoder).
class Tap {
 public:
  virtual ~Tap() = default;
  // Called with the channel's lock held, on the producing thread.
  virtual void Write(const void* data, size_t bytes) = 0;
  // The channel goes away: finish up (called once, after the channel has closed, without its lock).
  virtual void ChannelClosed() = 0;
};

// Takes the position syncs of a playing stream that must fire when their position is heard
// rather than when it is decoded. Called with the channel's lock held, on the decoding thread;
// must not block.
class DeferredSyncSink {
 public:
  virtual ~DeferredSyncSink() = default;
  virtual void Reached(SyncHandle sync, SyncProc* proc, void* user, int64_t framePosition) = 0;
};

class Channel {
 public:
  Channel(Handle handle, Format format, uint32_t flags, std::unique_ptr<Source> source);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // --- Immutable after construction -------------------------------------------------------
  Handle handle() const { return handle_; }
  const Format& format() const { return format_; }
  uint32_t flags() const { return flags_; }
  bool isDecode() const { return (flags_ & STREAM_DECODE) != 0; }

  // The lock that guards everything below. Recursive: callbacks run with it held and may call
  // back into their own channel.
  std::recursive_mutex& mutex() { return mutex_; }

  // --- Producing data (each takes the lock) ------------------------------------------------
  // Up to `frames` frames into `out`; 0 once the data has ended. Syncs, DSPs and taps run inside.
  size_t Produce(void* out, size_t frames);
  // ChannelGetData: bytes rounded down to whole frames; DATA_ERROR (with the error set) once the
  // end had already been reached before the call.
  uint32_t Read(void* out, uint32_t bytes);
  // ChannelGetLevel: reads the next 0.02 s and returns the peaks of the first two channels.
  uint32_t Level();

  // --- State --------------------------------------------------------------------------------
  // True once all data has been produced (until a seek).
  bool ended() const { return ended_.load(std::memory_order_acquire); }
  // Frames produced so far (the decode position). Lock-free.
  int64_t positionFrames() const { return pos_.load(std::memory_order_acquire); }
  int64_t lengthFrames() const;
  // Moves the decode position; false (error set) outside 0..length or when the source cannot
  // get there. Inside a sync callback it takes effect at the sync point.
  bool Seek(int64_t frame);

  // --- Callbacks ------------------------------------------------------------------------------
  SyncHandle AddSync(uint32_t type, int64_t bytePosition, SyncProc* proc, void* user);
  bool RemoveSync(SyncHandle sync);
  // True while the sync is set (not removed) on this channel.
  bool HasSync(SyncHandle sync);
  DspHandle AddDsp(DspProc* proc, void* user, int priority);
  bool RemoveDsp(DspHandle dsp);
  void AddTap(std::shared_ptr<Tap> tap);
  void RemoveTap(const Tap* tap);
  void SetDeferredSyncSink(DeferredSyncSink* sink);

  // Releases the source and tells the taps; later reads fail. Idempotent.
  void Close();
  bool closed() const { return closed_.load(std::memory_order_acquire); }

 private:
  struct Sync {
    SyncHandle handle;
    uint32_t type;
    int64_t frame;  // position syncs: where it fires
    SyncProc* proc;
    void* user;
    bool dead;
  };
  struct Dsp {
    DspHandle handle;
    DspProc* proc;
    void* user;
    int priority;
    bool dead;
  };

  void FirePositionSyncs();
  // True when a sync moved the position (the stream goes on).
  bool FireEndSyncs();
  void CallSync(const Sync& s, int64_t frame);
  void MergePendingDsps();
  void RunDsps(void* data, uint32_t bytes);
  size_t FramesToNextSync(size_t wanted) const;

  const Handle handle_;
  const Format format_;
  const uint32_t flags_;

  std::recursive_mutex mutex_;
  std::unique_ptr<Source> source_;        // guarded by mutex_
  std::vector<Sync> syncs_;               // guarded by mutex_
  std::vector<Dsp> dsps_;                 // guarded by mutex_; sorted by priority, then age
  std::vector<Dsp> pendingDsps_;          // guarded by mutex_; set during a read
  std::vector<std::shared_ptr<Tap>> taps_;  // guarded by mutex_
  std::vector<uint8_t> levelBuffer_;      // guarded by mutex_
  DeferredSyncSink* deferredSink_ = nullptr;  // guarded by mutex_
  int64_t syncsDoneAt_ = -1;   // guarded by mutex_: the position whose syncs have fired
  int64_t firingAt_ = -1;      // guarded by mutex_: position of the sync being called, or -1
  int producing_ = 0;          // guarded by mutex_: nesting depth of Produce
  int dspDepth_ = 0;           // guarded by mutex_: DSPs are being called

  std::atomic<int64_t> pos_{0};
  std::atomic<bool> ended_{false};
  std::atomic<bool> closed_{false};
};

}  // namespace audio::detail
