#include "cli/run_one.h"

#include <QString>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <tuple>
#include <cstdio>
#include <ostream>

#include "analysis/level_rule.h"
#include "analysis/loudness_part.h"
#include "analysis/song_analysis.h"
#include "analysis/song_beats.h"
#include "analysis/suggest_file.h"
#include "cli/output_name.h"
#include "cli/run_many.h"
#include "cli/signals.h"
#include "audio/engine.h"
#include "convert/encoder_command.h"
#include "convert/phone_limits.h"
#include "convert/ringtone_converter.h"
#include "convert/ringtone_kind.h"
#include "convert/same_file.h"
#include "preview/effect_arithmetic.h"
#include "preview/preview_state.h"
#include "preview/render_effects.h"
#include "source/openers.h"
#include "wave/song_map.h"

namespace cli {

namespace {

constexpr const char* kProgram = "tonewright";

int UsageError(const std::string& reason, Console console) {
  console.err << kProgram << ": " << reason << "\n" << Usage();
  return 2;
}

// The engine for one run, with no output device; released when the run ends.
struct EngineRun {
  EngineRun() { started = audio::Init(0, 44100, 0, nullptr); }
  ~EngineRun() {
    if (started) audio::Free();
  }
  bool started = false;
};

// The file's length in seconds, as decoding it yields it (the scan's prescanned opening: a
// header's estimate can be far off); a negative value when the file cannot be opened.
double FileSeconds(const std::string& path) {
  const audio::Handle h = source::OpenSourceStream(path, source::kScanFlags);
  if (h == 0) return -1;
  const double seconds = audio::ChannelBytes2Seconds(h, audio::ChannelGetLength(h, audio::POS_BYTE));
  audio::StreamFree(h);
  return std::max(seconds, 0.0);
}

std::string Seconds3(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

// Seconds as a person writes them: up to three decimals, without trailing zeros.
std::string Seconds(double seconds) {
  std::string text = Seconds3(seconds);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

// What was printed on standard output reached it: 1 with a message when it could not be written
// (a full disk, a closed descriptor), else `status`.
int Printed(int status, Console console) {
  console.out.flush();
  if (console.out) return status;
  console.err << kProgram << ": the standard output cannot be written\n";
  return 1;
}

std::string PastTheEndText(double fileSeconds) {
  return "the start lies past the file's end (" + Seconds3(fileSeconds) + " s)";
}

// The file does not open, or does not decode far enough: the message names it and says why.
std::string CannotReadText(const std::string& input) {
  const std::string why = source::WhyNotOpened(input);
  return std::string(convert::ResultMessage(convert::ConvertResult::ErrorCreatingStream)) + " (" + input +
         (why.empty() ? "" : ": " + why) + ")";
}

int CannotRead(const std::string& input, Console console) {
  console.err << kProgram << ": " << CannotReadText(input) << "\n";
  return 1;
}

int Suggest(const CommandLine& line, Console console) {
  const std::string input = LocalPath(line.input);
  // One decode for the parts and the map.
  const auto features = analysis::FeaturesOfFile(input);
  if (!features) return CannotRead(input, console);
  const analysis::SongAnalysis song = analysis::AnalyseSong(*features, line.length.value_or(analysis::kDefaultPartSeconds),
                                                            static_cast<size_t>(line.count.value_or(1)));
  if (song.parts.empty()) return CannotRead(input, console);
  for (const analysis::Suggestion& s : song.parts) console.out << Seconds3(s.part.start) << " " << Seconds3(s.part.end) << "\n";
  if (line.map) {
    for (const double t : song.beats.beats) console.out << "beat " << Seconds3(t) << "\n";
    for (const double t : song.beats.bars) console.out << "bar " << Seconds3(t) << "\n";
    for (const wave::Section& s : song.sections)
      console.out << "section " << Seconds3(s.start) << " " << Seconds3(s.end) << " " << s.group << "\n";
  }
  return Printed(0, console);
}

// The part's levels as its effects leave it without the gain, which "Level" reads.
std::optional<analysis::Loudness> BareLevels(const convert::PartSpec& part, const preview::ControlMirror& fades) {
  analysis::PartRequest request;
  static_cast<convert::PartSpec&>(request) = part;
  request.effects.gain = false;
  request.fadeIn = fades.fadeIn.load();
  request.fadeInSeconds = fades.fadeInSeconds.load();
  request.fadeOut = fades.fadeOut.load();
  request.fadeOutSeconds = fades.fadeOutSeconds.load();
  const auto measured = analysis::MeasurePart(request);
  if (!measured) return std::nullopt;
  return measured->bare;
}

// Warns of each fade that the part's length shortens.
void WarnOfShortenedFades(const CommandLine& line, double partSeconds, const Warn& warn) {
  const preview::FadeLengths fitted = preview::FitFades(line.fadeIn > 0, line.fadeIn, line.fadeOut > 0, line.fadeOut, partSeconds);
  for (const auto& [name, asked, got] : {std::tuple{"fade-in", line.fadeIn, fitted.in}, std::tuple{"fade-out", line.fadeOut, fitted.out}}) {
    if (asked > 0 && got < asked)
      warn("the " + std::string(name) + " is shortened to " + Seconds(got) + " s to fit the " + Seconds(partSeconds) + "-s part");
  }
}

Outcome Failed(std::string why) { return {1, std::move(why)}; }
Outcome Refused(std::string why) { return {2, std::move(why)}; }

}  // namespace

std::string LocalPath(const std::string& given) {
  const QUrl url(QString::fromStdString(given));
  return url.isLocalFile() ? url.toLocalFile().toStdString() : given;
}

Outcome ConvertOne(const CommandLine& line, const std::string& input, const std::string& output, const OneRun& run) {
  if (convert::IsSameFile(input, output)) return Refused("--output: " + output + " is the file the ringtone is made from");
  const double fileSeconds = FileSeconds(input);
  if (fileSeconds < 0) return Failed(CannotReadText(input));
  double start = line.start.value_or(0);
  double end = std::min(line.end.value_or(fileSeconds), fileSeconds);
  // Neither bound given: the suggested part.
  if (!line.start && !line.end) {
    const auto suggestion = analysis::SuggestPartOfFile(input, line.length.value_or(analysis::kDefaultPartSeconds));
    if (!suggestion) return Failed(CannotReadText(input));
    start = suggestion->part.start;
    end = suggestion->part.end;
  }
  // On the song's beats, as the window's snapping puts a click.
  if (line.snap) {
    const auto features = analysis::FeaturesOfFile(input);
    if (!features) return Failed(CannotReadText(input));
    wave::SongMap map;
    map.beats = analysis::TrackBeats(*features).beats;
    if (!map.HasBeat()) {
      run.warn("no steady beat was found; the times stay as given");
    } else {
      if (line.start) start = wave::SnapToBeat(map, start);
      if (line.end) end = std::min(wave::SnapToBeat(map, end), fileSeconds);
      run.note(std::string("on the beat: ") + (line.start ? "--start " + Seconds3(start) : "") +
               (line.start && line.end ? ", " : "") + (line.end ? "--end " + Seconds3(end) : ""));
    }
  }
  if (start >= fileSeconds) return Refused(PastTheEndText(fileSeconds));
  if (line.end && *line.end > fileSeconds) run.warn("the file ends at " + Seconds3(fileSeconds) + " s, before the end asked for");
  if (end - start < kShortestPartSeconds)
    return Refused("the part is " + Seconds3(end - start) + " s long; a ringtone needs at least " + Seconds(kShortestPartSeconds) + " s");
  if (const std::string hint = convert::LengthHint(end - start);
      !hint.empty() && convert::KindOfName(output) == convert::RingtoneKind::IPhone)
    run.warn(hint);
  WarnOfShortenedFades(line, end - start, run.warn);

  preview::PreviewShared shared;
  shared.controls.fadeIn = line.fadeIn > 0;
  shared.controls.fadeInSeconds = line.fadeIn;
  shared.controls.fadeOut = line.fadeOut > 0;
  shared.controls.fadeOutSeconds = line.fadeOut;
  preview::RenderEffects render(shared, true);
  convert::RingtoneConverter converter(render);

  convert::ConvertRequest request;
  request.inputPath = input;
  request.startSeconds = start;
  request.endSeconds = end;  // a known length, which the encoder is told
  request.effects = preview::EffectControls{line.gain.has_value(), line.gain.value_or(0),
                                            line.highPass.has_value(), preview::SettingForCutoffHz(line.highPass.value_or(0)),
                                            line.lowPass.has_value(), preview::SettingForCutoffHz(line.lowPass.value_or(0))};
  if (line.normalize) {
    const auto bare = BareLevels(request, shared.controls);
    if (!bare) return Failed(CannotReadText(input));
    if (!std::isfinite(bare->integrated))
      run.warn("the part is too short or too quiet to measure its loudness; --normalize leaves its level as it is");
    request.effects.gain = true;
    request.effects.gainPosition = analysis::LevelGain(*bare);
  }
  request.outputPath = output;
  request.command = convert::BuildEncoderCommand(request.outputPath, line.tags);
  request.tags = line.tags;
  if (run.progress) converter.onProgress = run.progress;
  converter.processEvents = [&converter, &run] {
    if (run.signalled() != 0) converter.Cancel();
  };
  const convert::ConvertResult result = converter.ConvertToRingtone(request);
  // A signal to the whole process group (Ctrl-C) ends the encoder program too: what fails then
  // was stopped.
  if (result != convert::ConvertResult::Done && run.signalled() != 0) return {128 + run.signalled(), "cancelled; nothing was written"};
  switch (result) {
    case convert::ConvertResult::Done: return {};
    case convert::ConvertResult::Cancelled: return {128 + run.signalled(), "cancelled; nothing was written"};
    case convert::ConvertResult::StartPastEnd: return Refused(PastTheEndText(fileSeconds));
    case convert::ConvertResult::ErrorCreatingStream: return Failed(CannotReadText(input));
    case convert::ConvertResult::ErrorWriting:
      return Failed(std::string(convert::ResultMessage(result)) + " (" +
                    (converter.lastError().empty() ? request.outputPath : converter.lastError()) + ")");
    default: return Failed(std::string(convert::ResultMessage(result)) + " (" + input + ")");
  }
}

namespace {

int Convert(const CommandLine& line, Console console) {
  const std::string input = LocalPath(line.input);
  const std::string output = CommandLineRingtoneFile(line.output, input);
  if (output.empty()) return UsageError("--output: '" + line.output + "' ends in a slash but is no folder", console);
  int shown = -1;
  OneRun run;
  run.warn = [&console](const std::string& text) { console.err << kProgram << ": warning: " << text << "\n"; };
  run.note = [&console](const std::string& text) { console.err << kProgram << ": " << text << "\n"; };
  if (console.progress) {
    run.progress = [&](int percent) {
      if (percent == shown) return;
      shown = percent;
      console.err << "\r" << percent << "%" << std::flush;
    };
  }
  // A terminating signal while the ringtone is written cancels it: the encoder ends without a file
  // and an existing output stays as it was.
  const SignalCatch catching;
  run.signalled = CaughtSignal;
  const Outcome outcome = ConvertOne(line, input, output, run);
  if (shown >= 0) console.err << "\n";
  if (outcome.status == 2) return UsageError(outcome.error, console);
  if (outcome.status != 0) console.err << kProgram << ": " << outcome.error << "\n";
  return outcome.status;
}

}  // namespace

int RunHeadless(const CommandLine& line, Console console) {
  switch (line.mode) {
    case CommandLine::Mode::Help: console.out << Usage(); return Printed(0, console);
    case CommandLine::Mode::Version:
      console.out << kProgram << " " << kProgramVersion << "\n";
      return Printed(0, console);
    case CommandLine::Mode::Window: return UsageError("no option given", console);
    case CommandLine::Mode::Suggest:
    case CommandLine::Mode::Convert:
    case CommandLine::Mode::Batch: break;
  }
  EngineRun engine;
  if (!engine.started) {
    console.err << kProgram << ": the audio engine does not start\n";
    return 1;
  }
  switch (line.mode) {
    case CommandLine::Mode::Suggest: return Suggest(line, console);
    case CommandLine::Mode::Batch: return RunMany(line, console);
    default: return Convert(line, console);
  }
}

int RunCommandLine(const std::vector<std::string>& arguments, Console console) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.error.empty()) return UsageError(parsed.error, console);
  return RunHeadless(parsed.line, console);
}

}  // namespace cli
