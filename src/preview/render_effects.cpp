#include "preview/render_effects.h"

#include <cstring>

#include "preview/effect_kernels.h"

namespace preview {

RenderEffects::RenderEffects(const PreviewShared& shared, bool standalone)
    : shared_(shared), standalone_(standalone) {
  format_.rate.store(kRate);
  format_.channels.store(kChannels);
  format_.bits.store(kBits);
  for (EffectSlot* slot : {&gain_, &highPass_, &lowPass_}) slot->format = &format_;
  gain_.kind = EffectKind::Gain;
  highPass_.kind = EffectKind::HighPass;
  lowPass_.kind = EffectKind::LowPass;
}

void RenderEffects::ApplyRenderEffects(audio::Handle stream, const EffectControls& controls) {
  if (!standalone_ && shared_.playStream.load() == 0) return;
  if (controls.lowPass) {
    lowPass_.setting.store(controls.lowPassPosition);
    InstallSlot(stream, lowPass_);
  }
  if (controls.highPass) {
    highPass_.setting.store(controls.highPassPosition);
    InstallSlot(stream, highPass_);
  }
  if (controls.gain) {
    gain_.gainFactor = GainFactorFor(controls.gainPosition);
    InstallSlot(stream, gain_);
  }
  if (shared_.controls.fadeIn.load()) StartRenderFade(stream, true);
}

FadeLengths RenderEffects::fades() const {
  const ControlMirror& c = shared_.controls;
  return FitFades(c.fadeIn.load(), c.fadeInSeconds.load(), c.fadeOut.load(), c.fadeOutSeconds.load(),
                  partSeconds_.load());
}

void RenderEffects::StartRenderFade(audio::Handle stream, bool fadeIn) {
  if (stream == 0) return;
  const ControlMirror& c = shared_.controls;
  if (!(fadeIn ? c.fadeIn.load() : c.fadeOut.load())) return;
  const FadeLengths lengths = fades();
  const double seconds = fadeIn ? lengths.in : lengths.out;
  // A fade-in still acting on the mixer gives the level a fade-out starts from.
  const audio::DspHandle in = renderFadeInDsp_.load();
  const bool fadingIn = in != 0 && audio::ChannelRemoveDSP(stream, in);
  if (renderFadeOutDsp_.load() != 0) audio::ChannelRemoveDSP(stream, renderFadeOutDsp_.load());
  renderFadeInDsp_.store(0);
  renderFadeOutDsp_.store(0);
  StartFadeState(fade_, fadeIn, seconds, kRate, kChannels, fadingIn ? FadeInLevel(fade_) : 1.0);
  const audio::DspHandle h = audio::ChannelSetDSP(stream, RenderFadeDspProc, this, 0);
  (fadeIn ? renderFadeInDsp_ : renderFadeOutDsp_).store(h);
}

void RenderEffects::RenderFadeDspProc(audio::DspHandle, audio::Handle, void* buffer,
                                      uint32_t length, void* user) {
  auto& self = *static_cast<RenderEffects*>(user);
  const audio::Handle mixer = self.renderMixer_.load();
  if (self.fade_.fadeGain >= 1) {
    audio::ChannelRemoveDSP(mixer, self.renderFadeInDsp_.load());
    self.renderFadeInDsp_.store(0);
    return;
  }
  if (self.fade_.fadeGain <= 0 && self.fade_.fadeStep < 0) {
    // The ringtone has faded out: what follows stays silent.
    std::memset(buffer, 0, length);
    return;
  }
  if (self.fade_.fadeGain <= 0) {
    audio::ChannelRemoveDSP(mixer, self.renderFadeOutDsp_.load());
    self.renderFadeOutDsp_.store(0);
    return;
  }
  if (self.renderFadeInDsp_.load() == 0 && self.renderFadeOutDsp_.load() == 0) return;
  EffectParams unused;
  ProcessEffect(EffectKind::Fade, buffer, static_cast<int32_t>(length), kRate, kBits, kChannels,
                unused, self.fade_, nullptr, FadeTail::SilenceAfterFadeOut);
}

}  // namespace preview
