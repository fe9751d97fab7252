#include "analysis/loudness_request.h"

namespace analysis {

bool SameRequest(const PartRequest& a, const PartRequest& b) {
  const preview::EffectControls& x = a.effects;
  const preview::EffectControls& y = b.effects;
  return a.inputPath == b.inputPath && a.startSeconds == b.startSeconds && a.endSeconds == b.endSeconds &&
         x.gain == y.gain && x.gainPosition == y.gainPosition && x.highPass == y.highPass &&
         x.highPassPosition == y.highPassPosition && x.lowPass == y.lowPass &&
         x.lowPassPosition == y.lowPassPosition && a.fadeIn == b.fadeIn && a.fadeInSeconds == b.fadeInSeconds &&
         a.fadeOut == b.fadeOut && a.fadeOutSeconds == b.fadeOutSeconds;
}

}  // namespace analysis
