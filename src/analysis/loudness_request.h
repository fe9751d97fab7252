// What the loudness of a marked part depends on, and what is measured of it.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/loudness_meter.h"
#include "convert/part_render.h"
#include "preview/render_effects.h"

namespace analysis {

// Everything the rendering of a part depends on.
// The part and its effects as the conversion renders them, with the fade boxes it reads.
struct PartRequest : convert::PartSpec {
  bool fadeIn = false;
  int32_t fadeInSeconds = 0;
  bool fadeOut = false;
  int32_t fadeOutSeconds = 0;
};

bool SameRequest(const PartRequest& a, const PartRequest& b);

struct PartLoudness {
  Loudness bare;   // without the gain, whether or not it is ticked
  Loudness shown;  // with the effects as ticked
  bool clips = false;  // the gain drives samples past full scale (the encode then overshoots more)
};

}  // namespace analysis
