#include "audio/playback_engine.h"

#include <algorithm>
#include <cmath>

namespace audio::detail {

namespace {
constexpr uint32_t kDeviceBufferFrames = 1024;
// While something plays, the playback thread looks at the buffers every few milliseconds (they
// hold 50 ms); with nothing playing it sleeps longer (a transport call wakes it at once). The
// notification thread checks often only while syncs wait to be heard. A sync is queued when it
// is decoded, 50 ms or more before it is heard, so the idle sleep ends before it is due.
constexpr auto kDecodePoll = std::chrono::milliseconds(5);
constexpr auto kIdlePoll = std::chrono::milliseconds(100);
constexpr auto kNotifyPoll = std::chrono::milliseconds(2);
constexpr auto kNotifyIdlePoll = std::chrono::milliseconds(20);
constexpr int kMaxStepsPerRound = 16;
thread_local bool onNotifyThread = false;
}  // namespace

std::shared_ptr<PlaybackEngine> PlaybackEngine::Start(uint32_t rate) {
  std::shared_ptr<PlaybackEngine> e(new PlaybackEngine());
  e->output_ = OpenSdlOutput(rate, kDeviceBufferFrames, &PlaybackEngine::RenderThunk, e.get());
  if (!e->output_) {
    e->output_ = OpenSilentOutput(rate, kDeviceBufferFrames, &PlaybackEngine::RenderThunk, e.get());
  }
  const OutputFormat& f = e->output_->format();
  // SDL may hand a larger buffer than it announced; the mix is done in pieces of this size.
  e->mix_.resize(static_cast<size_t>(std::max<uint32_t>(f.bufferFrames, 1024)) * f.chans);
  e->states_.reserve(64);
  e->running_.store(true);
  e->decoder_ = std::thread([raw = e.get()] { raw->DecodeLoop(); });
  e->notifier_ = std::thread([raw = e.get()] { raw->NotifyLoop(); });
  e->output_->Start();
  return e;
}

PlaybackEngine::~PlaybackEngine() { Shutdown(); }

void PlaybackEngine::Shutdown() {
  if (output_) output_->Stop();
  running_.store(false);
  Wake();
  if (decoder_.joinable()) decoder_.join();
  if (notifier_.joinable()) notifier_.join();
  std::vector<std::shared_ptr<PlayState>> states;
  {
    std::lock_guard lock(listMutex_);
    states.swap(states_);
  }
}

std::shared_ptr<PlayState> PlaybackEngine::Find(Handle channel) {
  std::lock_guard lock(listMutex_);
  for (auto& s : states_) {
    if (s->channel().handle() == channel) return s;
  }
  return nullptr;
}

std::shared_ptr<PlayState> PlaybackEngine::Obtain(const std::shared_ptr<Channel>& channel) {
  if (auto s = Find(channel->handle())) return s;
  auto created = PlayState::Create(channel, output_->format());
  if (!created) return nullptr;
  {
    std::lock_guard lock(listMutex_);
    for (auto& s : states_) {
      if (s->channel().handle() == channel->handle()) return s;  // made by another thread meanwhile
    }
    states_.push_back(created);
  }
  // Outside the list lock: attaching takes the channel's lock, and code running under a channel's
  // lock (its syncs) looks states up in the list. Until Play the new state is stopped and idle.
  created->Attach();
  return created;
}

void PlaybackEngine::Wake() {
  {
    std::lock_guard lock(wakeMutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void PlaybackEngine::SetProbe(OutputProbe* probe, void* user) {
  probe_.store(nullptr);
  probeUser_.store(user);
  probe_.store(probe);
}

void PlaybackEngine::RenderThunk(void* self, int16_t* out, size_t frames) {
  static_cast<PlaybackEngine*>(self)->Render(out, frames);
}

void PlaybackEngine::Render(int16_t* out, size_t frames) {
  const uint32_t ch = output_->format().chans;
  const size_t step = mix_.size() / ch;
  const auto now = Clock::now();
  size_t done = 0;
  bool late = false;
  while (done < frames) {
    const size_t n = std::min(step, frames - done);
    std::fill(mix_.begin(), mix_.begin() + static_cast<ptrdiff_t>(n * ch), 0.0f);
    {
      std::lock_guard lock(listMutex_);
      // Later pieces of one device call play later: their take is stamped accordingly.
      const auto at = now + std::chrono::nanoseconds(done * 1000000000ull / output_->format().rate);
      for (auto& s : states_) s->MixInto(mix_.data(), n, at, late);
    }
    int16_t* o = out + done * ch;
    for (size_t i = 0; i < n * ch; ++i) {
      const float v = std::clamp(mix_[i] * 32768.0f, -32768.0f, 32767.0f);
      o[i] = static_cast<int16_t>(std::lrint(v));
    }
    done += n;
  }
  if (late) lateBlocks_.fetch_add(1, std::memory_order_relaxed);
  if (OutputProbe* probe = probe_.load(std::memory_order_acquire)) {
    probe(probeUser_.load(std::memory_order_acquire), out, frames, ch);
  }
}

void PlaybackEngine::Snapshot(std::vector<std::shared_ptr<PlayState>>& into) {
  into.clear();
  std::lock_guard lock(listMutex_);
  into.insert(into.end(), states_.begin(), states_.end());
}

void PlaybackEngine::DropClosed() {
  std::vector<std::shared_ptr<PlayState>> gone;
  {
    std::lock_guard lock(listMutex_);
    for (auto& s : states_) {
      if (s->channel().closed()) gone.push_back(s);
    }
    if (gone.empty()) return;
    std::erase_if(states_, [](const std::shared_ptr<PlayState>& s) { return s->channel().closed(); });
  }
  // `gone` is released here, outside the list lock and off the output thread.
}

void PlaybackEngine::DecodeLoop() {
  std::vector<std::shared_ptr<PlayState>> states;
  states.reserve(64);
  while (running_.load(std::memory_order_acquire)) {
    Snapshot(states);
    bool closedSeen = false;
    bool more = false;
    bool busy = false;
    for (auto& s : states) {
      Channel& c = s->channel();
      if (c.closed()) {
        closedSeen = true;
        continue;
      }
      if (!s->Busy()) continue;
      busy = true;
      std::lock_guard lock(c.mutex());
      int steps = 0;
      while (steps < kMaxStepsPerRound && s->FillStep()) ++steps;
      if (steps == kMaxStepsPerRound) more = true;
    }
    states.clear();
    if (closedSeen) DropClosed();
    if (more) continue;
    std::unique_lock lock(wakeMutex_);
    wake_.wait_for(lock, busy ? kDecodePoll : kIdlePoll,
                   [this] { return woken_ || !running_.load(); });
    woken_ = false;
  }
}

void PlaybackEngine::AwaitHeardSyncs(Handle channel) {
  if (onNotifyThread || ProducingOnThisThread() != nullptr) return;
  if (notifying_.load() != channel) return;
  std::lock_guard lock(notifyMutex_);
}

void PlaybackEngine::NotifyLoop() {
  onNotifyThread = true;
  std::vector<std::shared_ptr<PlayState>> states;
  std::vector<DueSync> due;
  states.reserve(64);
  due.reserve(64);
  while (running_.load(std::memory_order_acquire)) {
    Snapshot(states);
    const auto now = Clock::now();
    bool busy = false;
    for (auto& s : states) {
      if (!s->HasHeardSyncs()) continue;
      busy = true;
      due.clear();
      s->TakeHeardSyncs(due, now);
      for (const DueSync& d : due) {
        if (s->channel().closed()) break;
        // A sync removed after it was decoded, while its position waited to be heard, stays quiet.
        // The check and the call happen under notifyMutex_ with notifying_ set first, so that a
        // removal either is seen here or waits for the call to return (AwaitHeardSyncs).
        std::lock_guard lock(notifyMutex_);
        notifying_.store(s->channel().handle());
        if (s->channel().HasSync(d.sync)) d.proc(d.sync, s->channel().handle(), 0, d.user);
        notifying_.store(0);
      }
    }
    states.clear();
    std::this_thread::sleep_for(busy ? kNotifyPoll : kNotifyIdlePoll);
  }
}

}  // namespace audio::detail
