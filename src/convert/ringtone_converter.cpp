#include "convert/ringtone_converter.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "source/openers.h"

namespace convert {

const char* ResultMessage(ConvertResult result) {
  switch (result) {
    case ConvertResult::ErrorCreatingStream: return "Error creating stream!";
    case ConvertResult::ErrorStartingEncoder: return "Error starting encoder!";
    case ConvertResult::ErrorGetData: return "Error Get Data!";
    case ConvertResult::ErrorWriting: return "Error writing ringtone!";
    case ConvertResult::Done:
    case ConvertResult::Cancelled: break;
  }
  return "";
}

void RingtoneConverter::RenderEndSyncProc(audio::SyncHandle, audio::Handle, uint32_t, void* user) {
  static_cast<RingtoneConverter*>(user)->renderDone_ = true;
}

void RingtoneConverter::RenderFadeOutSyncProc(audio::SyncHandle, audio::Handle, uint32_t, void* user) {
  auto& self = *static_cast<RingtoneConverter*>(user);
  self.render_.StartRenderFade(self.renderMixer_, false);
}

ConvertResult RingtoneConverter::ConvertToRingtone(const ConvertRequest& request) {
  if (running_.exchange(true)) return ConvertResult::Cancelled;
  cancel_.store(false);
  std::error_code ec;
  outputExisted_ = std::filesystem::exists(request.outputPath, ec);
  const ConvertResult result = Run(request);
  if (result == ConvertResult::ErrorGetData || result == ConvertResult::ErrorWriting ||
      result == ConvertResult::Cancelled)
    RemovePartialOutput(request.outputPath);
  running_.store(false);
  return result;
}

void RingtoneConverter::RemovePartialOutput(const std::string& path) const {
  if (outputExisted_ || path.empty()) return;
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

void RingtoneConverter::Release(bool abortEncoder) {
  if (renderMixer_ != 0) audio::ChannelStop(renderMixer_);
  if (encoderHandle_ != 0) {
    if (abortEncoder) audio::Encode_Abort(encoderHandle_);
    else audio::Encode_Stop(encoderHandle_);
  }
  // The source goes with the mixer.
  if (renderMixer_ != 0) audio::StreamFree(renderMixer_);
  render_.setRenderMixer(0);
}

ConvertResult RingtoneConverter::Run(const ConvertRequest& request) {
  renderDone_ = false;
  renderMixer_ = 0;
  encoderHandle_ = 0;
  renderStream_ = source::OpenRenderStream(request.inputPath, source::kRenderFlags);
  if (renderStream_ == 0) return ConvertResult::ErrorCreatingStream;

  renderMixer_ = audio::Mixer_StreamCreate(preview::RenderEffects::kRate, preview::RenderEffects::kChannels,
                                           audio::STREAM_DECODE | audio::MIXER_END);
  if (renderMixer_ == 0 ||
      !audio::Mixer_StreamAddChannel(renderMixer_, renderStream_, audio::MIXER_DOWNMIX | audio::STREAM_AUTOFREE)) {
    if (renderMixer_ != 0) audio::StreamFree(renderMixer_);
    audio::StreamFree(renderStream_);
    renderMixer_ = 0;
    return ConvertResult::ErrorCreatingStream;
  }
  render_.setRenderMixer(renderMixer_);

  const int64_t startBytes = audio::ChannelSeconds2Bytes(renderStream_, static_cast<double>(request.startSeconds));
  const int64_t endBytes = audio::ChannelSeconds2Bytes(renderStream_, static_cast<double>(request.endSeconds));
  // The render stream has no prescan (it would cost a pass over the file), so its length may be
  // a header's estimate; the seek reaches past it by itself. A start it cannot reach is a failure:
  // a ringtone from another part of the song must never be written.
  if (startBytes < 0 || !audio::ChannelSetPosition(renderStream_, startBytes, audio::POS_BYTE)) {
    Release(false);
    return ConvertResult::ErrorCreatingStream;
  }
  // The end and the fade-out are placed on the mixer's output, whose frame k is the source at
  // start + k / 44100 s. On the source they would act where its decoding runs, which a resampling
  // mixer keeps ahead of its output by the filter's length (about 180 frames of output for an
  // 8 kHz file, so the ringtone stopped short of its end time), and a fade started from there
  // acts only from the mixer's next block on, up to 256 frames late: the ringtone then ended
  // before its fade-out had reached silence, a click each time the phone plays it again. On the
  // mixer each acts at its very frame: the ringtone ends with the block in which the end time
  // passes, and its fade-out ends in silence exactly there, as the preview's does at selEnd.
  const int64_t span = request.endSeconds - request.startSeconds;
  audio::ChannelSetSync(renderMixer_, audio::SYNC_POS, audio::ChannelSeconds2Bytes(renderMixer_, static_cast<double>(span)),
                        RenderEndSyncProc, this);
  // The fade box is read from the mirror the window keeps. A fade-out as long as the span begins
  // with the ringtone's first frame; a longer one would begin before it, and is never reached.
  const int64_t fadeFrom = span - render_.fadeOutSeconds();
  if (render_.fadeOutEnabled() && fadeFrom >= 0) {
    audio::ChannelSetSync(renderMixer_, audio::SYNC_POS | audio::SYNC_MIXTIME,
                          audio::ChannelSeconds2Bytes(renderMixer_, static_cast<double>(fadeFrom)), RenderFadeOutSyncProc,
                          this);
  }

  encoderHandle_ = audio::Encode_Start(renderMixer_, request.command.c_str(), audio::ENCODE_FP_16BIT, nullptr, nullptr);
  if (encoderHandle_ == 0) {
    Release(false);
    return ConvertResult::ErrorStartingEncoder;
  }
  render_.ApplyRenderEffects(renderMixer_, request.effects);

  char buffer[1024];
  while (audio::ChannelIsActive(renderMixer_) != audio::ACTIVE_STOPPED) {
    if (audio::ChannelGetData(renderMixer_, buffer, sizeof buffer) == audio::DATA_ERROR) {
      Release(true);
      return ConvertResult::ErrorGetData;
    }
    // An encoder that has died or stopped taking data (its write gave up after a few seconds)
    // will not finish the file: it is ended now rather than waited for.
    if (audio::Encode_IsActive(encoderHandle_) == 0) {
      Release(true);
      // The window could not handle its events while the write hung: a close asked for meanwhile
      // is heard now, and a cancelled conversion says nothing.
      if (processEvents) processEvents();
      return cancel_.load() ? ConvertResult::Cancelled : ConvertResult::ErrorWriting;
    }
    const int64_t pos = audio::ChannelGetPosition(renderStream_, audio::POS_BYTE);
    if (onProgress && pos >= 0 && endBytes > startBytes) {
      const auto percent = static_cast<int64_t>(static_cast<double>(100 * (pos - startBytes)) /
                                                static_cast<double>(endBytes - startBytes));
      onProgress(static_cast<int>(std::clamp<int64_t>(percent, 0, 100)));
    }
    if (renderDone_) break;
    if (processEvents) processEvents();
    if (cancel_.load()) {
      Release(true);
      return ConvertResult::Cancelled;
    }
  }
  audio::ChannelStop(renderMixer_);
  // The encoder writes the end of its file once its input is closed. The window goes on meanwhile:
  // an encoder that hangs there does not freeze it, and a close asked for ends it without a file.
  audio::Encode_EndInput(encoderHandle_);
  const auto until = std::chrono::steady_clock::now() + kFinishLimit;
  while (audio::Encode_IsActive(encoderHandle_) != 0) {
    if (processEvents) processEvents();
    if (cancel_.load() || std::chrono::steady_clock::now() >= until) {
      Release(true);
      return cancel_.load() ? ConvertResult::Cancelled : ConvertResult::ErrorWriting;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const bool written = audio::Encode_Stop(encoderHandle_);
  audio::StreamFree(renderMixer_);
  render_.setRenderMixer(0);
  return written ? ConvertResult::Done : ConvertResult::ErrorWriting;
}

}  // namespace convert
