#include "audio/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "audio/engine_state.h"
#include "audio/error.h"

namespace audio::detail {

namespace {

std::mutex& ClaimMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<Handle>& Claimed() {
  static std::unordered_set<Handle> s;
  return s;
}

std::unordered_map<Handle, MixerSource*>& Mixers() {
  static std::unordered_map<Handle, MixerSource*> m;
  return m;
}

}  // namespace

MixerSource* FindMixerSource(Handle mixer) {
  std::lock_guard lock(ClaimMutex());
  auto it = Mixers().find(mixer);
  return it == Mixers().end() ? nullptr : it->second;
}

void RegisterMixerSource(Handle mixer, MixerSource* source) {
  std::lock_guard lock(ClaimMutex());
  Mixers()[mixer] = source;
  source->SetHandle(mixer);
}

bool ClaimMixerSource(Handle source) {
  std::lock_guard lock(ClaimMutex());
  return Claimed().insert(source).second;
}

void ReleaseMixerSource(Handle source) {
  std::lock_guard lock(ClaimMutex());
  Claimed().erase(source);
}

MixerSource::MixerSource(const Format& format, uint32_t flags)
    : format_(format), flags_(flags), mix_(kChunkFrames * format.chans) {
  inputs_.reserve(4);
}

MixerSource::~MixerSource() {
  if (handle_ != 0) {
    std::lock_guard lock(ClaimMutex());
    Mixers().erase(handle_);
  }
  for (auto& in : inputs_) Release(*in);
}

void MixerSource::Release(Input& in) {
  if (!in.channel) return;
  const Handle h = in.channel->handle();
  if (in.autofree) {
    // The engine owns the source from here: it goes with the mixer or when it ends.
    State().channels.Take(h);
    in.channel->Close();
  }
  ReleaseMixerSource(h);
  in.channel.reset();
}

bool MixerSource::AddInput(std::shared_ptr<Channel> source, uint32_t flags) {
  auto in = std::make_unique<Input>();
  in->resampler = Resampler::Create(source->format(), format_.rate, format_.chans,
                                    (flags & MIXER_DOWNMIX) != 0);
  if (!in->resampler) return Fail(ERROR_FORMAT, false);
  in->autofree = (flags & STREAM_AUTOFREE) != 0;
  // One step reads at most the input that kChunkFrames output frames take, plus a little.
  const double ratio = static_cast<double>(source->format().rate) / format_.rate;
  const size_t rawFrames = static_cast<size_t>(std::ceil(kChunkFrames * ratio)) + 16;
  in->raw.resize(rawFrames * source->format().BytesPerFrame());
  in->pending.resize((in->resampler->MaxOutput(rawFrames) + 2 * kChunkFrames + 256) * format_.chans);
  in->channel = std::move(source);
  inputs_.push_back(std::move(in));
  return true;
}

void MixerSource::Pull(Input& in, size_t want) {
  const uint32_t outChans = format_.chans;
  const size_t capacity = in.pending.size() / outChans;
  const uint32_t srcRate = in.channel->format().rate;
  const size_t rawCapacity = in.raw.size() / in.channel->format().BytesPerFrame();
  while (in.pendingFrames < want && !in.drained) {
    float* dst = in.pending.data() + in.pendingFrames * outChans;
    const size_t room = capacity - in.pendingFrames;
    if (in.sourceEnded) {
      in.pendingFrames += in.resampler->Flush(dst, room);
      in.drained = true;
      break;
    }
    // Just the input these output frames need; the filter's delay makes the first steps short.
    const size_t need = want - in.pendingFrames;
    size_t frames = static_cast<size_t>(
        std::ceil(static_cast<double>(need) * srcRate / format_.rate));
    frames = std::clamp<size_t>(frames, 1, rawCapacity);
    const size_t got = in.channel->Produce(in.raw.data(), frames);
    if (got > 0) in.pendingFrames += in.resampler->Convert(in.raw.data(), got, dst, room);
    if (got < frames || in.channel->ended() || in.channel->closed()) in.sourceEnded = true;
  }
}

bool MixerSource::AllDrained() const {
  for (const auto& in : inputs_) {
    if (!in->drained || in->pendingFrames > 0) return false;
  }
  return true;
}

size_t MixerSource::Read(void* out, size_t frames) {
  const uint32_t chans = format_.chans;
  const bool ends = (flags_ & MIXER_END) != 0;
  size_t done = 0;
  while (done < frames) {
    const size_t step = std::min(frames - done, kChunkFrames);
    std::fill(mix_.begin(), mix_.begin() + static_cast<ptrdiff_t>(step * chans), 0.0f);
    size_t produced = 0;
    for (auto& inPtr : inputs_) {
      Input& in = *inPtr;
      Pull(in, step);
      const size_t n = std::min(step, in.pendingFrames);
      for (size_t i = 0; i < n * chans; ++i) mix_[i] += in.pending[i];
      std::memmove(in.pending.data(), in.pending.data() + n * chans,
                   (in.pendingFrames - n) * chans * sizeof(float));
      in.pendingFrames -= n;
      produced = std::max(produced, n);
    }
    // A source that has given everything leaves the mixer; AUTOFREE sources are freed.
    for (auto& in : inputs_) {
      if (in->drained && in->pendingFrames == 0) Release(*in);
    }
    std::erase_if(inputs_, [](const std::unique_ptr<Input>& in) { return !in->channel; });
    // Without MIXER_END the mixer runs on, silent when nothing is left to mix.
    if (!ends) produced = step;
    if (format_.isFloat) {
      std::memcpy(static_cast<float*>(out) + done * chans, mix_.data(), produced * chans * sizeof(float));
    } else {
      auto* o = static_cast<int16_t*>(out) + done * chans;
      for (size_t i = 0; i < produced * chans; ++i) {
        const float v = std::clamp(mix_[i] * 32768.0f, -32768.0f, 32767.0f);
        o[i] = static_cast<int16_t>(std::lrint(v));
      }
    }
    done += produced;
    if (produced < step) break;  // every source has ended
  }
  return done;
}

bool MixerSource::AtEnd() { return (flags_ & MIXER_END) != 0 && AllDrained(); }

bool MixerSource::Seek(int64_t frame) { return frame >= 0; }

}  // namespace audio::detail
