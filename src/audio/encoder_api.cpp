// The encoder calls of the engine's API.
#include "audio/cmdline.h"
#include "audio/encoder.h"
#include "audio/engine.h"
#include "audio/engine_state.h"
#include "audio/error.h"

namespace audio {

using namespace detail;

namespace detail {

namespace {
thread_local std::string lastMessage;

// The last line of what the encoder's program wrote on its standard error.
void KeepMessage(const Encoder& encoder) {
  std::string tail = encoder.StderrTail();
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
  const size_t line = tail.find_last_of('\n');
  lastMessage = line == std::string::npos ? tail : tail.substr(line + 1);
}

Registry<Encoder>& Encoders() {
  static Registry<Encoder> encoders;
  return encoders;
}

// No block reaches the encoder once this returns.
void TakeOffChannel(const Encoder& encoder) {
  if (auto channel = State().channels.Find(encoder.channel())) channel->RemoveTap(&encoder);
}
}  // namespace

void ForgetEncoder(EncoderHandle handle) { Encoders().Take(handle); }

void ReleaseEncoders() {
  // An encoder nobody stopped would only finish a cut-off file.
  for (auto& [handle, encoder] : Encoders().TakeAll()) encoder->Abort();
}

}  // namespace detail

EncoderHandle Encode_Start(Handle h, const char* cmdline, uint32_t flags, EncodeProc* proc,
                           void* user, uint64_t frames) {
  return Guard(EncoderHandle{0}, [&]() -> EncoderHandle {
    auto channel = FindChannel(h);
    if (!channel) return 0;
    if (cmdline == nullptr) return Fail(ERROR_ILLPARAM, EncoderHandle{0});
    const auto argv = SplitCommandLine(cmdline);
    if (argv.empty()) return Fail(ERROR_ILLPARAM, EncoderHandle{0});
    const EncoderHandle eh = NextHandle();
    std::string why;
    auto encoder = Encoder::Start(eh, h, channel->format(), argv, flags, frames, proc, user, &why);
    if (!encoder) return Fail(ERROR_CREATE, EncoderHandle{0});
    {
      std::lock_guard lock(channel->mutex());
      if (channel->closed()) {
        encoder->Finish();
        return Fail(ERROR_HANDLE, EncoderHandle{0});
      }
      Encoders().AddWithHandle(eh, encoder);
      channel->AddTap(encoder);
    }
    SetError(ERROR_OK);
    return eh;
  });
}

uint32_t Encode_IsActive(EncoderHandle h) {
  return Guard(uint32_t{0}, [&]() -> uint32_t {
    if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, 0u);
    auto encoder = Encoders().Find(h);
    if (!encoder) return Fail(ERROR_HANDLE, 0u);
    SetError(ERROR_OK);
    return encoder->Active() ? 1u : 0u;
  });
}

bool Encode_EndInput(EncoderHandle h) {
  return Guard(false, [&] {
    if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, false);
    auto encoder = Encoders().Find(h);
    if (!encoder) return Fail(ERROR_HANDLE, false);
    TakeOffChannel(*encoder);
    encoder->EndInput();
    SetError(ERROR_OK);
    return true;
  });
}

bool Encode_Stop(EncoderHandle h) {
  return Guard(false, [&] {
    if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, false);
    auto encoder = Encoders().Take(h);
    if (!encoder) return Fail(ERROR_HANDLE, false);
    // No block reaches the encoder once it is off its channel; then its input is closed.
    TakeOffChannel(*encoder);
    const bool finished = encoder->Finish();
    KeepMessage(*encoder);
    if (!finished) return Fail(ERROR_ENDED, false);
    SetError(ERROR_OK);
    return true;
  });
}

bool Encode_Abort(EncoderHandle h) {
  return Guard(false, [&] {
    if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, false);
    auto encoder = Encoders().Take(h);
    if (!encoder) return Fail(ERROR_HANDLE, false);
    TakeOffChannel(*encoder);
    encoder->Abort();
    KeepMessage(*encoder);
    SetError(ERROR_OK);
    return true;
  });
}

std::string Encode_GetMessage() { return lastMessage; }

}  // namespace audio
