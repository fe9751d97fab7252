#include "wave/select_part.h"

#include <algorithm>

namespace wave {

void SelectPart(Selection& selection, audio::Handle stream, double startSeconds, double endSeconds) {
  audio::ChannelInfo info{};
  if (!audio::ChannelGetInfo(stream, &info)) return;
  const int64_t frame = int64_t{info.chans} * (info.bits / 8);
  const int64_t length = audio::ChannelGetLength(stream, audio::POS_BYTE);
  const int64_t end = std::min(audio::ChannelSeconds2Bytes(stream, endSeconds), length);
  const int64_t start = std::max(audio::ChannelSeconds2Bytes(stream, startSeconds), frame);
  if (frame <= 0 || end <= start) return;
  // The start cleared first, so that no step finds the bounds out of order; the end set again
  // last, so that its fade-out trigger is placed from the new start.
  selection.SetSelStart(0);
  selection.SetSelEnd(end);
  selection.SetSelStart(start);
  selection.SetSelEnd(end);
}

}  // namespace wave
