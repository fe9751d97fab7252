#include "audio/channel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/error.h"
#include "audio/registry.h"

namespace audio::detail {

namespace {

// The largest magnitude per channel of `count` interleaved 16-bit samples of one or two
// channels. Every lane of a block of fixed size keeps its own maximum, so that the loop becomes
// a few vector instructions per block; with an even block size lane k always holds channel
// k % chans. A magnitude fits 16 unsigned bits (32768 at most), which keeps the lanes as narrow
// as the samples.
void Peaks16(const int16_t* v, size_t count, uint32_t chans, uint32_t peak[2]) {
  constexpr size_t kLanes = 16;
  uint16_t lane[kLanes] = {};
  size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    for (size_t k = 0; k < kLanes; ++k) {
      const int32_t s = v[i + k];
      lane[k] = std::max(lane[k], static_cast<uint16_t>(s < 0 ? -s : s));
    }
  }
  for (size_t k = 0; i + k < count; ++k) {
    const int32_t s = v[i + k];
    lane[k] = std::max(lane[k], static_cast<uint16_t>(s < 0 ? -s : s));
  }
  for (size_t k = 0; k < kLanes; ++k) {
    uint32_t& p = peak[k % chans];
    p = std::max(p, static_cast<uint32_t>(lane[k]));
  }
}

}  // namespace

Channel::Channel(Handle handle, Format format, uint32_t flags, std::unique_ptr<Source> source)
    : handle_(handle), format_(format), flags_(flags), source_(std::move(source)) {
  // One level reading is 0.02 s of data; the buffer is made once so reads never allocate.
  const size_t levelFrames = std::max<size_t>(1, static_cast<size_t>(format_.rate / 50));
  levelBuffer_.resize(levelFrames * format_.BytesPerFrame());
  syncs_.reserve(8);
  dsps_.reserve(8);
  pendingDsps_.reserve(8);
}

Channel::~Channel() { Close(); }

void Channel::Close() {
  std::vector<std::shared_ptr<Tap>> taps;
  {
    std::lock_guard lock(mutex_);
    if (closed_.exchange(true)) return;
    taps = std::move(taps_);
    taps_.clear();
    source_.reset();
    syncs_.clear();
    dsps_.clear();
    pendingDsps_.clear();
    ended_.store(true, std::memory_order_release);
  }
  // Outside the lock: an encoder may take a moment to end, and no block reaches it any more.
  for (auto& tap : taps) tap->ChannelClosed();
}

int64_t Channel::lengthFrames() const {
  std::lock_guard lock(const_cast<std::recursive_mutex&>(mutex_));
  return source_ ? source_->LengthFrames() : -1;
}

bool Channel::Seek(int64_t frame) {
  std::lock_guard lock(mutex_);
  if (!source_) return Fail(ERROR_HANDLE, false);
  const int64_t length = source_->LengthFrames();
  const bool bounded = length >= 0 && !source_->LengthIsEstimate();
  if (frame < 0 || (bounded && frame > length)) return Fail(ERROR_POSITION, false);
  if (!source_->Seek(frame)) return Fail(ERROR_POSITION, false);
  pos_.store(frame, std::memory_order_release);
  ended_.store(false, std::memory_order_release);
  // A sync that seeks to its own position must not fire itself again; any other target's
  // syncs fire when decoding goes on from there.
  syncsDoneAt_ = (firingAt_ >= 0 && frame == firingAt_) ? frame : -1;
  SetError(ERROR_OK);
  return true;
}

SyncHandle Channel::AddSync(uint32_t type, int64_t bytePosition, SyncProc* proc, void* user) {
  if (proc == nullptr) return Fail(ERROR_ILLPARAM, SyncHandle{0});
  const uint32_t kind = type & ~SYNC_MIXTIME;
  if (kind != SYNC_POS && kind != SYNC_END) return Fail(ERROR_ILLPARAM, SyncHandle{0});
  std::lock_guard lock(mutex_);
  if (closed()) return Fail(ERROR_HANDLE, SyncHandle{0});
  int64_t frame = -1;
  if (kind == SYNC_POS) {
    if (bytePosition < 0) return Fail(ERROR_ILLPARAM, SyncHandle{0});
    frame = bytePosition / format_.BytesPerFrame();
  }
  const SyncHandle h = NextHandle();
  syncs_.push_back(Sync{h, type, frame, proc, user, false});
  SetError(ERROR_OK);
  return h;
}

bool Channel::RemoveSync(SyncHandle sync) {
  std::lock_guard lock(mutex_);
  for (auto& s : syncs_) {
    if (s.handle == sync && !s.dead) {
      s.dead = true;
      if (firingAt_ < 0) {
        std::erase_if(syncs_, [](const Sync& x) { return x.dead; });
      }
      SetError(ERROR_OK);
      return true;
    }
  }
  return Fail(ERROR_HANDLE, false);
}

bool Channel::HasSync(SyncHandle sync) {
  std::lock_guard lock(mutex_);
  return std::any_of(syncs_.begin(), syncs_.end(), [sync](const Sync& s) { return s.handle == sync && !s.dead; });
}

DspHandle Channel::AddDsp(DspProc* proc, void* user, int priority) {
  if (proc == nullptr) return Fail(ERROR_ILLPARAM, DspHandle{0});
  std::lock_guard lock(mutex_);
  if (closed()) return Fail(ERROR_HANDLE, DspHandle{0});
  const DspHandle h = NextHandle();
  pendingDsps_.push_back(Dsp{h, proc, user, priority, false});
  if (producing_ == 0) MergePendingDsps();
  SetError(ERROR_OK);
  return h;
}

bool Channel::RemoveDsp(DspHandle dsp) {
  std::lock_guard lock(mutex_);
  for (auto* list : {&dsps_, &pendingDsps_}) {
    for (auto& d : *list) {
      if (d.handle == dsp && !d.dead) {
        d.dead = true;
        if (dspDepth_ == 0) std::erase_if(*list, [](const Dsp& x) { return x.dead; });
        SetError(ERROR_OK);
        return true;
      }
    }
  }
  return Fail(ERROR_HANDLE, false);
}

void Channel::AddTap(std::shared_ptr<Tap> tap) {
  std::lock_guard lock(mutex_);
  taps_.push_back(std::move(tap));
}

void Channel::RemoveTap(const Tap* tap) {
  std::lock_guard lock(mutex_);
  std::erase_if(taps_, [tap](const std::shared_ptr<Tap>& t) { return t.get() == tap; });
}

void Channel::SetDeferredSyncSink(DeferredSyncSink* sink) {
  std::lock_guard lock(mutex_);
  deferredSink_ = sink;
}

void Channel::MergePendingDsps() {
  std::erase_if(dsps_, [](const Dsp& x) { return x.dead; });
  for (auto& d : pendingDsps_) {
    if (d.dead) continue;
    // Higher priority first; among equals the earlier installation first.
    auto at = std::find_if(dsps_.begin(), dsps_.end(),
                           [&](const Dsp& x) { return x.priority < d.priority; });
    dsps_.insert(at, d);
  }
  pendingDsps_.clear();
}

void Channel::RunDsps(void* data, uint32_t bytes) {
  ++dspDepth_;
  // By index: a DSP may remove itself or others (marked dead) while the list is walked.
  for (size_t i = 0; i < dsps_.size(); ++i) {
    const Dsp d = dsps_[i];
    if (d.dead) continue;
    d.proc(d.handle, handle_, data, bytes, d.user);
  }
  --dspDepth_;
}

void Channel::CallSync(const Sync& s, int64_t frame) {
  const bool mixtime = (s.type & SYNC_MIXTIME) != 0;
  if (!mixtime && !isDecode() && deferredSink_ != nullptr) {
    deferredSink_->Reached(s.handle, s.proc, s.user, frame);
    return;
  }
  s.proc(s.handle, handle_, 0, s.user);
}

void Channel::FirePositionSyncs() {
  // Syncs at the current position fire once per arrival. A sync that seeks moves the position;
  // the syncs at the new position then fire in turn.
  while (syncsDoneAt_ != pos_.load(std::memory_order_relaxed)) {
    const int64_t p = pos_.load(std::memory_order_relaxed);
    syncsDoneAt_ = p;
    firingAt_ = p;
    for (size_t i = 0; i < syncs_.size(); ++i) {
      const Sync s = syncs_[i];
      if (s.dead || (s.type & ~SYNC_MIXTIME) != SYNC_POS || s.frame != p) continue;
      CallSync(s, p);
      if (closed() || pos_.load(std::memory_order_relaxed) != p) break;
    }
    firingAt_ = -1;
    if (closed()) return;
  }
  std::erase_if(syncs_, [](const Sync& x) { return x.dead; });
}

bool Channel::FireEndSyncs() {
  const int64_t p = pos_.load(std::memory_order_relaxed);
  bool moved = false;
  firingAt_ = p;
  for (size_t i = 0; i < syncs_.size(); ++i) {
    const Sync s = syncs_[i];
    if (s.dead || (s.type & ~SYNC_MIXTIME) != SYNC_END) continue;
    CallSync(s, p);
    if (closed()) break;
    if (pos_.load(std::memory_order_relaxed) != p || !source_->AtEnd()) {
      moved = true;
      break;
    }
  }
  firingAt_ = -1;
  std::erase_if(syncs_, [](const Sync& x) { return x.dead; });
  return moved;
}

size_t Channel::FramesToNextSync(size_t wanted) const {
  const int64_t p = pos_.load(std::memory_order_relaxed);
  int64_t limit = static_cast<int64_t>(wanted);
  for (const auto& s : syncs_) {
    if (s.dead || (s.type & ~SYNC_MIXTIME) != SYNC_POS || s.frame <= p) continue;
    limit = std::min(limit, s.frame - p);
  }
  return static_cast<size_t>(limit);
}

size_t Channel::Produce(void* out, size_t frames) {
  std::lock_guard lock(mutex_);
  if (closed() || !source_) return 0;
  ++producing_;
  auto* bytes = static_cast<uint8_t*>(out);
  const uint32_t bpf = format_.BytesPerFrame();
  size_t done = 0;
  while (done < frames && !ended()) {
    FirePositionSyncs();
    if (closed()) break;
    MergePendingDsps();
    const size_t piece = FramesToNextSync(frames - done);
    size_t n = source_->Read(bytes + done * bpf, piece);
    if (n > piece) n = piece;
    if (n > 0) {
      uint8_t* data = bytes + done * bpf;
      const auto len = static_cast<uint32_t>(n * bpf);
      RunDsps(data, len);
      for (size_t i = 0; i < taps_.size(); ++i) taps_[i]->Write(data, len);
      pos_.fetch_add(static_cast<int64_t>(n), std::memory_order_acq_rel);
      done += n;
    }
    if (closed()) break;
    if (n == 0 || source_->AtEnd()) {
      if (!FireEndSyncs() || closed()) {
        // Nothing moved the position: the data has ended here.
        if (source_ && (n == 0 || source_->AtEnd())) ended_.store(true, std::memory_order_release);
      }
    }
  }
  --producing_;
  if (producing_ == 0 && !closed()) MergePendingDsps();
  return done;
}

uint32_t Channel::Read(void* out, uint32_t bytes) {
  std::lock_guard lock(mutex_);
  if (closed()) return Fail(ERROR_HANDLE, DATA_ERROR);
  if (ended()) return Fail(ERROR_ENDED, DATA_ERROR);
  const uint32_t bpf = format_.BytesPerFrame();
  const size_t frames = bytes / bpf;
  const size_t got = Produce(out, frames);
  SetError(ERROR_OK);
  return static_cast<uint32_t>(got * bpf);
}

uint32_t Channel::Level() {
  std::lock_guard lock(mutex_);
  if (closed()) return Fail(ERROR_HANDLE, DATA_ERROR);
  if (ended()) return Fail(ERROR_ENDED, DATA_ERROR);
  const uint32_t bpf = format_.BytesPerFrame();
  const size_t frames = levelBuffer_.size() / bpf;
  const size_t got = Produce(levelBuffer_.data(), frames);
  if (got == 0) return Fail(ERROR_ENDED, DATA_ERROR);
  uint32_t peak[2] = {0, 0};
  const uint32_t chans = format_.chans;
  const uint32_t measured = std::min<uint32_t>(chans, 2);
  if (format_.isFloat) {
    const auto* v = reinterpret_cast<const float*>(levelBuffer_.data());
    for (size_t f = 0; f < got; ++f) {
      for (uint32_t c = 0; c < measured; ++c) {
        const float a = std::fabs(v[f * chans + c]);
        const auto level = static_cast<uint32_t>(std::min(a, 1.0f) * 32768.0f);
        peak[c] = std::max(peak[c], level);
      }
    }
  } else {
    const auto* v = reinterpret_cast<const int16_t*>(levelBuffer_.data());
    if (chans <= 2) {
      Peaks16(v, got * chans, chans, peak);
    } else {
      for (size_t f = 0; f < got; ++f) {
        for (uint32_t c = 0; c < measured; ++c) {
          const int s = v[f * chans + c];
          peak[c] = std::max(peak[c], static_cast<uint32_t>(s < 0 ? -s : s));
        }
      }
    }
  }
  if (chans == 1) peak[1] = peak[0];
  SetError(ERROR_OK);
  return peak[0] | (peak[1] << 16);
}

}  // namespace audio::detail
