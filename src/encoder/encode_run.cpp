#include "encoder/encode_run.h"

#include <unistd.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "encoder/aac_writer.h"
#include "encoder/errors.h"
#include "encoder/input_stream.h"
#include "encoder/output_file.h"
#include "encoder/sample_convert.h"
#include "encoder/wav_reader.h"

extern "C" {
#include <libavutil/log.h>
}

namespace encoder {
namespace {

constexpr size_t kBlockFrames = 4096;

bool HasTags(const Tags& t) { return t.title || t.artist || t.album || t.genre || t.year; }

// Reads standard input to its end, so that a writer feeding more than the header announced is
// not cut off with a broken pipe.
void DrainStandardInput() {
  char scratch[16384];
  while (::read(0, scratch, sizeof scratch) > 0) {
  }
}

}  // namespace

void Encode(const Options& options, std::FILE* warn) {
  const bool from_stdin = options.input == "-";
  std::unique_ptr<InputStream> input;
  if (from_stdin) {
    input = std::make_unique<FdInput>(0, "standard input");
  } else {
    input = std::make_unique<FileInput>(options.input);
  }

  WavReader reader(*input);
  reader.ReadHeader();
  const WavFormat& format = reader.format();

  std::vector<uint8_t> raw(kBlockFrames * format.FrameBytes());
  std::vector<float> samples(kBlockFrames * format.channels);
  std::vector<float*> planes(format.channels);
  for (size_t c = 0; c < planes.size(); ++c) planes[c] = samples.data() + c * kBlockFrames;

  size_t n = reader.ReadFrames(raw.data(), kBlockFrames);
  if (n == 0) {
    throw EncodeError(input->Name() + ": no audio data (the WAV stream ends after its header)");
  }
  if (!options.mp4 && HasTags(options.tags)) {
    std::fprintf(warn, "faac: warning: tags are written only into MP4 files (-w); ignored\n");
  }

  OutputFile out(options.output);
  EncodeSettings settings;
  settings.mp4 = options.mp4;
  settings.mode = options.mode;
  settings.bitrate_kbps = options.bitrate_kbps;
  settings.quality = options.quality;
  AacWriter writer(format, settings, options.tags, out);
  do {
    ToPlanarFloat(raw.data(), n, format, planes.data());
    writer.Write(planes.data(), n);
    n = reader.ReadFrames(raw.data(), kBlockFrames);
  } while (n > 0);
  // An input that ends before the size its header states was cut short (a writer that died, a
  // file copied in part): the file would hold less than was asked for, so none is written.
  if (reader.truncated()) {
    throw EncodeError(input->Name() + ": the audio data ends before the size its header gives (" +
                      std::to_string(reader.frames_read() * format.FrameBytes()) + " of " +
                      std::to_string(format.data_bytes.value_or(0)) + " bytes); nothing written");
  }
  writer.Finish();
  out.Commit();
  if (from_stdin) DrainStandardInput();
}

int RunProgram(std::span<const std::string_view> args, std::FILE* out, std::FILE* err) {
  const ParseResult parsed = ParseCommandLine(args);
  switch (parsed.action) {
    case ParseAction::Help:
      std::fputs(UsageText().c_str(), out);
      return 0;
    case ParseAction::Version:
      std::fputs(VersionText().c_str(), out);
      return 0;
    case ParseAction::Error:
      std::fprintf(err, "faac: %s\nTry 'faac --help' for the options.\n", parsed.error.c_str());
      return 2;
    case ParseAction::Encode:
      break;
  }
  av_log_set_level(AV_LOG_ERROR);
  try {
    Encode(parsed.options, err);
    return 0;
  } catch (const EncodeError& e) {
    std::fprintf(err, "faac: %s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::fprintf(err, "faac: %s: out of memory\n", parsed.options.output.c_str());
  } catch (const std::exception& e) {
    std::fprintf(err, "faac: %s: %s\n", parsed.options.output.c_str(), e.what());
  }
  return 1;
}

}  // namespace encoder
