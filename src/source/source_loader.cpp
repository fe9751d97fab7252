#include "source/source_loader.h"

#include <algorithm>

#include "source/openers.h"

namespace source {

SourceLoader::SourceLoader(preview::PreviewShared& shared, preview::PreviewEffects& effects,
                           preview::Triggers& triggers, SourceView& view, ScanOwner scan)
    : shared_(shared), effects_(effects), triggers_(triggers), view_(view), owner_(scan) {}

SourceLoader::~SourceLoader() { StopScan(); }

void SourceLoader::StopScan() {
  if (scan_) scan_->Stop();
  scan_.reset();
}

bool SourceLoader::LoadInputFile(const std::string& path) {
  // The earlier file's scan ends before anything of the next file starts.
  StopScan();
  if (const audio::Handle old = shared_.playStream.load(); old != 0) {
    audio::ChannelStop(old);
    audio::StreamFree(old);
    shared_.playStream = 0;
    view_.ResetPlayColumn();
  }
  // Nothing of the earlier file outlives it: not its selection (even when no stream was open, a
  // bound may have been left), not its bars in the columns the next file does not reach, not its
  // scale, which would keep the view taking clicks after a failed load.
  shared_.selStart = 0;
  shared_.selEnd = 0;
  owner_.bytesPerPixel = 0;
  owner_.peaks.Clear();
  view_.ShowInputPath(path);
  view_.ResetFileControls();
  if (OpenSource(path)) {
    view_.EnableView();
    return true;
  }
  if (shared_.playStream.load() != 0) return true;  // it plays, without its waveform
  view_.DisableView();
  return false;
}

bool SourceLoader::OpenSource(const std::string& path) {
  // The readings are made anew below: no earlier scan may still be writing them.
  StopScan();
  const audio::Handle stream = OpenSourceStream(path, kPreviewFlags);
  shared_.playStream = stream;
  if (stream == 0) return false;
  audio::ChannelInfo info{};
  audio::ChannelGetInfo(stream, &info);
  shared_.format.bits = 16;
  shared_.format.rate = static_cast<int32_t>(info.freq);
  view_.SetCutoffBars(static_cast<int32_t>(info.freq / 2));
  shared_.format.channels = static_cast<int32_t>(info.chans);
  const int64_t length = audio::ChannelGetLength(stream, audio::POS_BYTE);
  view_.SetSelectionMaximum(static_cast<int32_t>(audio::ChannelBytes2Seconds(stream, length)));
  // The file spans the view: its end falls on the last pixel (a click there marks the end, and a
  // marker there is drawn). One column stands for at least 0.02 s, so a short file fills only
  // the left of the view.
  const int64_t lastPixel = std::max(view_.ViewWidth() - 1, 1);
  auto bpp = static_cast<uint32_t>((std::max<int64_t>(length, 0) + lastPixel - 1) / lastPixel);
  const auto minimum = static_cast<uint32_t>(audio::ChannelSeconds2Bytes(stream, 0.02));
  if (bpp < minimum) bpp = minimum;
  owner_.bytesPerPixel = bpp;
  // Every reading of the scan (20 ms each), for the view's zoom; no scan runs now.
  owner_.peaks.ResetReadings(length, minimum);
  audio::ChannelSetSync(stream, audio::SYNC_END | audio::SYNC_MIXTIME, 0, preview::Triggers::LoopSyncProc,
                        &triggers_);
  effects_.StartFade(stream, true);
  view_.InstallTickedEffects();
  audio::ChannelPlay(stream, false);
  scanStream_ = OpenSourceStream(path, kScanFlags);
  if (scanStream_ == 0) return false;
  scan_ = std::make_unique<wave::TScanThread>(
      scanStream_, wave::ScanTarget{&owner_.peaks, &owner_.bytesPerPixel, &owner_.scanStop, owner_.observer});
  return true;
}

}  // namespace source
