#include "analysis/loudness_part.h"

#include <cmath>
#include <vector>

#include "convert/part_render.h"
#include "preview/preview_state.h"

namespace analysis {

namespace {

// The level of the largest 16-bit value, 32767, against the 32768 levels are counted in.
const double kClipDbfs = 20.0 * std::log10(32767.0 / 32768.0) - 1e-9;

// One rendering of the part with `effects`, measured.
std::optional<Loudness> RenderPass(const PartRequest& request, const preview::EffectControls& effects,
                                   const std::atomic<bool>* cancel) {
  // The fades are read from a mirror of the window's boxes: this one holds the request's. The
  // pass renders on its own, whatever the preview holds.
  preview::PreviewShared shared;
  shared.controls.fadeIn = request.fadeIn;
  shared.controls.fadeInSeconds = request.fadeInSeconds;
  shared.controls.fadeOut = request.fadeOut;
  shared.controls.fadeOutSeconds = request.fadeOutSeconds;
  preview::RenderEffects render(shared, true);
  convert::PartRender part(render);
  convert::PartSpec spec = request;
  spec.effects = effects;
  if (part.Open(spec) != convert::OpenResult::Done) return std::nullopt;

  LoudnessMeter meter;
  if (!meter.ok()) return std::nullopt;
  std::vector<int16_t> block(16384);  // 8192 frames
  for (;;) {
    if (cancel != nullptr && cancel->load()) return std::nullopt;
    const uint32_t got = part.Read(block.data(), static_cast<uint32_t>(block.size() * sizeof(int16_t)));
    if (got == audio::DATA_ERROR) return std::nullopt;
    if (got == 0) break;
    meter.Add(block.data(), got / sizeof(int16_t));
  }
  return meter.Result();
}

}  // namespace

std::optional<PartLoudness> MeasurePart(const PartRequest& request, const std::atomic<bool>* cancel) {
  preview::EffectControls withoutGain = request.effects;
  withoutGain.gain = false;
  const std::optional<Loudness> bare = RenderPass(request, withoutGain, cancel);
  if (!bare) return std::nullopt;
  PartLoudness result{*bare, *bare};
  if (!request.effects.gain) return result;
  const double db = request.effects.gainPosition;
  // The gain scales the filters' output before the fades, which only lower it further: where the
  // peak after the fades does not reach full scale, a sample under a fade may still have reached
  // it before, so a positive gain under a fade is measured too.
  const bool fades = request.fadeIn || request.fadeOut;
  if (!GainClips(*bare, db) && !(db > 0 && fades)) {
    result.shown = WithGain(*bare, db);
    return result;
  }
  const std::optional<Loudness> shown = RenderPass(request, request.effects, cancel);
  if (!shown) return std::nullopt;
  result.shown = *shown;
  // Rendered with the gain, a sample at the 16-bit limit was cut there (or was already at it, and
  // the gain cut it further).
  result.clips = db > 0 && shown->samplePeak >= kClipDbfs;
  return result;
}

}  // namespace analysis
