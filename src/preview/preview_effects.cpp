#include "preview/preview_effects.h"

#include "preview/effect_arithmetic.h"
#include "preview/effect_kernels.h"

namespace preview {

PreviewEffects::PreviewEffects(PreviewShared& shared) : shared_(shared) {
  for (EffectSlot* slot : {&gain_, &highPass_, &lowPass_}) slot->format = &shared.format;
  gain_.kind = EffectKind::Gain;
  highPass_.kind = EffectKind::HighPass;
  lowPass_.kind = EffectKind::LowPass;
}

void PreviewEffects::checkgainClick(bool checked, int32_t gainPosition) {
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return;
  if (gain_.handle.load() != 0) audio::ChannelRemoveDSP(stream, gain_.handle.load());
  if (!checked) return;
  gain_.params.gainFactor = GainFactorFor(gainPosition);
  InstallSlot(stream, gain_);
}

void PreviewEffects::chighpassClick(bool checked, int32_t barPosition) {
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return;
  if (highPass_.handle.load() != 0) audio::ChannelRemoveDSP(stream, highPass_.handle.load());
  if (!checked) return;
  highPass_.params.highCut = barPosition;
  InstallSlot(stream, highPass_);
}

void PreviewEffects::clowpassClick(bool checked, int32_t barPosition) {
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return;
  if (lowPass_.handle.load() != 0) audio::ChannelRemoveDSP(stream, lowPass_.handle.load());
  if (!checked) return;
  lowPass_.params.lowCut = barPosition;
  InstallSlot(stream, lowPass_);
}

void PreviewEffects::StartFade(audio::Handle stream, bool fadeIn) {
  if (stream == 0) return;
  const ControlMirror& c = shared_.controls;
  if (!(fadeIn ? c.fadeIn.load() : c.fadeOut.load())) return;
  const int32_t seconds = fadeIn ? c.fadeInSeconds.load() : c.fadeOutSeconds.load();
  // A fade effect still installed would advance the one fade state a second time per value.
  for (auto* dsp : {&fadeInDsp_, &fadeOutDsp_})
    if (dsp->load() != 0) audio::ChannelRemoveDSP(stream, dsp->load());
  {
    std::lock_guard lock(fadeMutex_);
    StartFadeState(fade_, fadeIn, seconds, shared_.format.rate.load(), shared_.format.channels.load());
  }
  const audio::DspHandle h = audio::ChannelSetDSP(stream, FadeDspProc, this, 0);
  (fadeIn ? fadeInDsp_ : fadeOutDsp_).store(h);
}

FadeState PreviewEffects::fade() const {
  std::lock_guard lock(fadeMutex_);
  return fade_;
}

void PreviewEffects::FadeDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length,
                                 void* user) {
  auto& self = *static_cast<PreviewEffects*>(user);
  double gain;
  {
    std::lock_guard lock(self.fadeMutex_);
    gain = self.fade_.fadeGain;
  }
  const audio::Handle stream = self.shared_.playStream.load();
  if (gain >= 1) audio::ChannelRemoveDSP(stream, self.fadeInDsp_.load());
  if (gain <= 0) audio::ChannelRemoveDSP(stream, self.fadeOutDsp_.load());
  const StreamFormat& f = self.shared_.format;
  EffectParams unused;
  std::lock_guard lock(self.fadeMutex_);
  ProcessEffect(EffectKind::Fade, buffer, static_cast<int32_t>(length), f.rate.load(),
                static_cast<uint8_t>(f.bits.load()), static_cast<uint8_t>(f.channels.load()), unused,
                self.fade_, nullptr);
}

}  // namespace preview
