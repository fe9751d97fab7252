// Output backends: something that asks for interleaved 16-bit frames at a steady pace.
// The SDL one plays through SDL2's default device; the silent one consumes at real-time pace
// when no device can be opened, so that playback, positions, syncs and effects behave the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace audio::detail {

struct OutputFormat {
  uint32_t rate = 0;
  uint32_t chans = 0;
  uint32_t bufferFrames = 0;  // frames asked for per call (the device's own buffer)
};

// Fills `frames` frames of `chans` interleaved 16-bit samples. Runs on the output's own thread;
// must not block for long.
using RenderFn = void (*)(void* user, int16_t* out, size_t frames);

class Output {
 public:
  virtual ~Output() = default;
  virtual const OutputFormat& format() const = 0;
  virtual const char* name() const = 0;
  // Starts calling the render function.
  virtual void Start() = 0;
  // Stops; once it returns, the render function is not running and is never called again.
  virtual void Stop() = 0;
};

// The default SDL2 device (SDL_AUDIODRIVER is honoured); nullptr when none opens.
std::unique_ptr<Output> OpenSdlOutput(uint32_t rate, uint32_t bufferFrames, RenderFn fn, void* user);
// A device that plays nothing, at real-time pace.
std::unique_ptr<Output> OpenSilentOutput(uint32_t rate, uint32_t bufferFrames, RenderFn fn,
                                         void* user);

}  // namespace audio::detail
