#include "convert/part_render.h"

#include <algorithm>
#include <cmath>

#include "source/openers.h"

namespace convert {

namespace {

constexpr int32_t kRate = preview::RenderEffects::kRate;

// Seconds to whole frames at `rate`, to the nearest frame: a time that came from a frame count
// at this rate gives that count back, whatever the rounding of its decimal form.
int64_t FramesOf(double seconds, double rate) { return std::llround(seconds * rate); }

}  // namespace

void PartRender::FadeOutSyncProc(audio::SyncHandle, audio::Handle, uint32_t, void* user) {
  auto& self = *static_cast<PartRender*>(user);
  self.render_.StartRenderFade(self.mixer_, false);
}

OpenResult PartRender::Open(const PartSpec& spec, int64_t frames) {
  Close();
  framesRead_ = 0;
  source_ = source::OpenRenderStream(spec.inputPath, source::kRenderFlags);
  if (source_ == 0) return OpenResult::ErrorCreatingStream;
  audio::ChannelInfo info{};
  mixer_ = audio::Mixer_StreamCreate(kRate, preview::RenderEffects::kChannels, audio::STREAM_DECODE | audio::MIXER_END);
  if (!audio::ChannelGetInfo(source_, &info) || info.freq == 0 || mixer_ == 0 ||
      !audio::Mixer_StreamAddChannel(mixer_, source_, audio::MIXER_DOWNMIX | audio::STREAM_AUTOFREE)) {
    if (mixer_ != 0) audio::StreamFree(mixer_);
    audio::StreamFree(source_);
    mixer_ = source_ = 0;
    return OpenResult::ErrorCreatingStream;
  }
  render_.setRenderMixer(mixer_);

  // The source is seeked to its frame nearest the start. The render stream has no prescan (it
  // would cost a pass over the file), so its length may be a header's estimate; the seek reaches
  // past it by itself. A start it cannot reach is refused: a ringtone from another part of the
  // song must never be written.
  const int64_t sourceFrameBytes = audio::ChannelSeconds2Bytes(source_, 1.0) / info.freq;
  const int64_t startFrame = std::max<int64_t>(0, FramesOf(spec.startSeconds, info.freq));
  if (sourceFrameBytes <= 0 || !audio::ChannelSetPosition(source_, startFrame * sourceFrameBytes, audio::POS_BYTE)) {
    Close();
    return OpenResult::StartPastEnd;
  }
  const double start = static_cast<double>(startFrame) / info.freq;

  // The end and the fade-out count on the mixer's output, whose frame k is the source at
  // start + k / 44100 s: there each acts at its very frame, whatever the resampler keeps of the
  // source in hand. The part ends exactly at its end time, and its fade-out ends in silence there,
  // as the preview's does at the selection's end.
  bounded_ = spec.endSeconds > 0 || frames >= 0;
  if (frames >= 0) {
    partFrames_ = frames;
  } else if (bounded_) {
    partFrames_ = std::max<int64_t>(0, FramesOf(spec.endSeconds - start, kRate));
  } else {
    const int64_t length = audio::ChannelGetLength(source_, audio::POS_BYTE);
    partFrames_ = std::max<int64_t>(0, FramesOf(audio::ChannelBytes2Seconds(source_, length) - start, kRate));
  }
  // The fades fit within the part: a fade-out longer than the part begins with its first frame
  // and still ends in silence at its end.
  render_.setPartSeconds(static_cast<double>(partFrames_) / kRate);
  const preview::FadeLengths fades = render_.fades();
  const int64_t fadeFrom = std::max<int64_t>(0, partFrames_ - std::llround(fades.out * kRate));
  if (fades.out > 0) {
    audio::ChannelSetSync(mixer_, audio::SYNC_POS | audio::SYNC_MIXTIME, fadeFrom * kFrameBytes, FadeOutSyncProc, this);
  }
  render_.ApplyRenderEffects(mixer_, spec.effects);
  return OpenResult::Done;
}

void PartRender::Close() {
  // The source goes with the mixer.
  if (mixer_ != 0) {
    audio::ChannelStop(mixer_);
    audio::StreamFree(mixer_);
    render_.setRenderMixer(0);
  } else if (source_ != 0) {
    audio::StreamFree(source_);
  }
  mixer_ = source_ = 0;
}

uint32_t PartRender::Read(void* buffer, uint32_t bytes) {
  if (mixer_ == 0) return audio::DATA_ERROR;
  int64_t want = bytes / kFrameBytes;
  if (bounded_) want = std::min(want, partFrames_ - framesRead_);
  if (want <= 0 || audio::ChannelIsActive(mixer_) == audio::ACTIVE_STOPPED) return 0;
  const uint32_t got = audio::ChannelGetData(mixer_, buffer, static_cast<uint32_t>(want * kFrameBytes));
  if (got == audio::DATA_ERROR) {
    // The mixer ends once its source has ended and been delivered: that is the part's end.
    return audio::ChannelIsActive(mixer_) == audio::ACTIVE_STOPPED ? 0 : audio::DATA_ERROR;
  }
  framesRead_ += got / kFrameBytes;
  return got;
}

int PartRender::percent() const {
  if (partFrames_ <= 0) return 0;
  return static_cast<int>(std::clamp<int64_t>(100 * framesRead_ / partFrames_, 0, 100));
}

}  // namespace convert
