// Opening a file: closing the one that was open, resetting what depended on it, opening the
// preview and scan streams, deriving the format, ranges and column scale from the file, starting
// the preview and the waveform scan.
//
// Runs on the window's thread. The loader owns the running scan; the preview stream lives in
// PreviewShared, where the engine's threads read it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/engine.h"
#include "preview/preview_effects.h"
#include "preview/preview_state.h"
#include "preview/triggers.h"
#include "wave/peak_buffers.h"
#include "wave/scan.h"

namespace source {

// What opening a file changes in the window's controls.
class SourceView {
 public:
  virtual ~SourceView() = default;
  // The input box shows the path being loaded.
  virtual void ShowInputPath(const std::string& path) = 0;
  // What every load starts from: progress 0, convert disabled, both spin edits 0 with the range
  // 0 to 0, the length text "0 Sec".
  virtual void ResetFileControls() = 0;
  // The view's played colouring starts again from the left.
  virtual void ResetPlayColumn() = 0;
  // Both cut-off bars for filters that reach `maximum` (half the sample rate): the high-pass at
  // half of it, the low-pass at it. A position that changes runs the bar's handler.
  virtual void SetCutoffBars(int32_t maximum) = 0;
  // Installs the effects whose boxes are ticked on the new preview stream, with the cut-offs the
  // bars now have, before its first block plays.
  virtual void InstallTickedEffects() = 0;
  // Both spin edits' maximum: the stream's length in whole seconds.
  virtual void SetSelectionMaximum(int32_t seconds) = 0;
  // The view's width in pixels: the file spans it, its first pixel the file's start and its last
  // the file's end.
  virtual int ViewWidth() const = 0;
  // A file has been loaded: the view takes clicks and refreshes.
  virtual void EnableView() = 0;
  // No file is open: the view shows its background and takes no clicks.
  virtual void DisableView() = 0;
};

// What the waveform scan of an opened file fills and reads; owned by the window.
struct ScanOwner {
  wave::PeakBuffers& peaks;
  std::atomic<uint32_t>& bytesPerPixel;  // stream bytes per column; 0 = nothing to draw
  const std::atomic<bool>& scanStop;     // set once at shut-down
  wave::ScanObserver* observer = nullptr; // learns the file in the scan's decoding; optional
};

class SourceLoader {
 public:
  SourceLoader(preview::PreviewShared& shared, preview::PreviewEffects& effects, preview::Triggers& triggers,
               SourceView& view, ScanOwner scan);
  ~SourceLoader();
  SourceLoader(const SourceLoader&) = delete;
  SourceLoader& operator=(const SourceLoader&) = delete;

  // Closes the open file, resets the controls, shows `path` and opens it. A file that does not
  // open leaves the window reset, with no file, and returns false.
  bool LoadInputFile(const std::string& path);
  // Opens `path` as the preview stream (playing at once) and the scan stream (with its scan).
  // True when both streams opened and the scan runs.
  bool OpenSource(const std::string& path);

  // Stops the running scan and waits for it; its stream is freed by then. Before another file's
  // scan starts and before the engine goes.
  void StopScan();
  // The decode-only stream handed to the latest scan; 0 when none opened.
  audio::Handle scanStream() const { return scanStream_; }
  // True while a scan runs.
  bool scanning() const { return scan_ && !scan_->finished(); }

 private:
  preview::PreviewShared& shared_;
  preview::PreviewEffects& effects_;
  preview::Triggers& triggers_;
  SourceView& view_;
  ScanOwner owner_;
  audio::Handle scanStream_ = 0;
  std::unique_ptr<wave::TScanThread> scan_;
};

}  // namespace source
