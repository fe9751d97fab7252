// Engine lifecycle: version, Init, Free and the last error.
#include "audio/engine.h"

#include "audio/engine_state.h"
#include "audio/encoder.h"
#include "audio/error.h"
#include "audio/playback.h"

namespace audio {

namespace detail {

EngineState& State() {
  static EngineState state;
  return state;
}

uint32_t NextHandle() {
  static std::atomic<uint32_t> counter{0};
  uint32_t h;
  do {
    h = counter.fetch_add(1, std::memory_order_relaxed) + 1;
  } while (h == 0);
  return h;
}

std::shared_ptr<Channel> FindChannel(Handle h) {
  if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, nullptr);
  auto channel = State().channels.Find(h);
  if (!channel || channel->closed()) return Fail(ERROR_HANDLE, nullptr);
  return channel;
}

Handle AddChannel(Format format, uint32_t flags, std::unique_ptr<Source> source) {
  const Handle h = NextHandle();
  State().channels.AddWithHandle(h, std::make_shared<Channel>(h, format, flags, std::move(source)));
  return h;
}

}  // namespace detail

using namespace detail;

uint32_t GetVersion() { return 0x02040000u; }

int ErrorGetCode() { return GetError(); }

bool Init(int device, uint32_t freq, uint32_t flags, void* window) {
  (void)flags;
  (void)window;
  return Guard(false, [&] {
    if (device < -1 || freq == 0) return Fail(ERROR_ILLPARAM, false);
    std::lock_guard lock(State().lifecycle);
    if (State().initialized.load()) return Fail(ERROR_ALREADY, false);
    // Device 0 is no output at all: decoding channels only (a run without a desktop). Otherwise
    // the default device, or a silent real-time output when none can be opened.
    if (device != 0 && !StartPlayback(freq)) return Fail(ERROR_DRIVER, false);
    State().initialized.store(true, std::memory_order_release);
    SetError(ERROR_OK);
    return true;
  });
}

bool Free() {
  return Guard(false, [&] {
    std::lock_guard lock(State().lifecycle);
    if (!State().initialized.load()) return Fail(ERROR_INIT, false);
    State().initialized.store(false, std::memory_order_release);
    // The output and the playback threads stop first, so nothing decodes while streams go.
    StopPlayback();
    for (auto& [handle, channel] : State().channels.TakeAll()) channel->Close();
    ReleaseEncoders();
    SetError(ERROR_OK);
    return true;
  });
}

}  // namespace audio
