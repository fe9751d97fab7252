// What the loudness of a marked part depends on, and what is measured of it.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/loudness_meter.h"
#include "preview/render_effects.h"

namespace analysis {

// Everything the rendering of a part depends on.
struct PartRequest {
  std::string inputPath;
  double startSeconds = 0;  // [start, end) of the source
  double endSeconds = 0;
  preview::EffectControls effects;
  bool fadeIn = false;
  int32_t fadeInSeconds = 0;
  bool fadeOut = false;
  int32_t fadeOutSeconds = 0;
};

bool SameRequest(const PartRequest& a, const PartRequest& b);

struct PartLoudness {
  Loudness bare;   // without the gain, whether or not it is ticked
  Loudness shown;  // with the effects as ticked
};

}  // namespace analysis
