// The suggested part of the opened file, learnt while its waveform scan decodes it: a DSP on the
// scan stream feeds every block to a feature gatherer, and when the scan has read the whole file
// the part is chosen on the scan's thread and published for the window.
#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "analysis/chorus.h"
#include "analysis/features.h"
#include "audio/engine.h"
#include "wave/scan.h"

namespace analysis {

class ScanSuggestion : public wave::ScanObserver {
 public:
  explicit ScanSuggestion(double lengthSeconds = kDefaultPartSeconds) : length_(lengthSeconds) {}

  // Scan thread: starts gathering from the stream's blocks; forgets the last file's part.
  void ScanStarted(audio::Handle stream) override;
  // Scan thread: a complete scan chooses and publishes the part; a stopped one publishes nothing.
  void ScanEnded(audio::Handle stream, bool complete) override;

  // Any thread: forgets the published part (a file is being closed; its scan has been stopped).
  void Clear();
  // Any thread, without waiting on the analysis: the part once the scan of the open file is done.
  std::optional<Part> Ready() const;

 private:
  static void Feed(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);

  const double length_;
  std::unique_ptr<FeatureGatherer> gatherer_;  // scan thread only, from ScanStarted to ScanEnded
  mutable std::mutex mutex_;
  std::optional<Part> ready_;  // guarded by mutex_
};

}  // namespace analysis
