// The preview's effects: installing the gain and filter effects on the preview stream as their
// controls change, starting fades, and the effect procedures the engine calls.
#pragma once

#include <atomic>
#include <mutex>

#include "audio/engine.h"
#include "preview/effect_arithmetic.h"
#include "preview/effect_slot.h"
#include "preview/effect_state.h"
#include "preview/preview_state.h"

namespace preview {

// The fades the preview plays, placed within the selection of the preview stream (as long as the
// boxes give them when no end is set). `anyFadeOut`: the fade-out as though its box were ticked.
FadeLengths SelectionFades(const PreviewShared& shared, bool anyFadeOut = false);

class PreviewEffects {
 public:
  explicit PreviewEffects(PreviewShared& shared);
  PreviewEffects(const PreviewEffects&) = delete;
  PreviewEffects& operator=(const PreviewEffects&) = delete;

  // The boxes' click handlers and the bars' change handlers, on the window's thread: remove the
  // effect when installed, and install it anew with `position` when `checked`. A filter already
  // running on the current stream (a bar moved under its checked box) only takes the new cut-off
  // and keeps its memory; it starts afresh when its box is checked or on another stream.
  void checkgainClick(bool checked, int32_t gainPosition);
  void chighpassClick(bool checked, int32_t barPosition);
  void clowpassClick(bool checked, int32_t barPosition);

  // Starts the fade-in or fade-out on `stream` when its box is checked, with its length within
  // the selection (SelectionFades), first
  // removing the fade effects still installed on the stream. A fade-out that starts while a
  // fade-in still acts on the stream goes down from the fade-in's level. Any thread (the window's,
  // or the engine's inside a trigger).
  void StartFade(audio::Handle stream, bool fadeIn);

  audio::DspHandle gainDsp() const { return gain_.handle.load(); }
  audio::DspHandle highPassDsp() const { return highPass_.handle.load(); }
  audio::DspHandle lowPassDsp() const { return lowPass_.handle.load(); }
  audio::DspHandle fadeInDsp() const { return fadeInDsp_.load(); }
  audio::DspHandle fadeOutDsp() const { return fadeOutDsp_.load(); }
  // A copy of the fade state, taken under its lock.
  FadeState fade() const;

  // The fade's effect procedure; user: this object.
  static void FadeDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);

  // True while a fade-in runs (taken under the fade's lock).
  bool fadeInRunning() const;

 private:
  void SwitchFilter(EffectSlot& slot, bool checked, int32_t setting);

  PreviewShared& shared_;
  EffectSlot gain_, highPass_, lowPass_;
  mutable std::mutex fadeMutex_;  // guards fade_: a fade start and the kernel never interleave
  FadeState fade_;
  std::atomic<audio::DspHandle> fadeInDsp_{0};
  std::atomic<audio::DspHandle> fadeOutDsp_{0};
};

}  // namespace preview
