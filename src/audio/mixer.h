// The mixer: a Source that pulls its decoding sources through their own channels (so that their
// syncs and DSPs fire inside the mixer's read), converts them to the mixer's rate and channels
// and sums them.
//
// Locks: the mixer's Read runs under the mixer channel's lock and takes each source's lock inside
// it (mixer first, then source; never the reverse).
#pragma once

#include <memory>
#include <vector>

#include "audio/channel.h"
#include "audio/resampler.h"

namespace audio::detail {

class MixerSource : public Source {
 public:
  // Frames converted per step; bounds the working buffers.
  static constexpr size_t kChunkFrames = 1024;

  MixerSource(const Format& format, uint32_t flags);
  ~MixerSource() override;

  // Adds a decoding channel; called with the mixer channel's lock held. False (error set) when
  // the conversion cannot be set up.
  bool AddInput(std::shared_ptr<Channel> source, uint32_t flags);
  size_t inputCount() const { return inputs_.size(); }
  // The mixer's own handle, once its channel exists (for the table of mixers).
  void SetHandle(Handle h) { handle_ = h; }

  size_t Read(void* out, size_t frames) override;
  bool AtEnd() override;
  // The mixer's position is its own count of frames produced; its sources are not moved.
  bool Seek(int64_t frame) override;
  int64_t LengthFrames() const override { return -1; }

 private:
  struct Input {
    std::shared_ptr<Channel> channel;
    std::unique_ptr<Resampler> resampler;
    bool autofree = false;
    std::vector<uint8_t> raw;    // source frames, in the source's format
    std::vector<float> pending;  // converted frames not yet mixed (mixer channels)
    size_t pendingFrames = 0;
    bool sourceEnded = false;    // the source delivered its last frame
    bool drained = false;        // ... and the resampler's tail is in `pending`
  };

  // Fills `in.pending` to at least `want` frames, unless the source runs dry first; reads from
  // the source only what that takes.
  void Pull(Input& in, size_t want);
  void Release(Input& in);
  bool AllDrained() const;

  const Format format_;
  const uint32_t flags_;
  Handle handle_ = 0;
  std::vector<std::unique_ptr<Input>> inputs_;  // guarded by the mixer channel's lock
  std::vector<float> mix_;                      // kChunkFrames frames of the mixer's channels
};

// The mixer behind a handle. The pointer may only be used under that channel's lock, and only
// while the channel is not closed (closing destroys the MixerSource).
MixerSource* FindMixerSource(Handle mixer);
void RegisterMixerSource(Handle mixer, MixerSource* source);

// Mixer_StreamAddChannel's bookkeeping: a source belongs to one mixer at a time.
bool ClaimMixerSource(Handle source);
void ReleaseMixerSource(Handle source);

}  // namespace audio::detail
