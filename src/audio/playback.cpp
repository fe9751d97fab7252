// Playback of streams that are not decoding channels.
// Until the output is running, a playing stream behaves as stopped at its decode position.
#include "audio/playback.h"

namespace audio::detail {

int64_t HeardPositionFrames(Channel& channel) { return channel.positionFrames(); }

uint32_t PlaybackActivity(Channel&) { return ACTIVE_STOPPED; }

bool PlaybackSeek(Channel& channel, int64_t frame) { return channel.Seek(frame); }

}  // namespace audio::detail
