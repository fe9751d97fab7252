#include "preview/effect_slot.h"

#include "preview/effect_kernels.h"

namespace preview {

namespace {

void RunSlot(void* buffer, uint32_t length, void* user) {
  auto& slot = *static_cast<EffectSlot*>(user);
  FadeState unused;
  EffectParams params;
  params.gainFactor = slot.gainFactor;
  params.highCut = params.lowCut = slot.setting.load(std::memory_order_relaxed);
  params.cutoffRate = kRingtoneRate;
  const StreamFormat& f = *slot.format;
  ProcessEffect(slot.kind, buffer, static_cast<int32_t>(length), f.rate.load(std::memory_order_relaxed),
                static_cast<uint8_t>(f.bits.load(std::memory_order_relaxed)),
                static_cast<uint8_t>(f.channels.load(std::memory_order_relaxed)), params, unused,
                &slot.filter);
}

}  // namespace

void GainDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user) {
  RunSlot(buffer, length, user);
}
void HighPassDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user) {
  RunSlot(buffer, length, user);
}
void LowPassDspProc(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user) {
  RunSlot(buffer, length, user);
}

void InstallSlot(audio::Handle stream, EffectSlot& slot) {
  slot.filter = FilterState{};
  audio::DspProc* proc = slot.kind == EffectKind::HighPass  ? HighPassDspProc
                         : slot.kind == EffectKind::LowPass ? LowPassDspProc
                                                            : GainDspProc;
  slot.handle.store(audio::ChannelSetDSP(stream, proc, &slot, 0));
  slot.stream = slot.handle.load() != 0 ? stream : 0;
}

void RemoveSlot(audio::Handle stream, EffectSlot& slot) {
  if (slot.handle.load() != 0) audio::ChannelRemoveDSP(stream, slot.handle.load());
  slot.stream = 0;
}

}  // namespace preview
