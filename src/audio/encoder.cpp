#include "audio/encoder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "audio/wav_header.h"

namespace audio::detail {

Encoder::Encoder(EncoderHandle handle, Handle channel, const Format& format, bool to16)
    : handle_(handle), channel_(channel), format_(format), to16_(to16) {}

std::shared_ptr<Encoder> Encoder::Start(EncoderHandle handle, Handle channel, const Format& format,
                                        const std::vector<std::string>& argv, uint32_t flags,
                                        uint64_t frames, EncodeProc* proc, void* user, std::string* why) {
  const bool to16 = format.isFloat && (flags & ENCODE_FP_16BIT) != 0;
  std::shared_ptr<Encoder> e(new Encoder(handle, channel, format, to16));
  Subprocess::OutputFn onStdout;
  if (proc != nullptr) {
    onStdout = [proc, user, handle, channel](const void* data, size_t bytes) {
      proc(handle, channel, data, static_cast<uint32_t>(bytes), user);
    };
  }
  e->process_ = Subprocess::Start(argv, std::move(onStdout), why);
  if (!e->process_) return nullptr;
  const bool floatData = format.isFloat && !to16;
  const uint32_t bits = floatData ? 32 : 16;
  const uint64_t dataBytes = frames * format.chans * (bits / 8);
  if (frames > 0 && dataBytes <= kMaxDeclaredDataBytes) e->declaredBytes_ = dataBytes;
  const auto header = StreamingWavHeader(format.rate, format.chans, bits, floatData, e->declaredBytes_);
  if (!e->process_->Write(header.data(), header.size())) e->writeFailed_.store(true);
  e->converted_.reserve(4096);
  return e;
}

size_t Encoder::Room(size_t bytes) const {
  if (declaredBytes_ == 0) return bytes;
  const uint64_t sent = sentBytes_.load(std::memory_order_relaxed);
  return sent >= declaredBytes_ ? 0 : static_cast<size_t>(std::min<uint64_t>(bytes, declaredBytes_ - sent));
}

void Encoder::Write(const void* data, size_t bytes) {
  if (finished_.load(std::memory_order_acquire) || writeFailed_.load(std::memory_order_acquire) ||
      inputClosed_.load(std::memory_order_acquire)) {
    return;
  }
  bool ok;
  if (to16_) {
    const size_t n = Room(bytes / sizeof(float) * sizeof(int16_t)) / sizeof(int16_t);
    if (converted_.size() < n) converted_.resize(n);  // grows to the largest block once
    const auto* in = static_cast<const float*>(data);
    for (size_t i = 0; i < n; ++i) {
      const float v = std::clamp(in[i] * 32768.0f, -32768.0f, 32767.0f);
      converted_[i] = static_cast<int16_t>(std::lrint(v));
    }
    ok = n == 0 || process_->Write(converted_.data(), n * sizeof(int16_t));
    sentBytes_.fetch_add(n * sizeof(int16_t), std::memory_order_relaxed);
  } else {
    const size_t n = Room(bytes);
    ok = n == 0 || process_->Write(data, n);
    sentBytes_.fetch_add(n, std::memory_order_relaxed);
  }
  if (!ok) writeFailed_.store(true, std::memory_order_release);
}

void Encoder::CloseInput() {
  if (inputClosed_.exchange(true)) return;
  // The channel ended before the length the header gave (a source shorter than its estimate):
  // the rest is silence, so that the program takes the stream as the complete one it is.
  static const std::array<uint8_t, 16384> kSilence{};
  for (size_t n = declaredBytes_ > 0 ? Room(kSilence.size()) : 0; n > 0 && !writeFailed_.load();
       n = Room(kSilence.size())) {
    if (!process_->Write(kSilence.data(), n)) writeFailed_.store(true, std::memory_order_release);
    sentBytes_.fetch_add(n, std::memory_order_relaxed);
  }
  process_->EndInput();
}

void Encoder::ChannelClosed() {
  Abort();
  ForgetEncoder(handle_);
}

bool Encoder::Active() {
  return !finished_.load(std::memory_order_acquire) &&
         !writeFailed_.load(std::memory_order_acquire) && process_->Alive();
}

void Encoder::Abort() { End(true); }

bool Encoder::Finish() { return End(false); }

void Encoder::EndInput() { CloseInput(); }

bool Encoder::End(bool terminate) {
  std::lock_guard lock(finishMutex_);
  if (finished_.load(std::memory_order_acquire)) return result_;
  if (terminate) process_->Terminate();
  else CloseInput();
  outcome_ = process_->CloseAndWait(terminate ? kAbortLimit : kFinishLimit);
  result_ = !terminate && outcome_.Succeeded() && !outcome_.inputUnread &&
            !writeFailed_.load(std::memory_order_acquire);
  finished_.store(true, std::memory_order_release);
  return result_;
}

std::string Encoder::Diagnostics() const {
  std::string text;
  {
    std::lock_guard lock(finishMutex_);
    switch (outcome_.outcome) {
      case Subprocess::Outcome::NotStarted: text = "running"; break;
      case Subprocess::Outcome::Exited: text = "exit status " + std::to_string(outcome_.code); break;
      case Subprocess::Outcome::Crashed: text = "ended by signal " + std::to_string(outcome_.code); break;
      case Subprocess::Outcome::Killed: text = "killed after the wait"; break;
    }
    if (outcome_.inputUnread) text += ", input left unread";
  }
  if (process_->stalled()) text += ", stopped reading its input";
  else if (writeFailed_.load()) text += ", input broken";
  const std::string err = process_->StderrTail();
  if (!err.empty()) text += "; stderr: " + err;
  return text;
}

}  // namespace audio::detail
