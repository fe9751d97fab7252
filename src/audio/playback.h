// What the engine's calls need from the playback side for streams that play (not STREAM_DECODE).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/channel.h"

namespace audio::detail {

class PlaybackEngine;

// Init and Free: opens the output (SDL, or the silent one when no device opens) and starts the
// playback threads; stops them and releases every play state.
bool StartPlayback(uint32_t rate);
void StopPlayback();
// The running playback, or nullptr before Init / after Free.
std::shared_ptr<PlaybackEngine> CurrentPlayback();

// The position being heard now, in frames.
int64_t HeardPositionFrames(Channel& channel);
// ACTIVE_PLAYING, ACTIVE_PAUSED, ACTIVE_STALLED or ACTIVE_STOPPED.
uint32_t PlaybackActivity(Channel& channel);
// Seeks a playing stream: drops what is buffered so that the new position is heard at once.
// From a sync or DSP running at decode time it takes effect exactly there, seamlessly.
bool PlaybackSeek(Channel& channel, int64_t frame);

// After a sync was removed from a stream that plays, or the stream freed: waits for a heard sync
// of it that is running on the notification thread (see PlaybackEngine::AwaitHeardSyncs).
void AwaitHeardSyncs(Handle channel);

// What the output is, for tests and benchmarks.
struct OutputInfo {
  std::string name;  // the SDL driver, or "silent"
  uint32_t rate = 0;
  uint32_t chans = 0;
  uint32_t bufferFrames = 0;
  uint64_t lateBlocks = 0;  // device calls that played a gap: a stream's decoding was late
};
bool CurrentOutputInfo(OutputInfo* info);
// Sees every buffer handed to the device; nullptr removes it.
void SetOutputProbe(void (*probe)(void* user, const int16_t* data, size_t frames, uint32_t chans),
                    void* user);

}  // namespace audio::detail
