// Shared by the window tests that watch the preview stream while the real window drives it:
// a fixture that answers the open dialog, a wait that keeps the event loop running, a probe of
// the stream's data before and after every effect, and position marks that note when decoding
// passes a byte position (with the fade effects installed at that moment).
#pragma once

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QString>

#include <chrono>
#include <cstdint>
#include <limits>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app_test_support.h"
#include "audio/engine.h"
#include "preview/preview_effects.h"
#include "support/fixtures.h"

namespace apptest {

// Waits (processing the window's events) until `done` or the time is up: by default as long as
// a loaded machine may need for what plays in real time to get there.
template <typename P>
bool WaitFor(P done, int ms = 20000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return done();
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A window test whose open dialog answers with `openAnswer` and records its titles.
class PlayerWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    app::hooks().openFileName = [this](QWidget*, const QString& title, const QString&) {
      openTitles.push_back(title);
      return openAnswer;
    };
  }
  static QString F(const char* name) { return QString::fromStdString(twtest::Fixture(name)); }

  QString openAnswer;
  std::vector<QString> openTitles;
};

// Sees every block of a playing stream twice: a DSP of the highest priority copies it as it
// comes from the decoder, one of the lowest priority copies it as the window's effects left it.
// Both run inside one production of the block, under the channel's lock, so a window handler
// that installs or removes an effect (which takes that lock) falls between two blocks.
class DataProbe {
 public:
  explicit DataProbe(audio::Handle stream) : stream_(stream) {
    first_ = audio::ChannelSetDSP(stream, &Before, this, std::numeric_limits<int>::max());
    last_ = audio::ChannelSetDSP(stream, &After, this, std::numeric_limits<int>::min());
  }
  ~DataProbe() {
    audio::ChannelRemoveDSP(stream_, first_);
    audio::ChannelRemoveDSP(stream_, last_);
  }
  DataProbe(const DataProbe&) = delete;
  DataProbe& operator=(const DataProbe&) = delete;

  bool installed() const { return first_ != 0 && last_ != 0; }

  // Forgets what was seen; what follows was produced after this call.
  void Restart() {
    std::lock_guard lock(mutex_);
    before_.clear();
    after_.clear();
    pending_.clear();
  }
  // Waits until `values` sample values were seen since Restart and returns them (the data as
  // decoded and as the effects left it, the same length). Empty when the time ran out.
  bool Collect(size_t values, std::vector<int16_t>& before, std::vector<int16_t>& after, int ms = 20000) {
    const bool ok = WaitFor([&] {
      std::lock_guard lock(mutex_);
      return after_.size() >= values;
    }, ms);
    std::lock_guard lock(mutex_);
    before = before_;
    after = after_;
    return ok;
  }

 private:
  static void Before(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user) {
    auto& self = *static_cast<DataProbe*>(user);
    const auto* v = static_cast<const int16_t*>(buffer);
    std::lock_guard lock(self.mutex_);
    self.pending_.assign(v, v + length / 2);
  }
  static void After(audio::DspHandle, audio::Handle, void* buffer, uint32_t length, void* user) {
    auto& self = *static_cast<DataProbe*>(user);
    const auto* v = static_cast<const int16_t*>(buffer);
    std::lock_guard lock(self.mutex_);
    // A block whose first half was dropped by Restart is not taken.
    if (self.pending_.size() != length / 2) return;
    self.before_.insert(self.before_.end(), self.pending_.begin(), self.pending_.end());
    self.after_.insert(self.after_.end(), v, v + length / 2);
    self.pending_.clear();
  }

  audio::Handle stream_;
  audio::DspHandle first_ = 0, last_ = 0;
  std::mutex mutex_;
  std::vector<int16_t> pending_, before_, after_;
};

// Mix-time position syncs of the test's own on the preview stream: each notes, in order, that
// decoding passed its position, with the preview's fade effect handles at that moment. A mark
// one frame before and one after a trigger's position tells whether the trigger sits there.
class PositionMarks {
 public:
  struct Hit {
    std::string name;
    audio::DspHandle fadeIn;
    audio::DspHandle fadeOut;
    double fadeStep;
  };

  PositionMarks(audio::Handle stream, const preview::PreviewEffects& effects)
      : stream_(stream), effects_(effects) {}
  ~PositionMarks() {
    for (const Mark& m : marks_) audio::ChannelRemoveSync(stream_, m.sync);
  }
  PositionMarks(const PositionMarks&) = delete;
  PositionMarks& operator=(const PositionMarks&) = delete;

  void At(int64_t bytePosition, const std::string& name) {
    marks_.push_back(Mark{this, name, 0});
    marks_.back().sync = audio::ChannelSetSync(stream_, audio::SYNC_POS | audio::SYNC_MIXTIME, bytePosition,
                                               &Passed, &marks_.back());
  }

  // Stops the stream, forgets the hits, and plays on from `from` (bytes). The window's own
  // triggers act as they would in any playback.
  void PlayFrom(int64_t from) {
    audio::ChannelStop(stream_);
    {
      std::lock_guard lock(mutex_);
      hits_.clear();
    }
    audio::ChannelSetPosition(stream_, from, audio::POS_BYTE);
    audio::ChannelPlay(stream_, false);
  }
  // Waits until the mark `name` has been passed `times` times.
  bool WaitHit(const std::string& name, int times = 1, int ms = 20000) {
    return WaitFor([&] { return Count(name) >= times; }, ms);
  }
  int Count(const std::string& name) {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const Hit& h : hits_) n += h.name == name;
    return n;
  }
  std::vector<Hit> hits() {
    std::lock_guard lock(mutex_);
    return hits_;
  }
  // The first hit of `name` (an empty name when there is none).
  Hit First(const std::string& name) {
    std::lock_guard lock(mutex_);
    for (const Hit& h : hits_)
      if (h.name == name) return h;
    return Hit{};
  }
  // The names of the hits in order.
  std::vector<std::string> Order() {
    std::vector<std::string> names;
    for (const Hit& h : hits()) names.push_back(h.name);
    return names;
  }

 private:
  struct Mark {
    PositionMarks* owner;
    std::string name;
    audio::SyncHandle sync;
  };
  static void Passed(audio::SyncHandle, audio::Handle, uint32_t, void* user) {
    auto& mark = *static_cast<Mark*>(user);
    PositionMarks& self = *mark.owner;
    Hit hit{mark.name, self.effects_.fadeInDsp(), self.effects_.fadeOutDsp(), self.effects_.fade().fadeStep};
    std::lock_guard lock(self.mutex_);
    self.hits_.push_back(std::move(hit));
  }

  audio::Handle stream_;
  const preview::PreviewEffects& effects_;
  std::list<Mark> marks_;  // stable addresses: each is its sync's user data
  std::mutex mutex_;
  std::vector<Hit> hits_;
};

}  // namespace apptest
