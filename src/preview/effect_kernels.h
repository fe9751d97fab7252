// The effect kernels: in-place sample arithmetic for the high-pass and low-pass filters, the
// gain and the fade, and ProcessEffect, which cuts a buffer into chunks and runs one kernel on
// each chunk.
//
// Data: `buffer` holds `length` bytes of interleaved values in one of the formats of
// sample_format.h (bits 8, 16 or 32). Any other bits value, channels 0 or a null buffer leave the
// data unchanged. A trailing part of a value (or, for the filters, of a frame) is left unchanged.
//
// State: the kernels keep nothing between calls. Parameters come in EffectParams, the fade's
// progress in a FadeState and each filter's memory in its own FilterState, all owned by the
// caller (see effect_state.h). The preview and the conversion each own one FadeState; every
// installed filter effect owns one FilterState, value-initialised when it is installed.
//
// Threads: the kernels may run on any thread, including the engine's playback thread. They do not
// allocate, lock or block, and they touch only the buffer and the state they are given; the
// caller guards a state that another thread may write at the same time.
#pragma once

#include <cstdint>

#include "preview/effect_state.h"

namespace preview {

// The chunk ProcessEffect hands to a kernel: 1024 frames, that is (bits div 8) x 1024 x channels
// bytes (4096 for 16-bit stereo). 0 when bits is not 8, 16 or 32 or channels is 0.
int32_t EffectChunkBytes(uint8_t bits, uint8_t channels);

// Runs the kernel of `kind` over `length` bytes of `buffer`, chunk by chunk: while bytes remain,
// the next min(remaining, EffectChunkBytes) bytes go to the kernel (the last chunk may be
// shorter). A kind outside 0..3 runs no kernel; a length <= 0 does nothing.
//   HighPass, LowPass: read params.highCut / params.lowCut and carry `*filter` across chunks and
//                      calls; a null `filter` leaves the data unchanged.
//   Gain:              reads params.gainFactor.
//   Fade:              advances `fade` once per value; `tail` says what happens after a fade-out.
void ProcessEffect(EffectKind kind, void* buffer, int32_t length, int32_t rate, uint8_t bits,
                   uint8_t channels, const EffectParams& params, FadeState& fade,
                   FilterState* filter, FadeTail tail = FadeTail::Unchanged);

// A state-variable filter with damping 1, on `n` bytes, with setting params.highCut (high-pass)
// or params.lowCut (low-pass): F = FilterCoefficient(FilterCutoff(setting, rate, bits), rate),
// computed once per call. With params.cutoffRate set to another rate, F is the one that puts the
// filter's resonance (2 sin(pi f0 / rate) = F) where that rate's F puts it, at most 1. For each channel c below
// min(channels, kFilterChannels), over every whole frame with x the channel's value:
//   low[c]  := F x band[c] + low[c]
//   high[c] := x - low[c] - band[c]
//   band[c] := F x high[c] + band[c]
// each result stored as a float before it is used further, x and F taking part as doubles. The
// high-pass writes back high[c], the low-pass low[c]. Channels from kFilterChannels on are left
// unchanged. A rate <= 0 leaves the data unchanged. The filter is stable for every F in (0, 1].
void HighPassKernel(void* buffer, int32_t n, int32_t rate, uint8_t bits, uint8_t channels,
                    const EffectParams& params, FilterState& state);
void LowPassKernel(void* buffer, int32_t n, int32_t rate, uint8_t bits, uint8_t channels,
                   const EffectParams& params, FilterState& state);

// Scales each of the n div (bits div 8) values: y := x x params.gainFactor, held as a float.
void GainKernel(void* buffer, int32_t n, uint8_t bits, const EffectParams& params);

// For each of the n div (bits div 8) values in buffer order (all channels interleaved, so the
// fade advances once per value):
//   1. if not 0 < fadeGain < 1, stop: the fade is complete;
//   2. y := x x fadeGain, held as a float;  3. fadeGain += fadeStep;  4. write y back.
// A fade-out started by StartFadeState is counted (FadeState::fadeOutLeft): it scales exactly its
// length of values, the last one by 0, whatever the summed gain does in its last bits, and then
// sets fadeGain to 0. With FadeTail::Unchanged the values after a completed fade are left
// unchanged. With FadeTail::SilenceAfterFadeOut, once a fade-out is complete (fadeStep < 0,
// fadeGain <= 0) the remaining values are written as silence (0; 128 for 8-bit data).
void FadeKernel(void* buffer, int32_t n, uint8_t bits, FadeState& fade,
                FadeTail tail = FadeTail::Unchanged);

}  // namespace preview
