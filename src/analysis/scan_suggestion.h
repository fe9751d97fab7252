// The suggested part of the opened file, learnt while its waveform scan decodes it: a DSP on the
// scan stream feeds every block to a feature gatherer working on a thread of its own, and when the
// scan has read the whole file the part is chosen on a worker thread of its own (so the scan ends
// as soon as the file is read) and published for the window, which polls for it.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "analysis/chorus.h"
#include "analysis/feature_worker.h"
#include "analysis/features.h"
#include "audio/engine.h"
#include "wave/scan.h"
#include "wave/song_map.h"

namespace analysis {

class ScanSuggestion : public wave::ScanObserver {
 public:
  // The distinct parts offered in turn, best first.
  static constexpr size_t kOfferedParts = 3;

  explicit ScanSuggestion(double lengthSeconds = kDefaultPartSeconds) : length_(lengthSeconds) {}
  // Waits for a part still being chosen.
  ~ScanSuggestion() override;
  ScanSuggestion(const ScanSuggestion&) = delete;
  ScanSuggestion& operator=(const ScanSuggestion&) = delete;

  // Scan thread: starts gathering from the stream's blocks; forgets the last file's part.
  void ScanStarted(audio::Handle stream) override;
  // Scan thread: a complete scan starts choosing the part on the worker; a stopped one publishes
  // nothing.
  void ScanEnded(audio::Handle stream, bool complete) override;

  // Any thread: waits for a part still being chosen (a few milliseconds at most), then forgets
  // the published part (a file is being closed; its scan has been stopped).
  void Clear();
  // Any thread, without waiting on the analysis: the part once it has been chosen for the open file.
  std::optional<Part> Ready() const;
  // The same, with the next-best distinct parts after it (up to kOfferedParts; empty before).
  std::vector<Part> ReadyParts() const;
  // Any thread: waits for a part still being chosen, then what Ready() says.
  std::optional<Part> WaitReady();
  // Any thread, without waiting: the song's map (beats, bar lines, sections), found with the part
  // (empty before).
  wave::SongMap ReadyMap() const;

 private:
  static void Feed(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user);
  void JoinWorker();

  const double length_;
  std::unique_ptr<FeatureWorker> gatherer_;  // scan thread only, from ScanStarted to ScanEnded
  std::mutex workerMutex_;
  std::thread worker_;  // guarded by workerMutex_; chooses from the features it owns
  mutable std::mutex mutex_;
  std::vector<Part> ready_;  // guarded by mutex_; best first
  wave::SongMap map_;        // guarded by mutex_
};

}  // namespace analysis
