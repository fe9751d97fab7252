// The window's side of one opened file, without the window: what LoadInputFile and OpenSource do
// with the engine, the preview effects, the triggers, the selection and the scan, so that the
// end-to-end tests can drive the same road over many files.
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

// What the window holds for the preview and the scan. Lives on the test's thread, as the window
// lives on its own; the engine's threads reach it through the effect and sync procedures.
class WindowSession {
 public:
  WindowSession() { ClearPeaks(); }
  ~WindowSession() { Close(); }
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // What LoadInputFile does before it opens the next file: the running scan is stopped (and
  // waited for), the preview stopped and freed, the selection cleared.
  void Close() {
    if (scan) scan->Stop();
    scan.reset();
    const audio::Handle old = shared.playStream.exchange(0);
    if (old != 0) {
      audio::ChannelStop(old);
      audio::StreamFree(old);
    }
    shared.selStart = 0;
    shared.selEnd = 0;
  }

  // OpenSource: the preview stream with the file's format, bytesPerPixel, the end trigger and the
  // fade-in, playing; then the scan stream and its scan. True when both streams opened.
  // The gain and both filters are switched on as a user who ticked them would have, with the
  // positions the opening gives the filter bars.
  bool Open(const std::string& path) {
    const source::Opener opener = source::SourceOpener(source::LowerExtension(path));
    const audio::Handle play = opener(path.c_str(), 0, 0, source::kPreviewFlags);
    if (play == 0) {
      openError = audio::ErrorGetCode();
      return false;
    }
    openError = 0;
    shared.playStream = play;
    audio::ChannelInfo info{};
    audio::ChannelGetInfo(play, &info);
    shared.format.bits = 16;
    shared.format.rate = static_cast<int32_t>(info.freq);
    shared.format.channels = static_cast<int32_t>(info.chans);
    barMaximum = static_cast<int32_t>(info.freq / 2);
    length = audio::ChannelGetLength(play, audio::POS_BYTE);
    auto bpp = static_cast<uint32_t>(length / static_cast<int64_t>(kColumns));
    const int64_t minimum = audio::ChannelSeconds2Bytes(play, 0.02);
    if (static_cast<int64_t>(bpp) < minimum) bpp = static_cast<uint32_t>(minimum);
    bytesPerPixel.store(bpp);
    audio::ChannelSetSync(play, audio::SYNC_END | audio::SYNC_MIXTIME, 0, preview::Triggers::LoopSyncProc,
                          &triggers);
    effects.StartFade(play, true);
    effects.checkgainClick(true, 6);
    effects.chighpassClick(true, barMaximum / 2);
    effects.clowpassClick(true, barMaximum);
    audio::ChannelPlay(play, false);

    const audio::Handle scanStream = opener(path.c_str(), 0, 0, source::kScanFlags);
    if (scanStream == 0) return false;
    scan = std::make_unique<wave::TScanThread>(scanStream, wave::ScanTarget{&peaks, &bytesPerPixel, &scanStop});
    return true;
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
  std::unique_ptr<wave::TScanThread> scan;

  int openError = 0;        // the engine's error when the preview stream did not open
  int64_t length = 0;       // the preview stream's length in bytes
  int32_t barMaximum = 0;   // the filter bars' maximum: half the sample rate
};

}  // namespace e2e
