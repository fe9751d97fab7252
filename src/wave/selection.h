// Editing the selection: the start and end bounds set by the mouse and the spin edits, kept in
// order, shown in the controls, and the loop and fade triggers re-installed on every change.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "audio/engine.h"
#include "preview/preview_state.h"
#include "preview/triggers.h"
#include "wave/view_span.h"

namespace wave {

// What the selection shows: the spin edits' values, the length text and the convert button.
class SelectionView {
 public:
  virtual ~SelectionView() = default;
  virtual void ShowStartSeconds(int64_t seconds) = 0;  // sedit
  virtual void ShowEndSeconds(int64_t seconds) = 0;    // eedit
  virtual void ShowLengthText(const std::string& text) = 0;  // lengthedit
  virtual void EnableConvert(bool enabled) = 0;        // btnconvert
};

enum class MouseButton { Left, Right, Middle, Other };

// Runs on the window's thread. selStart and selEnd live in PreviewShared as whole 64-bit atomics,
// which the loop trigger reads on the engine's thread.
class Selection {
 public:
  Selection(preview::PreviewShared& shared, preview::Triggers& triggers, SelectionView& view)
      : shared_(shared), triggers_(triggers), view_(view) {}

  void SetSelStart(int64_t position);
  void SetSelEnd(int64_t position);
  // Places the fade-out's trigger for the selection and the fade boxes as they are now; the window
  // calls it when a fade box or length changes.
  void PlaceFadeOut();
  // Puts the bounds in order and refreshes the controls; true when it swapped them.
  bool UpdateSelection();

  // The spin edits' handlers, given the value the spin edit shows and its maximum (the file's
  // length in whole seconds). Out-of-range steps are refused.
  void seditUpClick(int64_t shown, int64_t maximum);
  void seditDownClick(int64_t shown);
  void eeditUpClick(int64_t shown, int64_t maximum);
  void eeditDownClick(int64_t shown);

  // Sets the start (or the end) at the position of the preview being heard now (what the device
  // plays, not what was decoded ahead). Nothing without a preview stream.
  void MarkHeard(bool start);

  // The view's mouse: x in view pixels; `span` the stretch the view shows (the scan's
  // bytesPerPixel for the whole song); positions are clamped to the stream (0 to its length).
  void PBMouseDown(MouseButton button, int x, const ViewSpan& span);
  void PBMouseMove(int x, const ViewSpan& span);
  void PBMouseUp() { dragMode_ = 0; }
  // Where a click or a drag puts the start or the end, in seconds, from where it was pointed
  // (the nearest beat, when marks snap); none: exactly where it was pointed.
  void SetSnap(std::function<double(double)> snap) { snap_ = std::move(snap); }
  // Moves the start (or the end) to `seconds`, as a spin arrow moves it; a bound not set stays
  // unset. The start stays a frame in at least (0 counts as not set), the end within the file.
  void MoveMark(bool start, const std::function<double(double)>& to);
  int dragMode() const { return dragMode_; }

  audio::SyncHandle endSync() const { return endSync_; }
  audio::SyncHandle fadeInSync() const { return fadeInSync_; }
  audio::SyncHandle fadeOutSync() const { return fadeOutSync_; }

  // Whole seconds of a byte position of the preview stream, truncated.
  int64_t WholeSeconds(int64_t bytes) const;
  // The part the preview loops and the ringtone holds, [selStart, selEnd), in exact seconds of
  // the preview stream (0 for a bound not set), and its length.
  double StartTime() const { return Seconds(shared_.selStart.load()); }
  double EndTime() const { return Seconds(shared_.selEnd.load()); }
  double LengthTime() const;

 private:
  double Seconds(int64_t bytes) const;
  int64_t PositionOfColumn(int x, const ViewSpan& span) const;
  void Apply(int mode, int64_t position);

  preview::PreviewShared& shared_;
  preview::Triggers& triggers_;
  SelectionView& view_;
  int dragMode_ = 0;  // 0 none, 1 start, 2 end, 3 play position
  std::function<double(double)> snap_;
  audio::SyncHandle endSync_ = 0, fadeInSync_ = 0, fadeOutSync_ = 0;
};

}  // namespace wave
