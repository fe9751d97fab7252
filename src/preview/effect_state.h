// The state the effect kernels compute with: the effect kinds, the effect parameters, the fade
// state and the filter state.
//
// Ownership: every struct here is a plain value owned by the caller of the kernels. The kernels
// read the parameters and read and write the fade and filter state they are given; they keep
// nothing of their own between calls. Whoever shares one of these between threads guards it (the
// kernels take no lock).
#pragma once

#include <cstdint>

namespace preview {

// The rate ringtones are made at; the filter settings count in ten-thousandths of its half.
inline constexpr int32_t kRingtoneRate = 44100;

// The kernel that ProcessEffect runs. Values outside 0..3 run no kernel.
enum class EffectKind : uint8_t {
  HighPass = 0,  // HighPassKernel
  LowPass = 1,   // LowPassKernel
  Gain = 2,      // GainKernel
  Fade = 3,      // FadeKernel
};

// Parameters of the gain and filter effects, written before an effect is installed and read by
// its kernel on every call.
struct EffectParams {
  float gainFactor = 1.0f;  // linear gain; see GainFactorFor()
  int32_t highCut = 0;      // high-pass setting, in ten-thousandths of half the sample rate
  int32_t lowCut = 0;       // low-pass setting, in ten-thousandths of half the sample rate
  // The rate whose half the settings count in; 0: the data's own. The preview counts in the
  // ringtone's rate, so that a file at another rate is filtered at the frequency its ringtone is.
  int32_t cutoffRate = 0;
};

// One running (or finished) fade. A fade runs while 0 < fadeGain < 1; StartFadeState() sets it.
// A value-initialised FadeState is a finished fade: the fade kernel leaves data unchanged.
struct FadeState {
  double fadeSeconds = 0.0;  // length of the fade last started, in seconds
  double fadeGain = 0.0;     // factor for the next sample value
  double fadeStep = 0.0;     // added to fadeGain after each value: > 0 fade-in, < 0 fade-out
  // The values a fade-out started by StartFadeState still scales. The gain summed step by step
  // lands a hair below 0 one value early; counted, the fade-out scales every value of its length,
  // the last one to silence, and is complete (fadeGain 0) right after it. 0: not counted (a fade-in,
  // or a state set by hand), the gain alone ends the fade.
  int64_t fadeOutLeft = 0;
};

// What the fade kernel does with the values after a fade that has completed.
enum class FadeTail : uint8_t {
  // Values after the end of any fade are left as they are (full level). The preview's fades.
  Unchanged = 0,
  // Values after the end of a fade-out (fadeStep < 0 and fadeGain <= 0) are written as silence;
  // after a fade-in they are left as they are. The conversion's fades: a ringtone that has faded
  // out stays silent to its end.
  SilenceAfterFadeOut = 1,
};

// The filters keep one state per channel for this many channels; channels past it pass through
// the filters unchanged.
inline constexpr int kFilterChannels = 10;

// The state of one installed high-pass or low-pass effect. It starts at zero (value-initialise it
// when the effect is installed) and carries across chunks and calls, so that a stream fed to the
// filter in pieces of any size gives the same output as one call.
struct FilterState {
  float low[kFilterChannels] = {};
  float band[kFilterChannels] = {};
  float high[kFilterChannels] = {};
};

}  // namespace preview
