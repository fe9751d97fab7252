#include "convert/ringtone_converter.h"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "convert/av_ringtone_writer.h"
#include "convert/ringtone_kind.h"
#include "convert/same_file.h"

namespace convert {

const char* ResultMessage(ConvertResult result) {
  switch (result) {
    case ConvertResult::ErrorCreatingStream:
    case ConvertResult::StartPastEnd: return "Error creating stream!";
    case ConvertResult::ErrorStartingEncoder: return "Error starting encoder!";
    case ConvertResult::ErrorGetData: return "Error Get Data!";
    case ConvertResult::ErrorWriting: return "Error writing ringtone!";
    case ConvertResult::OutputIsInput: return "The ringtone cannot replace the file it is made from!";
    case ConvertResult::Done:
    case ConvertResult::Cancelled: break;
  }
  return "";
}

ConvertResult RingtoneConverter::ConvertToRingtone(const ConvertRequest& request) {
  if (IsSameFile(request.inputPath, request.outputPath)) return ConvertResult::OutputIsInput;
  if (running_.exchange(true)) return ConvertResult::Cancelled;
  cancel_.store(false);
  percent_.store(0);
  lastError_.clear();
  std::error_code ec;
  outputExisted_ = std::filesystem::exists(request.outputPath, ec);

  // The worker renders and writes; this thread only reports and serves its events, so nothing
  // the encoder or the decoder does (a write that is not taken, a seek deep into a long file)
  // holds it up.
  std::mutex m;
  std::condition_variable finished;
  bool done = false;
  ConvertResult result = ConvertResult::Cancelled;
  std::thread worker([&] {
    const ConvertResult r = Run(request);
    std::lock_guard lock(m);
    result = r;
    done = true;
    finished.notify_all();
  });
  for (;;) {
    {
      std::unique_lock lock(m);
      if (finished.wait_for(lock, kServeInterval, [&] { return done; })) break;
    }
    if (onProgress) onProgress(percent_.load());
    if (processEvents) processEvents();
  }
  worker.join();
  if (onProgress) onProgress(percent_.load());

  if (result == ConvertResult::ErrorGetData || result == ConvertResult::ErrorWriting ||
      result == ConvertResult::Cancelled)
    RemovePartialOutput(request.outputPath);
  running_.store(false);
  return result;
}

void RingtoneConverter::RemovePartialOutput(const std::string& path) const {
  if (outputExisted_ || path.empty()) return;
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

void RingtoneConverter::Release(bool abortEncoder) {
  if (renderMixer_.load() != 0) audio::ChannelStop(renderMixer_.load());
  if (const audio::EncoderHandle encoder = encoderHandle_.exchange(0); encoder != 0) {
    if (abortEncoder) audio::Encode_Abort(encoder);
    else audio::Encode_Stop(encoder);
  }
  part_.Close();
  renderMixer_.store(0);
}

ConvertResult RingtoneConverter::Run(const ConvertRequest& request) {
  renderDone_.store(false);
  if (KindOfName(request.outputPath) != RingtoneKind::IPhone) return RenderInProcess(request);
  int64_t shortAt = -1;
  const ConvertResult first = RenderPass(request, -1, &shortAt);
  if (first == ConvertResult::ErrorWriting) KeepEncoderWords();
  if (shortAt < 0) return first;
  // The source ended before the part's end (its length was a header's estimate): the part is
  // rendered again to the length it truly has, which the encoder is told, fades placed within it.
  int64_t again = -1;
  const ConvertResult second = RenderPass(request, shortAt, &again);
  if (second == ConvertResult::ErrorWriting) KeepEncoderWords();
  renderDone_.store(false);
  return again < 0 ? second : ConvertResult::ErrorGetData;
}

void RingtoneConverter::KeepEncoderWords() {
  // "faac: x.m4r: cannot write the output file: No space left on device", without the program's
  // name: the same words as the in-process writers'.
  std::string words = audio::Encode_GetMessage();
  if (const size_t colon = words.find(": "); colon != std::string::npos && words.compare(0, colon, "faac") == 0)
    words.erase(0, colon + 2);
  lastError_ = words;
}

ConvertResult RingtoneConverter::OpenPart(const ConvertRequest& request, int64_t frames) {
  switch (part_.Open(request, frames)) {
    case OpenResult::Done: break;
    case OpenResult::ErrorCreatingStream: return ConvertResult::ErrorCreatingStream;
    case OpenResult::StartPastEnd: return ConvertResult::StartPastEnd;
  }
  renderMixer_.store(part_.mixer());
  return ConvertResult::Done;
}

ConvertResult RingtoneConverter::RenderInProcess(const ConvertRequest& request) {
  if (const ConvertResult opened = OpenPart(request, -1); opened != ConvertResult::Done) return opened;
  ConvertResult result = ConvertResult::Done;
  try {
    AvRingtoneWriter writer(KindOfName(request.outputPath), request.outputPath, request.tags);
    std::vector<int16_t> block(8192);
    for (;;) {
      const uint32_t got = part_.Read(block.data(), static_cast<uint32_t>(block.size() * sizeof(int16_t)));
      if (got == audio::DATA_ERROR) {
        result = ConvertResult::ErrorGetData;
        break;
      }
      if (got == 0) break;
      writer.Write(block.data(), got / (sizeof(int16_t) * AvRingtoneWriter::kChannels));
      percent_.store(part_.percent());
      if (cancel_.load()) {
        result = ConvertResult::Cancelled;
        break;
      }
    }
    // A writer left unfinished removes its temporary file: the target stays as it was.
    if (result == ConvertResult::Done) {
      renderDone_.store(part_.reachedEnd());
      writer.Finish();
    }
  } catch (const std::exception& e) {
    lastError_ = e.what();
    result = ConvertResult::ErrorWriting;
  }
  Release(false);
  return result;
}

ConvertResult RingtoneConverter::RenderPass(const ConvertRequest& request, int64_t frames, int64_t* shortAt) {
  if (const ConvertResult opened = OpenPart(request, frames); opened != ConvertResult::Done) return opened;
  // A part with an end has a known length, which the encoder is told: should this process die
  // while it writes, the encoder sees its input end short of it and leaves no file.
  const uint64_t declared = part_.bounded() ? static_cast<uint64_t>(part_.partFrames()) : 0;
  encoderHandle_.store(audio::Encode_Start(part_.mixer(), request.command.c_str(), audio::ENCODE_FP_16BIT, nullptr,
                                           nullptr, declared));
  if (encoderHandle_.load() == 0) {
    Release(false);
    return ConvertResult::ErrorStartingEncoder;
  }

  char buffer[1024];
  for (;;) {
    const uint32_t got = part_.Read(buffer, sizeof buffer);
    if (got == audio::DATA_ERROR) {
      Release(true);
      return ConvertResult::ErrorGetData;
    }
    if (got == 0) {
      if (part_.bounded() && part_.framesRead() < part_.partFrames()) {
        Release(true);
        *shortAt = part_.framesRead();
        return ConvertResult::Cancelled;
      }
      break;
    }
    // An encoder that has died or stopped taking data (its write gave up after a few seconds)
    // will not finish the file: it is ended now rather than waited for.
    if (audio::Encode_IsActive(encoderHandle_.load()) == 0) {
      Release(true);
      return cancel_.load() ? ConvertResult::Cancelled : ConvertResult::ErrorWriting;
    }
    percent_.store(part_.percent());
    if (cancel_.load()) {
      Release(true);
      return ConvertResult::Cancelled;
    }
  }
  renderDone_.store(part_.reachedEnd());
  audio::ChannelStop(part_.mixer());
  // The encoder writes the end of its file once its input is closed; a cancel meanwhile ends it
  // without a file.
  audio::Encode_EndInput(encoderHandle_.load());
  const auto until = std::chrono::steady_clock::now() + kFinishLimit;
  while (audio::Encode_IsActive(encoderHandle_.load()) != 0) {
    if (cancel_.load() || std::chrono::steady_clock::now() >= until) {
      Release(true);
      return cancel_.load() ? ConvertResult::Cancelled : ConvertResult::ErrorWriting;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const bool written = audio::Encode_Stop(encoderHandle_.exchange(0));
  Release(false);
  return written ? ConvertResult::Done : ConvertResult::ErrorWriting;
}

}  // namespace convert
