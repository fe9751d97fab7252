// The playback side of the channel calls: heard positions, activity and seeks of playing streams.
#include "audio/playback.h"

#include <mutex>

#include "audio/error.h"
#include "audio/playback_engine.h"

namespace audio::detail {

namespace {
std::mutex& EngineMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<PlaybackEngine>& EngineSlot() {
  static std::shared_ptr<PlaybackEngine> engine;
  return engine;
}
}  // namespace

bool StartPlayback(uint32_t rate) {
  auto engine = PlaybackEngine::Start(rate);
  if (!engine) return false;
  std::lock_guard lock(EngineMutex());
  EngineSlot() = std::move(engine);
  return true;
}

void StopPlayback() {
  std::shared_ptr<PlaybackEngine> engine;
  {
    std::lock_guard lock(EngineMutex());
    engine.swap(EngineSlot());
  }
  if (engine) engine->Shutdown();
}

std::shared_ptr<PlaybackEngine> CurrentPlayback() {
  std::lock_guard lock(EngineMutex());
  return EngineSlot();
}

int64_t HeardPositionFrames(Channel& channel) {
  auto engine = CurrentPlayback();
  auto state = engine ? engine->Find(channel.handle()) : nullptr;
  if (!state) return channel.positionFrames();
  return state->HeardPosition(Clock::now());
}

uint32_t PlaybackActivity(Channel& channel) {
  auto engine = CurrentPlayback();
  auto state = engine ? engine->Find(channel.handle()) : nullptr;
  if (!state) return ACTIVE_STOPPED;
  return state->Activity(Clock::now());
}

bool PlaybackSeek(Channel& channel, int64_t frame) {
  auto engine = CurrentPlayback();
  auto state = engine ? engine->Find(channel.handle()) : nullptr;
  // Not playing yet, or a seek made by a sync or DSP while this stream is being decoded: the
  // channel moves and decoding simply goes on from there.
  if (!state || ProducingOnThisThread() == &channel) return channel.Seek(frame);
  std::lock_guard lock(channel.mutex());
  if (!state->Seek(frame)) return false;
  engine->Wake();
  SetError(ERROR_OK);
  return true;
}

void AwaitHeardSyncs(Handle channel) {
  if (auto engine = CurrentPlayback()) engine->AwaitHeardSyncs(channel);
}

bool CurrentOutputInfo(OutputInfo* info) {
  auto engine = CurrentPlayback();
  if (!engine || info == nullptr) return false;
  const OutputFormat& f = engine->format();
  *info = OutputInfo{engine->outputName(), f.rate, f.chans, f.bufferFrames, engine->lateBlocks()};
  return true;
}

void SetOutputProbe(void (*probe)(void* user, const int16_t* data, size_t frames, uint32_t chans),
                    void* user) {
  if (auto engine = CurrentPlayback()) engine->SetProbe(probe, user);
}

}  // namespace audio::detail
