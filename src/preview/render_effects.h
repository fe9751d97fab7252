// The conversion's effects: the checked effects installed on the conversion's mixer, with a
// sample format and a fade state of their own, apart from the preview's.
#pragma once

#include <atomic>

#include "audio/engine.h"
#include "preview/effect_arithmetic.h"
#include "preview/effect_slot.h"
#include "preview/effect_state.h"
#include "preview/preview_state.h"

namespace preview {

// The gain and filter controls as the conversion reads them when it starts.
struct EffectControls {
  bool gain = false;
  int32_t gainPosition = 0;
  bool highPass = false;
  int32_t highPassPosition = 0;
  bool lowPass = false;
  int32_t lowPassPosition = 0;
};

// One conversion's effects at a time. Installing them and starting a fade happen on the thread
// that opens the rendering; the fade procedure runs on the thread that reads the mixer.
class RenderEffects {
 public:
  static constexpr int32_t kRate = kRingtoneRate;
  static constexpr int32_t kChannels = 2;
  static constexpr int32_t kBits = 16;

  // `standalone`: a rendering with no preview beside it (the command line), whose effects are
  // installed whatever the preview holds.
  explicit RenderEffects(const PreviewShared& shared, bool standalone = false);
  RenderEffects(const RenderEffects&) = delete;
  RenderEffects& operator=(const RenderEffects&) = delete;

  // The mixer the render fades act on; set before anything is installed on it, 0 afterwards.
  void setRenderMixer(audio::Handle mixer) { renderMixer_.store(mixer); }
  audio::Handle renderMixer() const { return renderMixer_.load(); }

  // Installs on `stream` the checked low-pass, high-pass and gain effects, then the fade-in when
  // its box is checked. In the window, installs nothing while no preview stream exists.
  void ApplyRenderEffects(audio::Handle stream, const EffectControls& controls);
  // Starts the conversion's fade-in or fade-out when its box is checked, first removing the
  // conversion fades still installed; a fade-out during the fade-in goes down from its level.
  void StartRenderFade(audio::Handle stream, bool fadeIn);

  // The length of the part being rendered, in seconds (0: not known); the fades fit within it.
  void setPartSeconds(double seconds) { partSeconds_.store(seconds); }
  // The fades as the boxes give them, placed within the part (0 for a fade that is off).
  FadeLengths fades() const;

  audio::DspHandle renderFadeInDsp() const { return renderFadeInDsp_.load(); }
  audio::DspHandle renderFadeOutDsp() const { return renderFadeOutDsp_.load(); }
  const FadeState& fade() const { return fade_; }

  // The conversion fade's procedure; user: this object. A completed fade-in removes itself and
  // clears its handle. A completed fade-out stays installed and keeps the rest silent.
  static void RenderFadeDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length,
                                void* user);

 private:
  const PreviewShared& shared_;
  const bool standalone_;
  StreamFormat format_;  // 44100 Hz, 2 channels, 16 bits: the mixer's
  EffectSlot gain_, highPass_, lowPass_;
  FadeState fade_;
  std::atomic<double> partSeconds_{0};
  std::atomic<audio::Handle> renderMixer_{0};
  std::atomic<audio::DspHandle> renderFadeInDsp_{0};
  std::atomic<audio::DspHandle> renderFadeOutDsp_{0};
};

}  // namespace preview
