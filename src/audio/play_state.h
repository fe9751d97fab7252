// The play state of one stream that plays: the frames decoded ahead (converted to the output's
// format), where each of them came from in the stream, and what has been heard.
//
// Threads and locks:
// * the playback thread decodes (FillStep) with the channel's lock held;
// * the output thread takes frames (MixInto) under mutex_ only;
// * API calls (Play, Pause, Stop, Seek, positions) hold the channel's lock, then mutex_.
// Order: channel lock, then mutex_; mutex_ is never held while the channel is produced.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/channel.h"
#include "audio/output.h"
#include "audio/resampler.h"

namespace audio::detail {

using Clock = std::chrono::steady_clock;

struct DueSync {
  SyncHandle sync;
  SyncProc* proc;
  void* user;
};

class PlayState final : public Tap, public DeferredSyncSink,
                        public std::enable_shared_from_this<PlayState> {
 public:
  enum class Mode { Stopped, Playing, Paused };

  // nullptr when the stream's format cannot be converted to the output's.
  static std::shared_ptr<PlayState> Create(std::shared_ptr<Channel> channel,
                                           const OutputFormat& output);
  ~PlayState() override;

  Channel& channel() { return *channel_; }
  // Hooks the state into its channel (a tap for positions, the sink for heard syncs).
  void Attach();

  // --- API side: the caller holds the channel's lock --------------------------------------
  bool Play(bool restart);
  bool Pause();
  bool Stop();
  // A seek from outside decoding: the buffer is dropped and `frame` is heard next.
  bool Seek(int64_t frame);
  int64_t HeardPosition(Clock::time_point now);
  uint32_t Activity(Clock::time_point now);

  // --- Playback thread: the caller holds the channel's lock --------------------------------
  // Decodes one block if the buffer wants one; false when there was nothing to do.
  bool FillStep();

  // True while the stream plays or pauses, or has syncs waiting to be heard.
  bool Busy() const;
  // True while syncs wait for their position to be heard.
  bool HasHeardSyncs() const;

  // --- Output thread ------------------------------------------------------------------------
  // Adds up to `frames` frames to `mix` (output channels, float); returns the frames taken.
  // `late` is set when a stream that has started sounding had fewer frames ready than asked
  // for before its end: the device plays a gap of silence.
  size_t MixInto(float* mix, size_t frames, Clock::time_point now, bool& late);

  // --- Notification thread --------------------------------------------------------------------
  // Moves the syncs whose position has been heard to `out`; ends the stream once its last frame
  // has been heard.
  void TakeHeardSyncs(std::vector<DueSync>& out, Clock::time_point now);

  // Tap and DeferredSyncSink: called inside Produce, on the playback thread.
  void Write(const void* data, size_t bytes) override;
  void ChannelClosed() override {}
  void Reached(SyncHandle sync, SyncProc* proc, void* user, int64_t framePosition) override;

 private:
  struct Segment {
    int64_t inStart;  // in input frames since the last flush
    int64_t source;   // stream frame of the first one
    int64_t frames;
  };
  struct Piece {      // one piece of the block being decoded
    int64_t offset;
    int64_t source;
    int64_t frames;
  };
  struct StagedSync {
    int64_t offset;
    DueSync sync;
  };
  struct HeardSync {
    int64_t outIndex;
    DueSync sync;
  };

  PlayState(std::shared_ptr<Channel> channel, const OutputFormat& output);

  // All of these with mutex_ held.
  void FlushLocked(int64_t restartAt);
  int64_t HeardOutLocked(Clock::time_point now) const;
  int64_t SourceAtLocked(int64_t outIndex) const;
  void RefreshLocked(Clock::time_point now);
  int64_t InFromOut(int64_t out) const;
  int64_t OutFromIn(int64_t in) const;
  void PushSegmentLocked(int64_t inStart, int64_t source, int64_t frames);

  const std::shared_ptr<Channel> channel_;
  const OutputFormat output_;
  const uint32_t inRate_;
  size_t blockFrames_ = 0;   // stream frames decoded per step
  int64_t target_ = 0;       // output frames decoded ahead

  // Channel lock (playback thread and flushes).
  std::unique_ptr<Resampler> resampler_;
  std::vector<uint8_t> decoded_;
  std::vector<float> converted_;
  std::vector<Piece> pieces_;
  std::vector<StagedSync> staged_;

  mutable std::mutex mutex_;
  // Everything below: guarded by mutex_.
  Mode mode_ = Mode::Stopped;
  uint64_t epoch_ = 0;          // counts flushes
  std::vector<float> ring_;     // ringFrames_ frames of output channels
  int64_t ringFrames_ = 0;
  int64_t written_ = 0;         // output frames written since the flush
  int64_t consumed_ = 0;        // output frames handed to the device since the flush
  int64_t inFed_ = 0;           // stream frames decoded since the flush
  int64_t lastTake_ = 0;        // frames handed at the last device call
  Clock::time_point lastTakeAt_{};
  int64_t pausedAt_ = 0;        // while paused: the output frame heard when the pause began
  std::vector<Segment> segments_;  // in order; the first may already be partly heard
  std::vector<HeardSync> heardSyncs_;
  int64_t basePos_ = 0;         // stream frame where decoding restarted at the flush
  bool decodeEnded_ = false;    // all data decoded (and the resampler's tail written)
  bool playedToEnd_ = false;    // the end was heard; Play starts again from the beginning
};

// The channel the playback thread is decoding right now on the calling thread, or nullptr:
// engine calls made from its syncs and DSPs act at decode time.
const Channel* ProducingOnThisThread();

}  // namespace audio::detail
