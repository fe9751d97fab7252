#include "preview/preview_effects.h"

#include "preview/effect_kernels.h"

namespace preview {

FadeLengths SelectionFades(const PreviewShared& shared, bool anyFadeOut) {
  const ControlMirror& c = shared.controls;
  const int64_t start = shared.selStart.load(), end = shared.selEnd.load();
  const double part = end > start ? audio::ChannelBytes2Seconds(shared.playStream.load(), end - start) : 0.0;
  return FitFades(c.fadeIn.load(), c.fadeInSeconds.load(), anyFadeOut || c.fadeOut.load(), c.fadeOutSeconds.load(),
                  part);
}

PreviewEffects::PreviewEffects(PreviewShared& shared) : shared_(shared) {
  for (EffectSlot* slot : {&gain_, &highPass_, &lowPass_}) slot->format = &shared.format;
  gain_.kind = EffectKind::Gain;
  highPass_.kind = EffectKind::HighPass;
  lowPass_.kind = EffectKind::LowPass;
}

void PreviewEffects::checkgainClick(bool checked, int32_t gainPosition) {
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return;
  RemoveSlot(stream, gain_);
  if (!checked) return;
  gain_.gainFactor = GainFactorFor(gainPosition);
  InstallSlot(stream, gain_);
}

void PreviewEffects::chighpassClick(bool checked, int32_t barPosition) {
  SwitchFilter(highPass_, checked, barPosition);
}

void PreviewEffects::clowpassClick(bool checked, int32_t barPosition) {
  SwitchFilter(lowPass_, checked, barPosition);
}

void PreviewEffects::SwitchFilter(EffectSlot& slot, bool checked, int32_t setting) {
  const audio::Handle stream = shared_.playStream.load();
  if (stream == 0) return;
  // Already running on this stream (its bar moved): only the cut-off changes. The memory stays, as
  // a state-variable filter is stable across a change of its coefficient; cleared on every step of
  // a drag, the filter would restart from zero many times a second, and click.
  if (checked && slot.stream == stream) {
    slot.setting.store(setting);
    return;
  }
  RemoveSlot(stream, slot);
  if (!checked) return;
  slot.setting.store(setting);
  InstallSlot(stream, slot);
}

void PreviewEffects::StartFade(audio::Handle stream, bool fadeIn) {
  if (stream == 0) return;
  const ControlMirror& c = shared_.controls;
  if (!(fadeIn ? c.fadeIn.load() : c.fadeOut.load())) return;
  const FadeLengths lengths = SelectionFades(shared_);
  const double seconds = fadeIn ? lengths.in : lengths.out;
  // A fade effect still installed would advance the one fade state a second time per value. A
  // fade-in that was still installed gives the level a fade-out starts from.
  const bool fadingIn = fadeInDsp_.load() != 0 && audio::ChannelRemoveDSP(stream, fadeInDsp_.load());
  if (fadeOutDsp_.load() != 0) audio::ChannelRemoveDSP(stream, fadeOutDsp_.load());
  {
    std::lock_guard lock(fadeMutex_);
    const double level = fadingIn ? FadeInLevel(fade_) : 1.0;
    StartFadeState(fade_, fadeIn, seconds, shared_.format.rate.load(), shared_.format.channels.load(), level);
  }
  const audio::DspHandle h = audio::ChannelSetDSP(stream, FadeDspProc, this, 0);
  (fadeIn ? fadeInDsp_ : fadeOutDsp_).store(h);
}

FadeState PreviewEffects::fade() const {
  std::lock_guard lock(fadeMutex_);
  return fade_;
}

bool PreviewEffects::fadeInRunning() const {
  std::lock_guard lock(fadeMutex_);
  return FadeInRunning(fade_);
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
