// The command line: its parsing, and ringtones made without a window, in this process with the
// recording stand-in encoder (the samples and arguments it receives) and as the real program
// without a display (exit statuses, messages, the written file checked by ffprobe).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/run_one.h"
#include "audio/engine.h"
#include "convert/encoder_command.h"
#include "convert/phone_limits.h"
#include "convert/ringtone_converter.h"
#include "preview/effect_arithmetic.h"
#include "preview/render_effects.h"
#include "analysis/suggest_file.h"
#include "support/command.h"
#include "support/ffmpeg_loudness.h"
#include "support/fixtures.h"
#include "wave/song_map.h"
#include "support/sink_support.h"

namespace {

namespace fs = std::filesystem;
using cli::CommandLine;

TEST(CommandLineTest, TimesAreSecondsOrMinutesAndSeconds) {
  const struct {
    const char* text;
    double seconds;  // < 0: not a time
  } cases[] = {
      {"62.4", 62.4},    {"1:02.4", 62.4}, {"1:02.400", 62.4}, {"0:05", 5},     {"7", 7},
      {"1:01:02", 3662}, {".5", 0.5},      {"", -1},           {"abc", -1},     {"1:75", -1},
      {"-3", -1},        {"1.5:00", -1},   {"1::2", -1},       {"1e3", -1},     {"1:2:3:4", -1},
      {"2.", 2},         {"1.2.3", -1},    {":30", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto t = cli::ParseTime(c.text);
    if (c.seconds < 0) {
      EXPECT_FALSE(t.has_value());
    } else {
      ASSERT_TRUE(t.has_value());
      EXPECT_NEAR(*t, c.seconds, 1e-9);
    }
  }
}

TEST(CommandLineTest, WrongCommandLinesSayWhy) {
  const struct {
    std::vector<std::string> args;
    const char* why;  // empty: right
  } cases[] = {
      {{"song.mp3"}, ""},
      {{"--output", "a", "song.mp3"}, ""},
      {{"--output=a", "--start=1:02.4", "--end", "70", "--gain", "-12", "--fade-in", "10", "song.mp3"}, ""},
      {{"--suggest", "--length", "25", "song.mp3"}, ""},
      {{"--output", "a", "--", "-song.mp3"}, ""},
      {{"--output", "a", "--frobnicate", "song.mp3"}, "unknown option '--frobnicate'"},
      {{"--output", "a", "--start", "1:75", "song.mp3"}, "--start: '1:75' is not a time"},
      {{"--output", "a", "--start", "9", "--end", "9", "song.mp3"}, "the start is not before the end"},
      {{"--output", "a"}, "no file given"},
      {{"--output", "a", "x.mp3", "y.mp3"}, ""},  // a batch
      {{"--suggest", "x.mp3", "y.mp3"}, "more than one file given; --suggest takes one"},
      {{"-o", "a", "--kind", "ogg", "song.mp3"}, "--kind goes with several files or a folder"},
      {{"-o", "a", "-r", "song.mp3"}, "--recursive goes with several files or a folder"},
      {{"-o", "a", "--title", "T", "x.mp3", "y.mp3"}, "--title goes with one file"},
      {{"-o", "a", "--kind", "wav", "x.mp3", "y.mp3"}, "--kind: 'wav' is not m4r, ogg or mp3"},
      {{"-o", "a", "--jobs", "0", "x.mp3", "y.mp3"}, "--jobs: '0' is not a whole number from 1 to 64"},
      {{"--start", "1", "song.mp3"}, "--output is missing"},
      {{"--output", "a", "--gain", "13", "song.mp3"}, "--gain: '13' is not a whole number of dB"},
      {{"--output", "a", "--gain", "1.5", "song.mp3"}, "--gain: '1.5'"},
      {{"--output", "a", "--fade-out", "0", "song.mp3"}, "--fade-out: '0' is not a whole number of seconds"},
      {{"--output", "a", "--low-pass", "30000", "song.mp3"}, "--low-pass: '30000' is not a frequency"},
      {{"--output", "a", "song.mp3", "--end"}, "--end: a value is missing"},
      {{"--output", "a", "--normalize", "--gain", "3", "song.mp3"}, "--gain and --normalize do not go together"},
      {{"--output", "a", "--start", "1", "--end", "5", "--start", "2", "song.mp3"}, "--start is given twice"},
      {{"--output", "a", "--length", "5", "--start", "30", "song.mp3"}, "--length goes with --suggest"},
      {{"--suggest", "--length", "0.00001", "song.mp3"}, "--length: '0.00001' is shorter than 0.1 s"},
      {{"--output", "a", "--count", "2", "song.mp3"}, "--count goes with --suggest"},
      {{"--suggest", "--count", "0", "song.mp3"}, "--count: '0' is not a whole number from 1 to 10"},
      {{"-o", "a", "-s", "1:02.4", "-e", "70", "--gain=-3", "song.mp3"}, ""},
      {{"-o", "a", "-x", "song.mp3"}, "unknown option '-x'"},
      {{"--output", "a", "-o", "b", "song.mp3"}, "--output is given twice"},
      {{"-o", "a", "song.mp3", "-e"}, "--end: a value is missing"},
      // What only a conversion uses is refused with --suggest, not ignored.
      {{"--suggest", "-s", "3", "song.mp3"}, "--suggest and --start do not go together"},
      {{"--suggest", "--normalize", "song.mp3"}, "--suggest and --normalize do not go together"},
      {{"--suggest", "--count", "2", "--title", "T", "song.mp3"}, "--suggest and --title do not go together"},
      {{"--suggest", "--low-pass=300", "song.mp3"}, "--suggest and --low-pass do not go together"},
      {{"--help=x"}, "--help: takes no value"},
      {{"-o", "a", "--snap", "song.mp3"}, "--snap goes with --start or --end"},
      {{"--suggest", "--snap", "song.mp3"}, "--suggest and --snap do not go together"},
      {{"-o", "a", "--map", "song.mp3"}, "--map goes with --suggest"},
      {{"-o", "a", "--snap", "-e", "9", "song.mp3"}, ""},
      {{"-o", "a", "--normalize=1", "song.mp3"}, "--normalize: takes no value"},
  };
  for (const auto& c : cases) {
    const auto parsed = cli::ParseCommandLine(c.args);
    SCOPED_TRACE(c.args.back());
    if (*c.why == 0) {
      EXPECT_EQ(parsed.error, "");
    } else {
      EXPECT_EQ(parsed.error.rfind(c.why, 0), 0u) << parsed.error;
    }
  }
  const auto full = cli::ParseCommandLine({"--output", "o", "--start", "0:03.700", "--end", "9.2", "--fade-out", "2",
                                           "--low-pass", "6615", "--title", "T", "x.flac"});
  EXPECT_EQ(full.line.mode, CommandLine::Mode::Convert);
  EXPECT_NEAR(*full.line.start, 3.7, 1e-9);
  EXPECT_EQ(full.line.fadeOut, 2);
  EXPECT_EQ(*full.line.lowPass, 6615);
  EXPECT_TRUE(full.line.tags.write);
  EXPECT_EQ(full.line.input, "x.flac");
  EXPECT_EQ(cli::ParseCommandLine({"--help", "--frobnicate"}).error, "unknown option '--frobnicate'");
  EXPECT_EQ(cli::ParseCommandLine({"-h"}).line.mode, CommandLine::Mode::Help);
  EXPECT_EQ(cli::ParseCommandLine({"-V"}).line.mode, CommandLine::Mode::Version);
  const auto shortForms = cli::ParseCommandLine({"-o", "x", "-s", "2", "-e", "4.5", "in.mp3"});
  EXPECT_EQ(shortForms.line.output, "x");
  EXPECT_EQ(*shortForms.line.end, 4.5);
}

// Runs in this process, with the recording stand-in as the encoder found on PATH.
class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (std::string(TW_SINK_FOLDER) + ":" + oldPath).c_str(), 1);
    out = fs::temp_directory_path() / ("tw_cli_" + std::to_string(::getpid()));
    fs::remove(out.string() + ".m4r");
  }
  void TearDown() override {
    setenv("PATH", oldPath.c_str(), 1);
    fs::remove(out.string() + ".m4r");
  }
  int Run(std::vector<std::string> args) {
    std::ostringstream o, e;
    const int status = cli::RunCommandLine(args, {o, e, false});
    stdoutText = o.str();
    stderrText = e.str();
    return status;
  }
  static std::vector<int16_t> Pcm(const twtest::SinkDir& sink) {
    const auto in = sink.Stdin();
    std::vector<int16_t> pcm(in.size() > 44 ? (in.size() - 44) / 2 : 0);
    if (!pcm.empty()) std::memcpy(pcm.data(), in.data() + 44, pcm.size() * 2);
    return pcm;
  }
  std::string oldPath;
  fs::path out;
  std::string stdoutText, stderrText;
};

// Parts with decimals and in m:ss.fff of files other tools made, late in them: exactly the marked
// frames reach the encoder, as ffmpeg decodes them.
TEST_F(HeadlessTest, ThePartIsExactlyTheMarkedFramesAsFfmpegDecodesThem) {
  const struct {
    const char* file;
    const char* start;
    const char* end;
    int64_t from, frames;
  } cases[] = {
      {"late_vbr.mp3", "31.5", "0:37.250", 1389150, 253575},  // VBR MP3 without a Xing header
      {"ref.flac", "0:03.700", "9.2", 163170, 242550},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    twtest::SinkDir sink;
    const std::string input = twtest::Fixture(c.file);
    ASSERT_EQ(Run({"--output", out.string(), "--start", c.start, "--end", c.end, input}), 0) << stderrText;
    EXPECT_EQ(stderrText, "") << "no progress when standard error is not a terminal";
    EXPECT_EQ(sink.Args().back(), "-");
    EXPECT_EQ(sink.Args()[sink.Args().size() - 2], out.string() + ".m4r") << "the window's naming rule";
    const auto pcm = Pcm(sink);
    ASSERT_EQ(pcm.size(), static_cast<size_t>(c.frames * 2));
    const std::string all = twtest::CommandOutput("ffmpeg -nostdin -v error -i '" + input + "' -f s16le -ac 2 -");
    ASSERT_GE(all.size() / 4, static_cast<size_t>(c.from + c.frames));
    int worst = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
      int16_t x;
      std::memcpy(&x, all.data() + c.from * 4 + i * 2, 2);
      worst = std::max(worst, std::abs(pcm[i] - x));
    }
    EXPECT_LE(worst, 1);
  }
}

// Nothing is lost or silently dropped: an output that is the input is refused, a folder takes the
// input's name, a part too short is refused, an end far past the file's end is cut to it, a fade
// longer than the part is shortened (and said), a part too short to measure is said to be so.
TEST_F(HeadlessTest, WhatWouldBeLostOrDroppedIsRefusedOrSaid) {
  const fs::path dir = out.string() + "_dir";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string self = (dir / "self.m4r").string();
  fs::copy_file(twtest::Fixture("ref.m4a"), self);
  const auto size = fs::file_size(self);
  const std::string sec60 = twtest::Fixture("sec60.wav");
  const std::string spelled = (dir / "." / ".." / dir.filename() / "self").string();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;   // in standard error
    const char* named;  // the encoder's output, for a run that writes
  } cases[] = {
      {{"--output", self, "--start", "2", "--end", "4", self}, 2, "is the file the ringtone is made from", ""},
      {{"--output", (dir / "self").string(), "--start", "2", "--end", "4", self}, 2, "is the file the ringtone", ""},
      {{"--output", spelled, "--start", "2", "--end", "4", self}, 2, "is the file the ringtone is made from", ""},
      {{"--output", dir.string() + "/", "--start", "2", "--end", "4", sec60}, 0, "", "sec60.m4r"},
      {{"--output", dir.string(), "--start", "2", "--end", "4", sec60}, 0, "", "sec60.m4r"},
      {{"--output", (dir / "none").string() + "/", "--start", "2", "--end", "4", sec60}, 2, "ends in a slash but is no folder", ""},
      {{"--output", out.string(), "--start", "58", "--end", "1000000000000000", sec60}, 0, "the file ends at 60.000 s", ""},
      {{"--output", out.string(), "--start", "1", "--end", "1.00001", sec60}, 2, "the part is 0.000 s long", ""},
      {{"--output", out.string(), "--start", "0", "--end", "3", "--fade-out", "5", sec60}, 0,
       "the fade-out is shortened to 3 s to fit the 3-s part", ""},
      {{"--output", out.string(), "--end", "2", "--fade-in", "10", "--fade-out", "10", sec60}, 0,
       "the fade-in is shortened to 1 s to fit the 2-s part", ""},
      {{"--output", out.string(), "--start", "1", "--end", "1.2", "--normalize", sec60}, 0, "too short or too quiet to measure", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[c.args.size() - 2]);
    twtest::SinkDir sink;
    EXPECT_EQ(Run(c.args), c.status) << stderrText;
    EXPECT_NE(stderrText.find(c.says), std::string::npos) << stderrText;
    if (*c.named != 0) {
      EXPECT_EQ(sink.Args()[sink.Args().size() - 2], (dir / c.named).string());
    }
    if (c.args.back() == sec60 && c.status == 0 && c.args[5] == "3") {
      const auto pcm = Pcm(sink);  // faded out to its last frame
      ASSERT_EQ(pcm.size(), 3u * 44100 * 2);
      EXPECT_EQ(pcm.back(), 0);
      EXPECT_GT(std::abs(pcm[2]) + std::abs(pcm[3]), 0) << "full level at the start";
    }
  }
  EXPECT_EQ(fs::file_size(self), size) << "the input was changed";
  // Standard output that cannot be written is a failure, not a printed answer.
  std::ostream broken(nullptr);
  std::ostringstream e;
  EXPECT_EQ(cli::RunCommandLine({"--version"}, {broken, e, false}), 1);
  EXPECT_EQ(e.str(), "tonewright: the standard output cannot be written\n");
  fs::remove_all(dir);
}

// The options give the encoder what the window's controls give it for the same part: the same
// command and the same samples, the filter's Hz mapped onto the bar's setting.
TEST_F(HeadlessTest, OptionsGiveWhatTheWindowsControlsGive) {
  const std::string input = twtest::Fixture("22k.wav");
  twtest::SinkDir byCommand;
  ASSERT_EQ(Run({"--output", out.string() + ".M4R", "--start", "2.5", "--end", "8.25", "--fade-in", "1", "--fade-out",
                 "2", "--gain", "6", "--high-pass", "220", "--low-pass", "6615", "--title", "Two Words", "--year",
                 "2010", input}),
            0)
      << stderrText;
  const auto args = byCommand.Args();
  const auto pcm = Pcm(byCommand);

  ASSERT_TRUE(audio::Init(0, 44100, 0, nullptr));
  preview::PreviewShared shared;
  shared.playStream = audio::StreamCreateFile(input.c_str(), 0, 0, audio::STREAM_DECODE);
  shared.controls.fadeIn = true;
  shared.controls.fadeInSeconds = 1;
  shared.controls.fadeOut = true;
  shared.controls.fadeOutSeconds = 2;
  preview::RenderEffects render(shared);
  convert::RingtoneConverter converter(render);
  convert::ConvertRequest request;
  request.inputPath = input;
  request.startSeconds = 2.5;
  request.endSeconds = 8.25;
  request.effects = preview::EffectControls{true, 6, true, 100, true, 3000};
  request.outputPath = out.string() + ".M4R";
  request.command = convert::BuildEncoderCommand(request.outputPath, {true, "Two Words", "", "", "", "2010"});
  twtest::SinkDir byWindow;
  EXPECT_EQ(converter.ConvertToRingtone(request), convert::ConvertResult::Done);
  audio::Free();
  EXPECT_EQ(args, byWindow.Args());
  EXPECT_EQ(pcm.size(), static_cast<size_t>(5.75 * 44100 * 2));
  EXPECT_TRUE(pcm == Pcm(byWindow)) << "the samples differ";
}

TEST_F(HeadlessTest, FailuresExitWithTheirStatusAndKeepAnExistingOutput) {
  const std::string ringtone = out.string() + ".m4r";
  {
    std::ofstream(ringtone) << "an earlier ringtone";
  }
  const auto untouched = [&] {
    std::ifstream in(ringtone);
    std::string s;
    std::getline(in, s);
    return s == "an earlier ringtone";
  };
  const std::string bad = twtest::Fixture("random.mp3");
  EXPECT_EQ(Run({"--output", out.string(), "--start", "1", "--end", "3", bad}), 1);
  EXPECT_EQ(stderrText, "tonewright: Error creating stream! (" + bad + ": is not a sound or video file Tonewright can read)\n");
  EXPECT_TRUE(untouched());
  {
    twtest::SinkDir sink("code:1");
    EXPECT_EQ(Run({"--output", out.string(), "--start", "1", "--end", "3", twtest::Fixture("ref.wav")}), 1);
    EXPECT_EQ(stderrText, "tonewright: Error writing ringtone! (" + ringtone + ")\n");
    EXPECT_TRUE(untouched());
  }
  // Wrong command lines: a reason and the usage, nothing run.
  EXPECT_EQ(Run({"--output", out.string(), "--start", "61", twtest::Fixture("sec60.wav")}), 2);
  EXPECT_EQ(stderrText.rfind("tonewright: the start lies past the file's end", 0), 0u) << stderrText;
  EXPECT_NE(stderrText.find(cli::Usage()), std::string::npos);
  EXPECT_EQ(Run({"--output", out.string(), "--gain", "x", twtest::Fixture("ref.wav")}), 2);
  EXPECT_EQ(stdoutText, "");
  EXPECT_TRUE(untouched());
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_EQ(stdoutText, cli::Usage());
}

// The length that bounds the part is the one decoding yields, not a header's estimate: the ADTS
// file's header says 15 s of its 40, the VBR MP3's 48 s of its 40.
TEST_F(HeadlessTest, TheFilesRealLengthBoundsThePart) {
  {
    twtest::SinkDir sink;
    ASSERT_EQ(Run({"--output", out.string(), "--start", "30", "--end", "35", twtest::Fixture("late.aac")}), 0) << stderrText;
    EXPECT_EQ(Pcm(sink).size(), static_cast<size_t>(5 * 44100 * 2));
  }
  twtest::SinkDir sink;
  ASSERT_EQ(Run({"--output", out.string(), "--start", "2", "--end", "45", twtest::Fixture("late_vbr.mp3")}), 0);
  EXPECT_EQ(stderrText, "tonewright: warning: the file ends at 40.046 s, before the end asked for\n"
                        "tonewright: warning: " + convert::LengthHint(38.04) + "\n");
  EXPECT_NE(stderrText.find("38.0 seconds"), std::string::npos) << "not the header's 45.8";
  EXPECT_EQ(Run({"--output", out.string(), "--start", "40.25", twtest::Fixture("late_vbr.mp3")}), 2);
  EXPECT_EQ(stderrText.rfind("tonewright: the start lies past the file's end (40.046 s)\n", 0), 0u) << stderrText;
}

// Past 30 s and past 40 s the command warns with the window's words, and writes the tone.
TEST_F(HeadlessTest, LengthsAnIPhoneRefusesAreWarnedAbout) {
  for (const double end : {25.0, 35.5, 45.0}) {
    twtest::SinkDir sink;
    ASSERT_EQ(Run({"--output", out.string(), "--start", "2", "--end", std::to_string(end), twtest::Fixture("sec60.wav")}), 0);
    const std::string hint = convert::LengthHint(end - 2);
    EXPECT_EQ(stderrText, hint.empty() ? "" : "tonewright: warning: " + hint + "\n");
    EXPECT_EQ(Pcm(sink).size(), static_cast<size_t>(std::llround((end - 2) * 44100) * 2));
  }
}

// --suggest prints the part the window's Suggest marks, a chorus start on a song of known form;
// --output without bounds writes that part.
TEST_F(HeadlessTest, TheSuggestedPartIsPrintedAndIsWhatAConversionWithoutBoundsWrites) {
  const std::string song = twtest::Fixture("form_pop.mp3");
  ASSERT_EQ(Run({"--suggest", song}), 0) << stderrText;
  double start = 0, end = 0;
  ASSERT_EQ(std::sscanf(stdoutText.c_str(), "%lf %lf", &start, &end), 2) << stdoutText;
  EXPECT_EQ(stdoutText.find('.') + 4, stdoutText.find(' ')) << "three decimals: " << stdoutText;
  std::ifstream starts(twtest::Fixture("form_pop.txt"));
  std::string row;
  double nearest = 1e9;
  while (std::getline(starts, row))
    if (!row.empty() && row[0] != '#') nearest = std::min(nearest, std::fabs(std::stod(row) - start));
  EXPECT_LT(nearest, 1.0) << "not on a chorus start: " << start;
  EXPECT_GE(end - start, 20.0 - 0.001);
  EXPECT_LE(end - start, 29.0 + 0.001);
  // --count: distinct parts, best first, the first the one printed alone.
  ASSERT_EQ(Run({"--suggest", "--count", "3", song}), 0) << stderrText;
  std::istringstream lines(stdoutText);
  std::vector<std::pair<double, double>> parts;
  for (double a = 0, b = 0; lines >> a >> b;) parts.emplace_back(a, b);
  ASSERT_GE(parts.size(), 2u) << stdoutText;
  EXPECT_LE(parts.size(), 3u);
  EXPECT_NEAR(parts[0].first, start, 0.0005);
  for (size_t i = 0; i < parts.size(); ++i)
    for (size_t j = i + 1; j < parts.size(); ++j)
      EXPECT_TRUE(parts[i].second <= parts[j].first || parts[j].second <= parts[i].first) << "overlap " << i << " " << j;
  ASSERT_EQ(Run({"--suggest", "--length", "20", song}), 0);
  ASSERT_EQ(std::sscanf(stdoutText.c_str(), "%lf %lf", &start, &end), 2);
  EXPECT_NEAR(end - start, 20.0, 0.001);
  twtest::SinkDir sink;
  ASSERT_EQ(Run({"--output", out.string(), "--length", "20", song}), 0) << stderrText;
  EXPECT_EQ(Pcm(sink).size(), static_cast<size_t>(20 * 44100 * 2));
  EXPECT_EQ(Run({"--suggest", twtest::Fixture("random.mp3")}), 1);
  EXPECT_EQ(stdoutText, "");
}

// The song's map for scripts, and times put on its beats: the same beats for both.
TEST_F(HeadlessTest, TheMapIsPrintedAndSnapPutsTimesOnItsBeats) {
  const std::string song = twtest::Fixture("form_pop.wav");
  ASSERT_EQ(Run({"--suggest", "--map", song}), 0) << stderrText;
  std::istringstream lines(stdoutText);
  std::string first, kind;
  std::getline(lines, first);
  double start = 0, end = 0;
  ASSERT_EQ(std::sscanf(first.c_str(), "%lf %lf", &start, &end), 2) << first;
  std::vector<double> beats, bars;
  std::vector<wave::Section> sections;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    double t = 0;
    words >> kind >> t;
    if (kind == "section") {
      wave::Section s{t, 0, -1};
      words >> s.end >> s.group;
      sections.push_back(s);
    } else {
      (kind == "beat" ? beats : bars).push_back(t);
    }
  }
  ASSERT_GT(beats.size(), 100u);
  ASSERT_GT(bars.size(), 20u);
  for (const double bar : bars) EXPECT_NE(std::find(beats.begin(), beats.end(), bar), beats.end()) << bar;
  // Sections from bar line to bar line, one after another, some heard more than once.
  ASSERT_GT(sections.size(), 3u);
  for (size_t i = 0; i < sections.size(); ++i) {
    EXPECT_NE(std::find(bars.begin(), bars.end(), sections[i].start), bars.end()) << sections[i].start;
    if (i > 0) {
      EXPECT_EQ(sections[i].start, sections[i - 1].end);
    }
  }
  wave::SongMap map;
  map.sections = sections;
  EXPECT_GE(wave::TimesHeard(map, sections[1].group) + wave::TimesHeard(map, sections[2].group), 3);
  // 10.2 s lies nearest one beat of the map: the ringtone starts there, and says so.
  const double near = *std::min_element(beats.begin(), beats.end(), [](double a, double b) {
    return std::abs(a - 10.2) < std::abs(b - 10.2);
  });
  twtest::SinkDir sink;
  ASSERT_EQ(Run({"-o", out.string(), "--snap", "-s", "10.2", "-e", "30", song}), 0) << stderrText;
  char said[64];
  std::snprintf(said, sizeof said, "tonewright: on the beat: --start %.3f, --end ", near);
  EXPECT_EQ(stderrText.rfind(said, 0), 0u) << stderrText;
}

// The real program, with no display at all, and the encoder it ships.
TEST(ProgramCommandLineTest, RunsWithoutADisplayAndWritesACheckedRingtone) {
  const std::string program = std::string(TW_PROGRAM_DIR) + "/tonewright";
  const std::string out = (fs::temp_directory_path() / ("tw_cli_real_" + std::to_string(::getpid()))).string();
  const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
  EXPECT_EQ(twtest::CommandOutput(env + program + " --version"), "tonewright 1.00\n");
  EXPECT_EQ(twtest::CommandOutput(env + program + " --frobnicate x 2>/dev/null; echo $?"), "2\n");
  EXPECT_EQ(twtest::CommandOutput(env + program + " --output " + out + " --start 1 --end 4 /nonexistent.mp3 2>&1; echo $?"),
            "tonewright: Error creating stream! (/nonexistent.mp3: No such file or directory)\n1\n");
  // Each kind's write failure names the cause the same way, the encoder program's included.
  for (const char* kind : {".m4r", ".ogg", ".mp3"}) {
    const std::string target = "/nonexistent-folder/tone" + std::string(kind);
    EXPECT_EQ(twtest::CommandOutput(env + program + " -o " + target + " -s 1 -e 4 " + twtest::Fixture("ref.wav") + " 2>&1; echo $?"),
              "tonewright: Error writing ringtone! (" + target + ": cannot create the output file: No such file or directory)\n1\n");
  }
  const std::string made = twtest::CommandOutput(env + program + " --output " + out + " --start 0:03.700 --end 9.2 --title Bell " +
                                                 twtest::Fixture("ref_notag.mp3") + " 2>&1; echo $?");
  EXPECT_EQ(made, "0\n");
  const std::string probe = twtest::CommandOutput("ffprobe -v error -show_entries format=duration:format_tags=title:stream=codec_name "
                                                  "-of default=nw=1 '" + out + ".m4r'");
  EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
  EXPECT_NE(probe.find("TAG:title=Bell"), std::string::npos) << probe;
  const auto at = probe.find("duration=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(probe.substr(at + 9)), 5.5, 0.01);
  // --normalize levels a quiet part to the ringtone loudness, as read by ffmpeg on the ringtone.
  EXPECT_EQ(twtest::CommandOutput(env + program + " --output " + out + " --normalize --start 2 --end 9 " +
                                  twtest::Fixture("quiet24.wav") + " 2>&1; echo $?"),
            "0\n");
  const auto level = twtest::FfmpegEbur128(out + ".m4r");
  ASSERT_TRUE(level.ok);
  EXPECT_NEAR(level.integrated, -14.0, 1.0);
  // Killed while it writes, politely or not, at moments spread over a whole conversion: the
  // ringtone made before stays as it was (or, killed too late, the new one is whole), and no
  // encoder is left to finish a cut-short one in its place.
  const std::string convert = env + program + " --output " + out + " --start 0 --end 30 " + twtest::Fixture("song.flac");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(twtest::CommandOutput(convert + " 2>/dev/null; echo $?"), "0\n");
  const double whole = std::min(6.0, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  const auto seconds = [&] {
    const std::string probe = twtest::CommandOutput("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + out + ".m4r'");
    return probe.empty() ? 0.0 : std::atof(probe.c_str());
  };
  for (int i = 0; i < 20; ++i) {
    const char* signal = i % 2 == 0 ? "KILL" : "TERM";
    const double at = 0.1 + (whole - 0.1) * (i / 2) / 9.0;
    SCOPED_TRACE(std::string(signal) + " at " + std::to_string(at) + " s");
    { std::ofstream(out + ".m4r") << "an earlier ringtone"; }
    const std::string status = twtest::CommandOutput(convert + " 2>/dev/null & pid=$!; sleep " + std::to_string(at) +
                                                     "; kill -" + signal + " $pid 2>/dev/null; wait $pid; echo $?");
    EXPECT_EQ(twtest::CommandOutput("for i in $(seq 100); do pgrep -f -- '[-]o " + out +
                                    ".m4r' >/dev/null || break; sleep 0.1; done; pgrep -f -- '[-]o " + out + ".m4r'"),
              "") << "an encoder still runs";
    std::ifstream kept(out + ".m4r");
    std::string line;
    std::getline(kept, line);
    if (line != "an earlier ringtone") {  // the signal came once the new one was in place
      EXPECT_NEAR(seconds(), 30.0, 0.01) << "a cut-short ringtone replaced the earlier one";
      continue;
    }
    EXPECT_EQ(status, std::string(signal) == "TERM" ? "143\n" : "137\n");
  }
  fs::remove(out + ".m4r");
}

}  // namespace
