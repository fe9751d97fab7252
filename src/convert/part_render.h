// One rendering of a part of a file as its ringtone has it: the file decoded afresh, mixed to
// 44100 Hz stereo 16-bit, through the checked filters and gain and the fades, exactly [start, end)
// of the source. The conversion feeds it to the encoder; the loudness meter measures it.
#pragma once

#include <cstdint>
#include <string>

#include "audio/engine.h"
#include "preview/render_effects.h"

namespace convert {

struct PartSpec {
  std::string inputPath;
  // The part of the source, in seconds; it is cut to the nearest frame of the source's mixing,
  // so that [start, end) is what the ringtone holds. An end of 0 or less: the file's end.
  double startSeconds = 0;
  double endSeconds = 0;
  preview::EffectControls effects;  // the fades come from the RenderEffects' controls
};

enum class OpenResult {
  Done,
  ErrorCreatingStream,  // the file does not open, or the mixer cannot be made
  StartPastEnd,         // the start lies past the decoded data
};

// Not thread-safe: one thread opens and reads it. Its effects' state lives in the RenderEffects
// it is given, which one rendering uses at a time.
class PartRender {
 public:
  explicit PartRender(preview::RenderEffects& render) : render_(render) {}
  ~PartRender() { Close(); }
  PartRender(const PartRender&) = delete;
  PartRender& operator=(const PartRender&) = delete;

  // Opens the file, seeks it to the start and installs the end, the fades and the effects.
  // `frames` >= 0 gives the part's length in frames of the ringtone's rate in place of the end
  // time's (a part found to end early, rendered again to its true length).
  OpenResult Open(const PartSpec& spec, int64_t frames = -1);
  // Frees the mixer and its source; nothing happens when none is open.
  void Close();

  audio::Handle mixer() const { return mixer_; }
  audio::Handle source() const { return source_; }

  // Reads up to `bytes` (whole frames) of the part, every effect applied. Returns the count,
  // 0 once the part is complete or the source has ended, audio::DATA_ERROR on a read error.
  uint32_t Read(void* buffer, uint32_t bytes);

  // Frames of the ringtone's rate in the whole part (for a part to the file's end, as far as the
  // source's length tells), and those read so far.
  int64_t partFrames() const { return partFrames_; }
  int64_t framesRead() const { return framesRead_; }
  // An end time was given: partFrames() is the part's exact length.
  bool bounded() const { return bounded_; }
  // True when the part reached its end time (not the source's end).
  bool reachedEnd() const { return bounded_ && framesRead_ >= partFrames_; }
  // 0..100 of the part read.
  int percent() const;

  // The fade-out's sync procedure; user: this object.
  static void FadeOutSyncProc(audio::SyncHandle, audio::Handle, uint32_t, void* user);

 private:
  static constexpr int32_t kFrameBytes = preview::RenderEffects::kChannels * preview::RenderEffects::kBits / 8;

  preview::RenderEffects& render_;
  audio::Handle source_ = 0;
  audio::Handle mixer_ = 0;
  bool bounded_ = false;   // an end time was given
  int64_t partFrames_ = 0;
  int64_t framesRead_ = 0;
};

}  // namespace convert
