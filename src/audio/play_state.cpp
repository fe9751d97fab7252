#include "audio/play_state.h"

#include <algorithm>
#include <cstring>

#include "audio/error.h"

namespace audio::detail {

namespace {
thread_local const Channel* producing = nullptr;
// How far the playback thread decodes ahead of the device's own buffer.
constexpr uint32_t kAheadMs = 50;
}  // namespace

const Channel* ProducingOnThisThread() { return producing; }

PlayState::PlayState(std::shared_ptr<Channel> channel, const OutputFormat& output)
    : channel_(std::move(channel)), output_(output), inRate_(channel_->format().rate) {}

PlayState::~PlayState() = default;

std::shared_ptr<PlayState> PlayState::Create(std::shared_ptr<Channel> channel,
                                             const OutputFormat& output) {
  std::shared_ptr<PlayState> s(new PlayState(std::move(channel), output));
  const Format& in = s->channel_->format();
  s->resampler_ = Resampler::Create(in, output.rate, output.chans, true);
  if (!s->resampler_) return nullptr;
  s->blockFrames_ = std::max<size_t>(64, in.rate / 100);  // 10 ms
  s->decoded_.resize(s->blockFrames_ * in.BytesPerFrame());
  const auto maxOut = static_cast<int64_t>(
      (static_cast<uint64_t>(s->blockFrames_) * output.rate + in.rate - 1) / in.rate + 256);
  s->converted_.resize(static_cast<size_t>(maxOut) * 2 * output.chans);
  s->target_ = std::max<int64_t>(int64_t{output.rate} * kAheadMs / 1000, output.bufferFrames + 256);
  s->ringFrames_ = s->target_ + 2 * maxOut + 1024;
  s->ring_.resize(static_cast<size_t>(s->ringFrames_) * output.chans);
  s->pieces_.reserve(64);
  s->staged_.reserve(16);
  s->segments_.reserve(256);
  s->heardSyncs_.reserve(64);
  s->basePos_ = s->channel_->positionFrames();
  return s;
}

void PlayState::Attach() {
  channel_->AddTap(shared_from_this());
  channel_->SetDeferredSyncSink(this);
}

int64_t PlayState::InFromOut(int64_t out) const { return out * inRate_ / output_.rate; }
int64_t PlayState::OutFromIn(int64_t in) const { return in * output_.rate / inRate_; }

// --- Decoding (playback thread, channel lock held) -----------------------------------------

void PlayState::Write(const void*, size_t bytes) {
  if (producing != channel_.get()) return;
  const auto frames = static_cast<int64_t>(bytes / channel_->format().BytesPerFrame());
  const int64_t source = channel_->positionFrames();
  if (!pieces_.empty()) {
    Piece& last = pieces_.back();
    if (last.source + last.frames == source) {
      last.frames += frames;
      return;
    }
    pieces_.push_back(Piece{last.offset + last.frames, source, frames});
    return;
  }
  pieces_.push_back(Piece{0, source, frames});
}

void PlayState::Reached(SyncHandle sync, SyncProc* proc, void* user, int64_t) {
  if (producing != channel_.get()) return;
  const int64_t offset = pieces_.empty() ? 0 : pieces_.back().offset + pieces_.back().frames;
  staged_.push_back(StagedSync{offset, DueSync{sync, proc, user}});
}

bool PlayState::FillStep() {
  uint64_t epoch;
  int64_t blockIn;
  {
    std::lock_guard lock(mutex_);
    if (mode_ == Mode::Stopped || decodeEnded_ || written_ - consumed_ >= target_) return false;
    epoch = epoch_;
    blockIn = inFed_;
  }
  if (channel_->closed()) return false;
  pieces_.clear();
  staged_.clear();
  producing = channel_.get();
  const size_t got = channel_->Produce(decoded_.data(), blockFrames_);
  producing = nullptr;
  const bool ended = channel_->ended() || channel_->closed();

  int64_t restartAt = -1;
  {
    std::lock_guard lock(mutex_);
    if (epoch_ != epoch) restartAt = basePos_;
  }
  if (restartAt >= 0) {
    // A callback of this block stopped or restarted the stream: what was decoded after that is
    // not played, and decoding goes on where the flush said.
    channel_->Seek(restartAt);
    resampler_->Reset();
    return true;
  }

  const size_t capacity = converted_.size() / output_.chans;
  size_t n = got > 0 ? resampler_->Convert(decoded_.data(), got, converted_.data(), capacity) : 0;
  if (ended) n += resampler_->Flush(converted_.data() + n * output_.chans, capacity - n);

  std::lock_guard lock(mutex_);
  const int64_t room = ringFrames_ - (written_ - consumed_);
  n = std::min<size_t>(n, static_cast<size_t>(std::max<int64_t>(room, 0)));
  const uint32_t ch = output_.chans;
  size_t at = static_cast<size_t>(written_ % ringFrames_);
  size_t first = std::min(n, static_cast<size_t>(ringFrames_) - at);
  std::memcpy(ring_.data() + at * ch, converted_.data(), first * ch * sizeof(float));
  std::memcpy(ring_.data(), converted_.data() + first * ch, (n - first) * ch * sizeof(float));
  for (const Piece& p : pieces_) PushSegmentLocked(blockIn + p.offset, p.source, p.frames);
  for (const StagedSync& s : staged_) {
    heardSyncs_.push_back(HeardSync{OutFromIn(blockIn + s.offset), s.sync});
  }
  inFed_ += static_cast<int64_t>(got);
  written_ += static_cast<int64_t>(n);
  if (ended) decodeEnded_ = true;
  return got > 0 || ended;
}

void PlayState::PushSegmentLocked(int64_t inStart, int64_t source, int64_t frames) {
  if (!segments_.empty()) {
    Segment& last = segments_.back();
    if (last.inStart + last.frames == inStart && last.source + last.frames == source) {
      last.frames += frames;
      return;
    }
  }
  segments_.push_back(Segment{inStart, source, frames});
}

// --- The device (output thread) --------------------------------------------------------------

size_t PlayState::MixInto(float* mix, size_t frames, Clock::time_point now, bool& late) {
  std::lock_guard lock(mutex_);
  if (mode_ != Mode::Playing) return 0;
  const size_t n = std::min<size_t>(frames, static_cast<size_t>(written_ - consumed_));
  const uint32_t ch = output_.chans;
  size_t at = static_cast<size_t>(consumed_ % ringFrames_);
  for (size_t i = 0; i < n; ++i) {
    const float* src = ring_.data() + at * ch;
    float* dst = mix + i * ch;
    for (uint32_t c = 0; c < ch; ++c) dst[c] += src[c];
    if (++at == static_cast<size_t>(ringFrames_)) at = 0;
  }
  if (n < frames && !decodeEnded_ && (n > 0 || consumed_ > 0)) late = true;
  if (n > 0) {
    consumed_ += static_cast<int64_t>(n);
    lastTake_ = static_cast<int64_t>(n);
    lastTakeAt_ = now;
  }
  // Segments wholly before what the device plays now are no longer needed.
  const int64_t playingFrom = InFromOut(consumed_ - lastTake_);
  size_t drop = 0;
  while (drop + 1 < segments_.size() &&
         segments_[drop].inStart + segments_[drop].frames <= playingFrom) {
    ++drop;
  }
  if (drop > 0) segments_.erase(segments_.begin(), segments_.begin() + static_cast<ptrdiff_t>(drop));
  return n;
}

bool PlayState::Busy() const {
  std::lock_guard lock(mutex_);
  return mode_ != Mode::Stopped || !heardSyncs_.empty();
}

bool PlayState::HasHeardSyncs() const {
  std::lock_guard lock(mutex_);
  return !heardSyncs_.empty();
}

// --- Heard positions --------------------------------------------------------------------------

int64_t PlayState::HeardOutLocked(Clock::time_point now) const {
  // Paused, the heard position holds still, although the device may still be playing out what
  // it was handed before the pause.
  if (mode_ == Mode::Paused) return pausedAt_;
  if (lastTake_ == 0) return consumed_;
  const double elapsed = std::chrono::duration<double>(now - lastTakeAt_).count();
  const auto played = static_cast<int64_t>(std::max(0.0, elapsed) * output_.rate);
  return consumed_ - lastTake_ + std::min(played, lastTake_);
}

int64_t PlayState::SourceAtLocked(int64_t outIndex) const {
  if (segments_.empty()) return basePos_;
  const int64_t in = InFromOut(outIndex);
  for (const Segment& s : segments_) {
    if (in < s.inStart + s.frames) return s.source + std::max<int64_t>(0, in - s.inStart);
  }
  const Segment& last = segments_.back();
  return last.source + last.frames;
}

void PlayState::RefreshLocked(Clock::time_point now) {
  if (mode_ == Mode::Playing && decodeEnded_ && consumed_ == written_ &&
      HeardOutLocked(now) >= written_) {
    mode_ = Mode::Stopped;
    playedToEnd_ = true;
  }
}

void PlayState::FlushLocked(int64_t restartAt) {
  ++epoch_;
  // Output frames count from the flush again; a paused stream is heard at its new start.
  written_ = consumed_ = inFed_ = lastTake_ = pausedAt_ = 0;
  segments_.clear();
  heardSyncs_.clear();
  basePos_ = restartAt;
  decodeEnded_ = false;
  playedToEnd_ = false;
  resampler_->Reset();  // the caller holds the channel's lock, which guards the resampler
}

int64_t PlayState::HeardPosition(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  RefreshLocked(now);
  return SourceAtLocked(HeardOutLocked(now));
}

uint32_t PlayState::Activity(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  RefreshLocked(now);
  switch (mode_) {
    case Mode::Playing: return ACTIVE_PLAYING;
    case Mode::Paused: return ACTIVE_PAUSED;
    case Mode::Stopped: break;
  }
  return ACTIVE_STOPPED;
}

void PlayState::TakeHeardSyncs(std::vector<DueSync>& out, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const int64_t heard = HeardOutLocked(now);
  size_t keep = 0;
  for (size_t i = 0; i < heardSyncs_.size(); ++i) {
    if (heardSyncs_[i].outIndex <= heard) {
      out.push_back(heardSyncs_[i].sync);
    } else {
      heardSyncs_[keep++] = heardSyncs_[i];
    }
  }
  heardSyncs_.resize(keep);
  RefreshLocked(now);
}

// --- Transport (API side, channel lock held) -------------------------------------------------

bool PlayState::Play(bool restart) {
  const auto now = Clock::now();
  bool fromStart = restart;
  {
    std::lock_guard lock(mutex_);
    RefreshLocked(now);
    if (mode_ == Mode::Playing && !restart) return true;
    if (mode_ == Mode::Stopped) {
      // A stream that has played to its end starts again from the beginning.
      const int64_t length = channel_->lengthFrames();
      const int64_t at = SourceAtLocked(HeardOutLocked(now));
      if (playedToEnd_ || (length >= 0 && at >= length)) fromStart = true;
    }
  }
  if (fromStart && !channel_->Seek(0)) return false;
  std::lock_guard lock(mutex_);
  if (fromStart) FlushLocked(0);
  // Resumed: what the device took before the pause has been played out meanwhile.
  if (mode_ == Mode::Paused) lastTake_ = 0;
  mode_ = Mode::Playing;
  return true;
}

bool PlayState::Pause() {
  std::lock_guard lock(mutex_);
  RefreshLocked(Clock::now());
  if (mode_ == Mode::Paused) return Fail(ERROR_ALREADY, false);
  if (mode_ != Mode::Playing) return Fail(ERROR_NOTAVAIL, false);
  pausedAt_ = HeardOutLocked(Clock::now());
  mode_ = Mode::Paused;
  return true;
}

bool PlayState::Stop() {
  int64_t heard;
  {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    RefreshLocked(now);
    heard = SourceAtLocked(HeardOutLocked(now));
    FlushLocked(heard);
    mode_ = Mode::Stopped;
  }
  // Decoding resumes where it was heard. Inside a callback of the block being decoded the
  // playback thread does this once the block is done.
  if (producing != channel_.get()) channel_->Seek(heard);
  return true;
}

bool PlayState::Seek(int64_t frame) {
  if (!channel_->Seek(frame)) return false;
  std::lock_guard lock(mutex_);
  FlushLocked(frame);
  return true;
}

}  // namespace audio::detail
