// The conversion: a part of a file rendered through the conversion's effects into the encoder,
// on a worker thread of its own, while the caller's thread shows the progress and goes on with
// its events.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "audio/engine.h"
#include "convert/encoder_command.h"
#include "convert/part_render.h"
#include "preview/render_effects.h"

namespace convert {

// The part, its effects, where the ringtone goes and the encoder's command for it.
// The kind of ringtone follows the output's name (KindOfName): an iPhone's goes through the
// encoder program, Android's and MP3 ones are encoded in this process.
struct ConvertRequest : PartSpec {
  std::string outputPath;  // where the ringtone goes (a failed run leaves nothing new there)
  std::string command;     // BuildEncoderCommand's result, for an iPhone's
  TagFields tags;          // the tags, for the kinds encoded in this process
};

enum class ConvertResult {
  Done,
  ErrorCreatingStream,  // "Error creating stream!"
  ErrorStartingEncoder, // "Error starting encoder!"
  ErrorGetData,         // "Error Get Data!"
  ErrorWriting,         // "Error writing ringtone!"
  Cancelled,
  StartPastEnd,         // "Error creating stream!": the start lies past the file's end
  OutputIsInput,        // the ringtone would replace the file it is made from: nothing is run
};

// The message box text of a failure; empty for Done and Cancelled.
const char* ResultMessage(ConvertResult result);

class RingtoneConverter {
 public:
  // How long the encoder may take to finish its file once its input has ended.
  static constexpr std::chrono::seconds kFinishLimit{60};
  // The longest the caller's thread goes without its progress and events being served.
  static constexpr std::chrono::milliseconds kServeInterval{10};

  // `render` holds the conversion's effect and fade state; it reads the fade boxes.
  explicit RingtoneConverter(preview::RenderEffects& render) : render_(render), part_(render) {}

  // Called on the caller's thread while the conversion runs, at least every kServeInterval:
  // first with the gauge's value (0..100), then to let the caller handle its pending events.
  // Neither is called on the worker.
  std::function<void(int percent)> onProgress;
  std::function<void()> processEvents;

  bool running() const { return running_.load(); }
  // Ends a running conversion after its current block (a write the encoder does not take gives
  // up within seconds): the encoder is ended, no file is written. Any thread.
  void Cancel() { cancel_.store(true); }

  // The whole conversion; returns when it has finished or failed. Its work runs on a worker; the
  // calling thread serves onProgress and processEvents meanwhile. Not re-entrant: a call while
  // one runs returns Cancelled at once and leaves the running one alone.
  ConvertResult ConvertToRingtone(const ConvertRequest& request);

  // The running conversion's mixer (its source goes with it) and encoder; 0 when none.
  audio::Handle renderMixer() const { return renderMixer_.load(); }
  audio::EncoderHandle encoderHandle() const { return encoderHandle_.load(); }
  // Why the last conversion could not write its file (the file and the cause, in the in-process
  // writer's or the encoder program's words); empty otherwise or when nothing said why. Read
  // after ConvertToRingtone has returned.
  const std::string& lastError() const { return lastError_; }
  // True when the last conversion stopped at its end time (not at the file's end).
  bool renderDone() const { return renderDone_.load(); }

 private:
  ConvertResult Run(const ConvertRequest& request);
  // One pass of the render into the encoder; `frames` as PartRender::Open takes it. Sets
  // *shortAt to the frames rendered when the source ended before a bounded part's length (the
  // encoder, told that length, is then ended without a file).
  ConvertResult RenderPass(const ConvertRequest& request, int64_t frames, int64_t* shortAt);
  // Opens the part (PartRender::Open's `frames`) and publishes its mixer; Done, or the failure.
  // The encoder program's last words on its standard error become lastError_.
  void KeepEncoderWords();
  ConvertResult OpenPart(const ConvertRequest& request, int64_t frames);
  // The whole part into an Android or MP3 ringtone, encoded on this thread.
  ConvertResult RenderInProcess(const ConvertRequest& request);
  void Release(bool abortEncoder);
  // After a conversion that did not finish: a file the encoder left at the output path, which
  // was not there before, is removed.
  void RemovePartialOutput(const std::string& path) const;

  bool outputExisted_ = false;
  std::string lastError_;  // the in-process writer's last failure, for diagnostics

  preview::RenderEffects& render_;
  PartRender part_;  // worker only while a conversion runs
  std::atomic<audio::Handle> renderMixer_{0};
  std::atomic<audio::EncoderHandle> encoderHandle_{0};
  std::atomic<bool> renderDone_{false};
  std::atomic<int> percent_{0};
  std::atomic<bool> running_{false};
  std::atomic<bool> cancel_{false};
};

}  // namespace convert
