// The engine's global state: whether it is initialised and the table of its channels.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#include "audio/error.h"

#include "audio/channel.h"
#include "audio/registry.h"

namespace audio::detail {

struct EngineState {
  std::mutex lifecycle;  // serialises Init and Free
  std::atomic<bool> initialized{false};
  Registry<Channel> channels;
};

EngineState& State();

// The live channel of `h`; nullptr with ERROR_HANDLE (or ERROR_INIT) set otherwise.
std::shared_ptr<Channel> FindChannel(Handle h);

// Registers a new channel built around `source`; returns its handle.
Handle AddChannel(Format format, uint32_t flags, std::unique_ptr<Source> source);

// Runs `body` and turns any exception into the error code and the failure value: no exception
// leaves the engine's API.
template <typename T, typename F>
T Guard(T failure, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetError(ERROR_MEM);
  } catch (...) {
    SetError(ERROR_UNKNOWN);
  }
  return failure;
}

}  // namespace audio::detail
