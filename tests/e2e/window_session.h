// The window's side of one opened file, without the window: the loader, the preview effects, the
// triggers, the selection and the scan wired as the window wires them, so that the end-to-end
// tests can drive the same road over many files.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/engine.h"
#include "preview/preview_effects.h"
#include "preview/preview_state.h"
#include "preview/triggers.h"
#include "source/source_loader.h"
#include "source/openers.h"
#include "wave/peak_buffers.h"
#include "wave/scan.h"
#include "wave/selection.h"

namespace e2e {

// The window's client width, which the peak buffers and bytesPerPixel are derived from.
inline constexpr size_t kColumns = 537;
// A peak element no scan has written: scans store bar heights of 0 to 60.
inline constexpr int16_t kUnwritten = -1;

// The selection's controls, remembered instead of shown.
class RecordingSelectionView : public wave::SelectionView {
 public:
  void ShowStartSeconds(int64_t s) override { startSeconds = s; }
  void ShowEndSeconds(int64_t s) override { endSeconds = s; }
  void ShowLengthText(const std::string& text) override { lengthText = text; }
  void EnableConvert(bool enabled) override { convertEnabled = enabled; }

  int64_t startSeconds = 0, endSeconds = 0;
  std::string lengthText = "0 sec";
  bool convertEnabled = false;
};

// The opening's controls, remembered instead of shown. Opening switches the gain and both filters
// on, as a user who ticked them would have, with the positions the opening gives the filter bars.
class RecordingSourceView : public source::SourceView {
 public:
  explicit RecordingSourceView(preview::PreviewEffects& effects) : effects_(effects) {}
  void ShowInputPath(const std::string& p) override { path = p; }
  void ResetFileControls() override { selectionMaximum = 0; }
  void ResetPlayColumn() override {}
  void SetCutoffBars(int32_t maximum) override { barMaximum = maximum; }
  void InstallTickedEffects() override {
    effects_.checkgainClick(true, 6);
    effects_.chighpassClick(true, barMaximum / 2);
    effects_.clowpassClick(true, barMaximum);
  }
  void SetSelectionMaximum(int32_t seconds) override { selectionMaximum = seconds; }
  int ViewWidth() const override { return static_cast<int>(kColumns); }
  void EnableView() override {}
  void DisableView() override {}

  std::string path;
  int32_t barMaximum = 0;  // the filter bars' maximum: half the sample rate
  int32_t selectionMaximum = 0;

 private:
  preview::PreviewEffects& effects_;
};

// What the window holds for the preview and the scan. Lives on the test's thread, as the window
// lives on its own; the engine's threads reach it through the effect and sync procedures.
class WindowSession {
 public:
  WindowSession() { ClearPeaks(); }
  ~WindowSession() { Close(); }
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // What loading does before it opens the next file: the running scan is stopped (and waited
  // for), the preview stopped and freed, the selection cleared.
  void Close() {
    loader.StopScan();
    const audio::Handle old = shared.playStream.exchange(0);
    if (old != 0) {
      audio::ChannelStop(old);
      audio::StreamFree(old);
    }
    shared.selStart = 0;
    shared.selEnd = 0;
  }

  // Opens the file as the window does: the preview stream with the file's format,
  // bytesPerPixel, the end trigger, the fade-in and the ticked effects, playing; then the scan
  // stream and its scan. True when both streams opened.
  bool Open(const std::string& path) {
    const bool both = loader.OpenSource(path);
    const audio::Handle play = shared.playStream.load();
    openError = play == 0 ? audio::ErrorGetCode() : 0;
    length = play == 0 ? 0 : audio::ChannelGetLength(play, audio::POS_BYTE);
    barMaximum = controls.barMaximum;
    return both;
  }

  // A selection of `from` to `to` seconds of the preview stream (cut to its length), set as the
  // mouse sets it: start, then end, each installing its triggers.
  void Select(double from, double to) {
    const audio::Handle play = shared.playStream.load();
    const int64_t end = std::max<int64_t>(0, length);
    selection.SetSelStart(std::min(audio::ChannelSeconds2Bytes(play, from), end / 4));
    selection.SetSelEnd(std::min(audio::ChannelSeconds2Bytes(play, to), end / 2));
  }

  void ClearPeaks() {
    for (size_t i = 0; i < peaks.size(); ++i) {
      peaks.setLeft(i, kUnwritten);
      peaks.setRight(i, kUnwritten);
    }
  }
  // Elements the scans have written, and whether every written one is a bar height.
  size_t WrittenPeaks(bool* allInRange = nullptr) const {
    size_t written = 0;
    bool inRange = true;
    for (size_t i = 0; i < peaks.size(); ++i) {
      const int16_t l = peaks.left(i), r = peaks.right(i);
      if (l == kUnwritten && r == kUnwritten) continue;
      ++written;
      inRange = inRange && l >= 0 && l <= 60 && r >= 0 && r <= 60;
    }
    if (allInRange) *allInRange = inRange;
    return written;
  }

  preview::PreviewShared shared;
  preview::PreviewEffects effects{shared};
  preview::Triggers triggers{shared, effects};
  RecordingSelectionView view;
  wave::Selection selection{shared, triggers, view};
  wave::PeakBuffers peaks{kColumns};
  std::atomic<uint32_t> bytesPerPixel{0};
  std::atomic<bool> scanStop{false};
  RecordingSourceView controls{effects};
  source::SourceLoader loader{shared, effects, triggers, controls, {peaks, bytesPerPixel, scanStop}};

  int openError = 0;        // the engine's error when the preview stream did not open
  int64_t length = 0;       // the preview stream's length in bytes
  int32_t barMaximum = 0;   // the filter bars' maximum: half the sample rate
};

}  // namespace e2e
