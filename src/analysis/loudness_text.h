// The loudness meter's text beside the gain controls, e.g. "−17.3 LUFS · peak −0.4 dBTP".
#pragma once

#include <string>

#include "analysis/loudness_meter.h"

namespace analysis {

// One decimal, the typographic minus sign (U+2212), "+" before a positive peak (a peak over full
// scale is the thing to see), "−inf" for a level of silence. UTF-8.
// `clips`: the gain drives the part past full scale, which the text says after the levels.
std::string MeterText(const Loudness& loudness, bool clips = false);
// Whether the meter shows its levels in the warning colour: a true peak over the ceiling a
// ringtone keeps below, or a gain that clips.
bool MeterWarns(const Loudness& loudness, bool clips);
// A level in tenths of a dB with its sign, as MeterText writes it.
std::string LevelText(double db);

}  // namespace analysis
