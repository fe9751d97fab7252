// The loudness of a marked part as its ringtone would have it: the part rendered through the
// conversion's path (decoding, the 44100 Hz stereo mixer, the filters, the gain, the fades) and
// measured, once without the gain, which Level works from, and as the ticked effects leave it.
#pragma once

#include <atomic>
#include <optional>

#include "analysis/loudness_request.h"

namespace analysis {

// Renders and measures the part; nothing when the file cannot be opened or read, or when
// `cancel` is set meanwhile (checked between blocks). Without the gain ticked one pass does;
// with it the levels move by the gain unless a sample would clip, which only a second pass with
// the gain shows. Any thread; the engine must be initialised.
std::optional<PartLoudness> MeasurePart(const PartRequest& request, const std::atomic<bool>* cancel = nullptr);

}  // namespace analysis
