// The arithmetic behind the effect controls: the gain factor of a gain position, the cut-off and
// coefficient of a filter setting, and the start of a fade. Plain functions, usable from any
// thread; they touch only what they are given.
#pragma once

#include <cstdint>

#include "preview/effect_state.h"

namespace preview {

// The linear gain of a gain position in dB: 10^(position x 0.05), computed in double and stored
// as a float. -12 gives 0.25118864, 0 gives 1, 6 gives 1.9952623, 12 gives 3.9810717.
float GainFactorFor(int32_t position);

// The cut-off frequency in Hz that a filter runs at for a setting (in ten-thousandths of half the
// sample rate): (rate div 2) x setting div 10000 in integer arithmetic with a 64-bit product,
// then limited to 1..rate div 2 (for 32-bit float data, bits == 32: to 0..rate div 2; the lower
// limit is applied first, so a rate below 2 gives the lower limit).
// At 44100 Hz: 5000 gives 11025, 1000 gives 2205, 0 gives 1, 11025 gives 22050.
int32_t FilterCutoff(int32_t setting, int32_t rate, uint8_t bits);

// The filter coefficient F = sin(fc x pi / rate) of a cut-off fc, as a double. F is in [0, 1]
// for 0 <= fc <= rate div 2. Callers pass rate > 0.
double FilterCoefficient(int32_t cutoff, int32_t rate);

// The cut-off a filter bar's hint shows for a bar position: the frequency in Hz the ringtone's
// filter uses (FilterCutoff at kRingtoneRate with 16 bits), which the preview's uses too.
int32_t CutoffHintHz(int32_t position);

// The filter bar position whose cut-off is nearest `hz`: the inverse of CutoffHintHz, so that a
// cut-off given in Hz sounds as the bar set to show it. 2205 Hz gives 1000, 11025 Hz gives 5000.
int32_t SettingForCutoffHz(int32_t hz);

// Starts a fade of `seconds` in `state`:
//   fadeSeconds := seconds; fadeGain := 0 (fade-in) or `fromLevel` (fade-out);
//   fadeStep := +1 or -fromLevel / seconds / rate / channels (the divisions in this order, in
//   double);
//   fadeGain := fadeGain + fadeStep, so the first value is already scaled by one step.
// The fade then covers seconds x rate x channels values; a fade-out counts them (fadeOutLeft), so
// that its last value is scaled to silence. `fromLevel` (clamped to 0..1) is the level the sound
// has when the fade-out starts: 1, or FadeLevel() of a fade-in still running, so the fade-out goes
// on down from there instead of jumping to full level. A fade of no length (seconds, rate or
// channels not above 0, or seconds NaN) is complete at once: fadeStep is +infinity or -infinity
// and fadeGain follows it, so the data is left unchanged (and a conversion's fade-out is silent).
void StartFadeState(FadeState& state, bool fadeIn, double seconds, int32_t rate, int32_t channels,
                    double fromLevel = 1.0);

// The lengths of the fades that a part plays, in seconds; 0 for a fade that is off.
struct FadeLengths {
  double in = 0;
  double out = 0;
};

// The fades placed within a part of `partSeconds`: a fade longer than the part is shortened to
// it, and when both are on and together exceed it, each to at most half of it, so that a part
// with a fade-out still ends in silence however short it is. A part of unknown length
// (partSeconds <= 0) keeps the lengths given.
FadeLengths FitFades(bool fadeIn, double inSeconds, bool fadeOut, double outSeconds, double partSeconds);

// The factor the next value gets from a running fade-in (its fadeGain); 1 when no fade-in runs.
double FadeInLevel(const FadeState& state);

// True while a fade-in runs (fadeStep > 0 and 0 < fadeGain < 1).
bool FadeInRunning(const FadeState& state);

}  // namespace preview
