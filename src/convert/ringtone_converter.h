// Rendering the selection, cut to whole seconds, through the conversion's effects into the
// encoder: the file decoded a second time, mixed to 44100 Hz stereo 16-bit, read block by block.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "audio/engine.h"
#include "preview/render_effects.h"

namespace convert {

struct ConvertRequest {
  std::string inputPath;
  std::string outputPath;      // where the encoder writes (a failed run leaves nothing new there)
  std::string command;         // BuildEncoderCommand's result
  int64_t startSeconds = 0;    // the start spin edit's value
  int64_t endSeconds = 0;      // the end spin edit's value
  preview::EffectControls effects;
};

enum class ConvertResult {
  Done,
  ErrorCreatingStream,  // "Error creating stream!"
  ErrorStartingEncoder, // "Error starting encoder!"
  ErrorGetData,         // "Error Get Data!"
  ErrorWriting,         // "Error writing ringtone!"
  Cancelled,
};

// The message box text of a failure; empty for Done and Cancelled.
const char* ResultMessage(ConvertResult result);

class RingtoneConverter {
 public:
  // How long the encoder may take to finish its file once its input has ended.
  static constexpr std::chrono::seconds kFinishLimit{60};

  // `render` holds the conversion's effect and fade state; it reads the fade boxes.
  explicit RingtoneConverter(preview::RenderEffects& render) : render_(render) {}

  // Called after every block with the gauge's new value (clamped to 0..100) and then to let the
  // window handle its pending events.
  std::function<void(int percent)> onProgress;
  std::function<void()> processEvents;

  bool running() const { return running_.load(); }
  // Ends a running conversion at its next block: the encoder is aborted, no file is written.
  void Cancel() { cancel_.store(true); }

  // The whole conversion; returns when it has finished or failed. Not re-entrant: a call while
  // one runs returns Cancelled at once and leaves the running one alone.
  ConvertResult ConvertToRingtone(const ConvertRequest& request);

  // Sync procedures; user: this object.
  static void RenderEndSyncProc(audio::SyncHandle, audio::Handle, uint32_t, void* user);
  static void RenderFadeOutSyncProc(audio::SyncHandle, audio::Handle, uint32_t, void* user);

  audio::Handle renderStream() const { return renderStream_; }
  audio::Handle renderMixer() const { return renderMixer_; }
  audio::EncoderHandle encoderHandle() const { return encoderHandle_; }
  bool renderDone() const { return renderDone_; }

 private:
  ConvertResult Run(const ConvertRequest& request);
  void Release(bool abortEncoder);
  // After a conversion that did not finish: a file the encoder left at the output path, which
  // was not there before, is removed.
  void RemovePartialOutput(const std::string& path) const;

  bool outputExisted_ = false;

  preview::RenderEffects& render_;
  audio::Handle renderStream_ = 0;
  audio::Handle renderMixer_ = 0;
  audio::EncoderHandle encoderHandle_ = 0;
  bool renderDone_ = false;
  std::atomic<bool> running_{false};
  std::atomic<bool> cancel_{false};
};

}  // namespace convert
