// What the channel calls need from the playback side for streams that play (not STREAM_DECODE).
#pragma once

#include <cstdint>

#include "audio/channel.h"

namespace audio::detail {

// The position being heard now, in frames.
int64_t HeardPositionFrames(Channel& channel);
// ACTIVE_PLAYING, ACTIVE_PAUSED, ACTIVE_STALLED or ACTIVE_STOPPED.
uint32_t PlaybackActivity(Channel& channel);
// Seeks a playing stream: drops what is buffered so that the new position is heard at once.
bool PlaybackSeek(Channel& channel, int64_t frame);

}  // namespace audio::detail
