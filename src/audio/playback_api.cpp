// The transport calls of the engine's API: play, pause and stop a stream that plays.
#include "audio/engine.h"
#include "audio/engine_state.h"
#include "audio/error.h"
#include "audio/playback.h"
#include "audio/playback_engine.h"

namespace audio {

using namespace detail;

namespace {

// The play state of a stream that plays; nullptr with the error set otherwise.
std::shared_ptr<PlayState> StateOf(const std::shared_ptr<Channel>& c, bool create,
                                   std::shared_ptr<PlaybackEngine>* engineOut) {
  if (c->isDecode()) return Fail(ERROR_DECODE, nullptr);
  auto engine = CurrentPlayback();
  if (!engine) return Fail(ERROR_INIT, nullptr);
  auto state = create ? engine->Obtain(c) : engine->Find(c->handle());
  if (!state && create) return Fail(ERROR_FORMAT, nullptr);
  *engineOut = std::move(engine);
  return state;
}

}  // namespace

bool ChannelPlay(Handle h, bool restart) {
  return Guard(false, [&] {
    auto c = FindChannel(h);
    if (!c) return false;
    std::shared_ptr<PlaybackEngine> engine;
    auto state = StateOf(c, true, &engine);
    if (!state) return false;
    std::lock_guard lock(c->mutex());
    if (c->closed()) return Fail(ERROR_HANDLE, false);
    if (!state->Play(restart)) return false;
    engine->Wake();
    SetError(ERROR_OK);
    return true;
  });
}

bool ChannelPause(Handle h) {
  return Guard(false, [&] {
    auto c = FindChannel(h);
    if (!c) return false;
    std::shared_ptr<PlaybackEngine> engine;
    auto state = StateOf(c, false, &engine);
    if (!state) {
      if (c->isDecode()) return false;
      return Fail(ERROR_NOTAVAIL, false);  // it never played
    }
    std::lock_guard lock(c->mutex());
    if (!state->Pause()) return false;
    SetError(ERROR_OK);
    return true;
  });
}

bool ChannelStop(Handle h) {
  return Guard(false, [&] {
    auto c = FindChannel(h);
    if (!c) return false;
    std::shared_ptr<PlaybackEngine> engine;
    if (c->isDecode()) {
      SetError(ERROR_OK);  // nothing plays: nothing to stop
      return true;
    }
    auto state = StateOf(c, false, &engine);
    if (!state) {
      SetError(ERROR_OK);  // it never played: nothing to stop
      return true;
    }
    std::lock_guard lock(c->mutex());
    state->Stop();
    engine->Wake();
    SetError(ERROR_OK);
    return true;
  });
}

}  // namespace audio
