// An installed gain or filter effect: its parameters and memory, and the effect procedures the
// engine calls with it.
#pragma once

#include <atomic>

#include "audio/engine.h"
#include "preview/effect_state.h"
#include "preview/preview_state.h"

namespace preview {

// Parameters are written only while the effect is not installed (between removing it and
// installing it again), so the engine's thread never sees them change mid-buffer. A slot lives as
// long as its owner: swapping an effect never allocates or frees on the engine's thread.
struct EffectSlot {
  const StreamFormat* format = nullptr;  // the sample format the kernel computes with
  EffectKind kind = EffectKind::Gain;
  EffectParams params;
  FilterState filter;
  std::atomic<audio::DspHandle> handle{0};
};

// Effect procedures; user: the EffectSlot.
void GainDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);
void HighPassDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);
void LowPassDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);

// Installs the slot's effect on `stream` with a fresh filter memory; keeps the handle (0 when the
// engine refused).
void InstallSlot(audio::Handle stream, EffectSlot& slot);

}  // namespace preview
