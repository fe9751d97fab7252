// An installed gain or filter effect: its parameters and memory, and the effect procedures the
// engine calls with it.
#pragma once

#include <atomic>

#include "audio/engine.h"
#include "preview/effect_state.h"
#include "preview/preview_state.h"

namespace preview {

// A slot lives as long as its owner: swapping an effect never allocates or frees on the engine's
// thread.
struct EffectSlot {
  const StreamFormat* format = nullptr;  // the sample format the kernel computes with
  EffectKind kind = EffectKind::Gain;
  // Written only while the effect is not installed (between removing it and installing it again).
  float gainFactor = 1.0f;
  // The filter's setting (highCut or lowCut): may change while the filter runs; its procedure
  // reads it once per buffer and the filter's memory carries on.
  std::atomic<int32_t> setting{0};
  FilterState filter;  // the engine's thread while installed
  std::atomic<audio::DspHandle> handle{0};
  audio::Handle stream = 0;  // owner's thread: the stream the effect runs on, 0 once removed
};

// Effect procedures; user: the EffectSlot.
void GainDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);
void HighPassDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);
void LowPassDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);

// Installs the slot's effect on `stream` with a fresh filter memory; keeps the handle (0 when the
// engine refused) and the stream.
void InstallSlot(audio::Handle stream, EffectSlot& slot);

// Removes the slot's effect from `stream` (harmless when it is not installed there); the handle
// keeps its value.
void RemoveSlot(audio::Handle stream, EffectSlot& slot);

}  // namespace preview
