#include "preview/transport.h"

namespace preview {

Transport::PlayResult Transport::btnplayClick(bool inputBoxEmpty) {
  if (inputBoxEmpty) return PlayResult::OfferDialog;
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return PlayResult::NoStream;
  if (audio::ChannelIsActive(stream) == audio::ACTIVE_STOPPED) effects_.StartFade(stream, true);
  audio::ChannelPlay(stream, false);
  return PlayResult::Playing;
}

void Transport::btnpauseClick() { audio::ChannelPause(shared_.playStream.load()); }

bool Transport::btnstopClick() {
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return false;
  audio::ChannelStop(stream);
  audio::ChannelSetPosition(stream, 0, audio::POS_BYTE);
  return true;
}

}  // namespace preview
