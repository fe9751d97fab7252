#include "wave/selection.h"

#include <algorithm>

#include "preview/preview_effects.h"
#include "wave/seconds_text.h"

namespace wave {

namespace {
constexpr uint32_t kTriggerType = audio::SYNC_POS | audio::SYNC_MIXTIME;
}

int64_t Selection::WholeSeconds(int64_t bytes) const {
  // Without a stream the engine answers -1: no time is shown below 0.
  const auto seconds = static_cast<int64_t>(audio::ChannelBytes2Seconds(shared_.playStream.load(), bytes));
  return seconds < 0 ? 0 : seconds;
}

double Selection::Seconds(int64_t bytes) const {
  if (bytes <= 0) return 0;
  const double seconds = audio::ChannelBytes2Seconds(shared_.playStream.load(), bytes);
  return seconds < 0 ? 0 : seconds;
}

double Selection::LengthTime() const {
  const int64_t start = shared_.selStart.load(), end = shared_.selEnd.load();
  return end > start ? Seconds(end - start) : 0;
}

bool Selection::UpdateSelection() {
  const int64_t start = shared_.selStart.load();
  if (start == 0) {
    // No start, no part: the ringtone is exactly the marked part, which the boxes (left as they
    // were) no longer show.
    view_.EnableConvert(false);
    return false;
  }
  view_.ShowStartSeconds(WholeSeconds(start));
  const int64_t end = shared_.selEnd.load();
  if (end == 0) return false;
  view_.ShowEndSeconds(WholeSeconds(end));
  bool swapped = false;
  if (start > end) {
    shared_.selStart.store(end);
    shared_.selEnd.store(start);
    SetSelStart(end);
    SetSelEnd(start);
    view_.ShowStartSeconds(WholeSeconds(shared_.selStart.load()));
    view_.ShowEndSeconds(WholeSeconds(shared_.selEnd.load()));
    swapped = true;
  }
  // The exact length, which the ringtone has: the spin edits show whole seconds of each bound,
  // and their difference may be a second off.
  const double length = LengthTime();
  view_.ShowLengthText(SecondsText(length) + " sec");
  // Within a frame: a part that starts a frame in still shows, and is, the 2 seconds it needs.
  audio::ChannelInfo info{};
  const double frame = audio::ChannelGetInfo(shared_.playStream.load(), &info) && info.freq > 0 ? 1.0 / info.freq : 0;
  view_.EnableConvert(length + frame >= 2.0);
  return swapped;
}

void Selection::SetSelStart(int64_t position) {
  shared_.selStart.store(position);
  if (UpdateSelection()) return;
  const audio::Handle stream = shared_.playStream.load();
  audio::ChannelRemoveSync(stream, fadeInSync_);
  const int64_t offset = audio::ChannelSeconds2Bytes(stream, 0.01);
  const int64_t start = shared_.selStart.load();
  if (start != 0) {
    fadeInSync_ = audio::ChannelSetSync(stream, kTriggerType, start + offset,
                                        preview::Triggers::FadeInSyncProc, &triggers_);
  }
  PlaceFadeOut();  // the part's length changed
}

void Selection::SetSelEnd(int64_t position) {
  shared_.selEnd.store(position);
  if (UpdateSelection()) return;
  const audio::Handle stream = shared_.playStream.load();
  const int64_t end = shared_.selEnd.load();
  audio::ChannelRemoveSync(stream, endSync_);
  endSync_ = audio::ChannelSetSync(stream, kTriggerType, end, preview::Triggers::LoopSyncProc, &triggers_);
  PlaceFadeOut();
}

void Selection::PlaceFadeOut() {
  const audio::Handle stream = shared_.playStream.load();
  const int64_t end = shared_.selEnd.load();
  if (end == 0) return;
  audio::ChannelRemoveSync(stream, fadeOutSync_);
  fadeOutSync_ = 0;
  // The fade-out's trigger stands where a fade-out would start, ticked or not (its box is read
  // when it fires); it fits within the selection, so that a short selection still ends in silence.
  const double fadeSeconds = preview::SelectionFades(shared_, true).out;
  const int64_t fade = audio::ChannelSeconds2Bytes(stream, fadeSeconds);
  if (fadeSeconds > 0 && shared_.selStart.load() + fade <= end) {
    fadeOutSync_ = audio::ChannelSetSync(stream, kTriggerType, end - fade,
                                         preview::Triggers::FadeOutSyncProc, &triggers_);
  }
}

void Selection::seditUpClick(int64_t shown, int64_t maximum) {
  if (shown + 1 > maximum) return;
  SetSelStart(audio::ChannelSeconds2Bytes(shared_.playStream.load(), static_cast<double>(shown + 1)));
}

void Selection::seditDownClick(int64_t shown) {
  if (shown - 1 < 0) return;
  SetSelStart(audio::ChannelSeconds2Bytes(shared_.playStream.load(), static_cast<double>(shown - 1)));
}

void Selection::eeditUpClick(int64_t shown, int64_t maximum) {
  if (shown + 1 > maximum) return;
  SetSelEnd(audio::ChannelSeconds2Bytes(shared_.playStream.load(), static_cast<double>(shown + 1)));
}

void Selection::eeditDownClick(int64_t shown) {
  if (shown - 1 < 0) return;
  SetSelEnd(audio::ChannelSeconds2Bytes(shared_.playStream.load(), static_cast<double>(shown - 1)));
}

void Selection::MarkHeard(bool start) {
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return;
  const int64_t heard = audio::ChannelGetPosition(stream, audio::POS_BYTE);
  if (heard < 0) return;
  if (start) SetSelStart(heard);
  else SetSelEnd(heard);
}

int64_t Selection::PositionOfColumn(int x, const ViewSpan& span) const {
  int64_t position = span.PositionOf(x);
  const int64_t length = audio::ChannelGetLength(shared_.playStream.load(), audio::POS_BYTE);
  if (length >= 0) position = std::min(position, length);
  return std::max<int64_t>(position, 0);
}

void Selection::MoveMark(bool start, const std::function<double(double)>& to) {
  const audio::Handle stream = shared_.playStream.load();
  const int64_t mark = start ? shared_.selStart.load() : shared_.selEnd.load();
  if (stream == 0 || mark == 0) return;
  audio::ChannelInfo info{};
  if (!audio::ChannelGetInfo(stream, &info)) return;
  const int64_t frame = int64_t{info.chans} * (info.bits / 8);
  const int64_t length = audio::ChannelGetLength(stream, audio::POS_BYTE);
  int64_t position = audio::ChannelSeconds2Bytes(stream, to(Seconds(mark)));
  if (length >= 0) position = std::min(position, length);
  position = std::max(position, frame);
  if (position == mark) return;
  if (start) SetSelStart(position);
  else SetSelEnd(position);
}

void Selection::Apply(int mode, int64_t position) {
  if ((mode == 1 || mode == 2) && snap_) {
    const audio::Handle stream = shared_.playStream.load();
    const int64_t snapped = audio::ChannelSeconds2Bytes(stream, snap_(Seconds(position)));
    const int64_t length = audio::ChannelGetLength(stream, audio::POS_BYTE);
    if (snapped >= 0) position = length >= 0 ? std::min(snapped, length) : snapped;
  }
  switch (mode) {
    case 1: SetSelStart(position); break;
    case 2: SetSelEnd(position); break;
    case 3: audio::ChannelSetPosition(shared_.playStream.load(), position, audio::POS_BYTE); break;
    default: break;
  }
}

void Selection::PBMouseDown(MouseButton button, int x, const ViewSpan& span) {
  const int mode = button == MouseButton::Left    ? 1
                   : button == MouseButton::Right ? 2
                   : button == MouseButton::Middle ? 3
                                                   : 0;
  // Nothing to select without a file's scale and stream.
  if (mode == 0 || span.empty() || shared_.playStream.load() == 0) return;
  dragMode_ = mode;
  Apply(mode, PositionOfColumn(x, span));
}

void Selection::PBMouseMove(int x, const ViewSpan& span) {
  if (dragMode_ != 0) Apply(dragMode_, PositionOfColumn(x, span));
}

}  // namespace wave
