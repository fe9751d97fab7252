// The SDL2 output: the default device, 16-bit, asked for stereo at the engine's rate (a device
// that differs in rate or channel count is taken as it is; the engine converts to it).
#include <SDL2/SDL.h>

#include <cstring>

#include "audio/output.h"

namespace audio::detail {

namespace {

class SdlOutput final : public Output {
 public:
  SdlOutput(RenderFn fn, void* user) : fn_(fn), user_(user) {}
  ~SdlOutput() override {
    Stop();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool Open(uint32_t rate, uint32_t bufferFrames) {
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(bufferFrames);
    want.callback = &SdlOutput::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                  SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (device_ == 0) return false;
    format_ = OutputFormat{static_cast<uint32_t>(have.freq), have.channels, have.samples};
    const char* driver = SDL_GetCurrentAudioDriver();
    std::strncpy(driver_, driver ? driver : "sdl", sizeof driver_ - 1);
    return true;
  }

  const OutputFormat& format() const override { return format_; }
  const char* name() const override { return driver_; }
  void Start() override {
    if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
  }
  void Stop() override {
    if (device_ != 0) {
      SDL_CloseAudioDevice(device_);  // returns once the callback has finished
      device_ = 0;
    }
  }

 private:
  static void Callback(void* self, Uint8* stream, int len) {
    auto* out = static_cast<SdlOutput*>(self);
    const size_t frames = static_cast<size_t>(len) / (sizeof(int16_t) * out->format_.chans);
    out->fn_(out->user_, reinterpret_cast<int16_t*>(stream), frames);
  }

  SDL_AudioDeviceID device_ = 0;
  OutputFormat format_;   // immutable once opened
  const RenderFn fn_;
  void* const user_;
  char driver_[32] = {};
};

}  // namespace

std::unique_ptr<Output> OpenSdlOutput(uint32_t rate, uint32_t bufferFrames, RenderFn fn, void* user) {
  // SDL's audio pulls in its event loop, which by default takes over SIGINT and SIGTERM and turns
  // them into quit events that nobody here reads: the program would then ignore a terminate request.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  auto output = std::make_unique<SdlOutput>(fn, user);  // quits the subsystem when it goes
  if (!output->Open(rate, bufferFrames)) return nullptr;
  return output;
}

}  // namespace audio::detail
