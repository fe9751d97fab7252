// The encoder hand-over: a program fed a WAV header and then every block its channel produces
// after the DSPs, as a tap on that channel.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/channel.h"
#include "audio/engine.h"
#include "audio/subprocess.h"

namespace audio::detail {

class Encoder : public Tap {
 public:
  // How long Finish waits for the program after closing its input before killing it.
  static constexpr std::chrono::seconds kFinishLimit{60};
  // How long Abort waits for the program to end after SIGTERM before killing it.
  static constexpr std::chrono::seconds kAbortLimit{2};

  // Starts the program of `argv` for a channel of `format`; writes the WAV header. nullptr with
  // *why set when the program cannot be started. `frames` > 0 states the input's length in the
  // header: the program then sees exactly that many frames (what the channel gives past it is
  // dropped; a stream ended short of it is completed with silence), and an input that ends
  // before them, because this process died, is one it can refuse. 0: an open-ended header.
  static std::shared_ptr<Encoder> Start(EncoderHandle handle, Handle channel, const Format& format,
                                        const std::vector<std::string>& argv, uint32_t flags,
                                        uint64_t frames, EncodeProc* proc, void* user, std::string* why);

  EncoderHandle handle() const { return handle_; }
  Handle channel() const { return channel_; }

  // Tap: on the producing thread, with the channel's lock held.
  void Write(const void* data, size_t bytes) override;
  // The channel was freed with the encoder still on it: nothing will finish its data, so the
  // program is aborted (no truncated output), and the encoder forgotten.
  void ChannelClosed() override;

  // The program runs and has taken every block so far.
  bool Active();
  // Closes the input without waiting (the encoder must be off its channel): the program writes
  // the end of its output meanwhile; Finish then collects it.
  void EndInput();
  // Closes the input and waits for the program (bounded). True only when it exited with status 0
  // having taken all data. Idempotent.
  bool Finish();
  // Ends the program without letting it finish its output: SIGTERM, then SIGKILL after
  // kAbortLimit. For a conversion that is cancelled or stuck: an encoder that writes to a
  // temporary file leaves nothing. Idempotent; a later Finish returns false.
  void Abort();
  // What went wrong, for diagnostics: the program's outcome and the tail of its standard error.
  std::string Diagnostics() const;
  // The end of what the program wrote on its standard error.
  std::string StderrTail() const { return process_->StderrTail(); }

 private:
  Encoder(EncoderHandle handle, Handle channel, const Format& format, bool to16);
  bool End(bool terminate);
  // Sends the rest of a declared length as silence and closes the input; once.
  void CloseInput();
  // Bytes of `bytes` that still fit in the declared length (all of them when none is declared).
  size_t Room(size_t bytes) const;

  const EncoderHandle handle_;
  const Handle channel_;
  const Format format_;
  const bool to16_;                      // float channel delivered as 16-bit
  std::unique_ptr<Subprocess> process_;  // set once in Start
  std::vector<int16_t> converted_;       // producing thread only (under the channel's lock)
  uint64_t declaredBytes_ = 0;           // the header's data size; 0: open-ended
  std::atomic<uint64_t> sentBytes_{0};   // data bytes given to the program so far
  std::atomic<bool> inputClosed_{false};
  std::atomic<bool> writeFailed_{false};
  std::atomic<bool> finished_{false};

  mutable std::mutex finishMutex_;  // guards result_, outcome_
  bool result_ = false;
  Subprocess::Result outcome_;
};

// Drops an encoder from the handle table (its channel went away).
void ForgetEncoder(EncoderHandle handle);
// Free(): stops and forgets every encoder still known.
void ReleaseEncoders();

}  // namespace audio::detail
