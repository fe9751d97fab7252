// The preview's triggers: the sync procedures that loop the selection and start the fades when
// decoding reaches their positions. They run on the engine's playback thread.
#pragma once

#include <atomic>

#include "audio/engine.h"
#include "preview/preview_effects.h"
#include "preview/preview_state.h"

namespace preview {

class Triggers {
 public:
  Triggers(PreviewShared& shared, PreviewEffects& effects) : shared_(shared), effects_(effects) {}

  // Sync procedures; user: this object. They use only the stream handle.
  // Jumps back to selStart when loop play is on and selStart is set, and starts the fade-in there
  // at once: the pass after the jump fades in from its first value, with no stretch at full level
  // between the fade-out's silence and the fade-in.
  static void LoopSyncProc(audio::SyncHandle, audio::Handle channel, uint32_t, void* user);
  // Starts the fade-in; after a loop jump, whose fade-in is already running, lets that one go on.
  static void FadeInSyncProc(audio::SyncHandle, audio::Handle channel, uint32_t, void* user);
  static void FadeOutSyncProc(audio::SyncHandle, audio::Handle channel, uint32_t, void* user);

 private:
  PreviewShared& shared_;
  PreviewEffects& effects_;
  // Set by a loop jump, taken by the next fade-in trigger (both on the engine's thread).
  std::atomic<bool> jumped_{false};
};

}  // namespace preview
