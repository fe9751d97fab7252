// The mixer calls of the engine's API.
#include "audio/engine.h"
#include "audio/engine_state.h"
#include "audio/error.h"
#include "audio/mixer.h"

namespace audio {

using namespace detail;

namespace {
constexpr uint32_t kMixerFlags = SAMPLE_FLOAT | STREAM_DECODE | MIXER_END | STREAM_AUTOFREE;
constexpr uint32_t kAddFlags = MIXER_DOWNMIX | STREAM_AUTOFREE;
constexpr uint32_t kMaxChannels = 8;
}  // namespace

Handle Mixer_StreamCreate(uint32_t freq, uint32_t chans, uint32_t flags) {
  return Guard(Handle{0}, [&]() -> Handle {
    if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, Handle{0});
    if (freq == 0 || freq > 384000 || chans == 0 || chans > kMaxChannels) {
      return Fail(ERROR_ILLPARAM, Handle{0});
    }
    if ((flags & ~kMixerFlags) != 0) return Fail(ERROR_ILLPARAM, Handle{0});
    Format format;
    format.rate = freq;
    format.chans = chans;
    format.isFloat = (flags & SAMPLE_FLOAT) != 0;
    auto source = std::make_unique<MixerSource>(format, flags);
    MixerSource* raw = source.get();
    const Handle h = AddChannel(format, flags, std::move(source));
    RegisterMixerSource(h, raw);
    SetError(ERROR_OK);
    return h;
  });
}

bool Mixer_StreamAddChannel(Handle mixer, Handle source, uint32_t flags) {
  return Guard(false, [&] {
    auto m = FindChannel(mixer);
    if (!m) return false;
    auto s = FindChannel(source);
    if (!s) return false;
    if (mixer == source || (flags & ~kAddFlags) != 0) return Fail(ERROR_ILLPARAM, false);
    if (!s->isDecode()) return Fail(ERROR_DECODE, false);
    if (FindMixerSource(mixer) == nullptr) return Fail(ERROR_HANDLE, false);
    if (!ClaimMixerSource(source)) return Fail(ERROR_ALREADY, false);
    std::lock_guard lock(m->mutex());
    MixerSource* ms = FindMixerSource(mixer);
    if (m->closed() || ms == nullptr || s->closed()) {
      ReleaseMixerSource(source);
      return Fail(ERROR_HANDLE, false);
    }
    if (!ms->AddInput(std::move(s), flags)) {
      ReleaseMixerSource(source);
      return false;
    }
    SetError(ERROR_OK);
    return true;
  });
}

}  // namespace audio
