// Every fixture, good, bad or odd, down the road of one ringtone: opened as the window opens it,
// scanned into the waveform, previewed with every effect and a loop, and converted through the
// real encoder. Each file runs in a child process with a time limit, so that a crash, a hang or a
// sanitizer's complaint (a leak included) is recorded against that file and the sweep goes on.
// The ringtones are checked with ffprobe; the good files' formats and lengths come from the
// fixture script's manifest, which ffprobe wrote too.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "convert/encoder_command.h"
#include "convert/ringtone_converter.h"
#include "isolated_run.h"
#include "preview/render_effects.h"
#include "preview/transport.h"
#include "support/fixtures.h"
#include "support/command.h"
#include "window_session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Report = std::map<std::string, std::string>;

// One row of the fixture manifest; codec "-" marks the bad and odd files.
struct Fixture {
  std::string name, codec;
  int rate = 0, channels = 0;
  double duration = 0;  // ffprobe's figure: for some formats a header's estimate
  bool good() const { return codec != "-"; }
};

std::vector<Fixture> Manifest() {
  std::vector<Fixture> rows;
  std::ifstream in(twtest::FixtureDir() + "/manifest.tsv");
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream cols(line);
    Fixture f;
    std::string rate, channels, frames, duration;
    if (!std::getline(cols, f.name, '\t') || !std::getline(cols, f.codec, '\t')) continue;
    std::getline(cols, rate, '\t');
    std::getline(cols, channels, '\t');
    std::getline(cols, frames, '\t');
    std::getline(cols, duration, '\t');
    if (f.good()) {
      f.rate = std::atoi(rate.c_str());
      f.channels = std::atoi(channels.c_str());
      f.duration = std::atof(duration.c_str());
    }
    rows.push_back(f);
  }
  return rows;
}

// Files no opener may take: nothing in them is audio.
const std::set<std::string> kNotAudio = {"empty.mp3", "empty.wav", "random.mp3", "random.ogg",
                                         "random.wav", "text.wav",  "notes.txt"};

std::string Value(const std::string& probe, const std::string& key) {
  const auto at = probe.find(key + "=");
  if (at == std::string::npos) return "";
  const auto from = at + key.size() + 1;
  return probe.substr(from, probe.find('\n', from) - from);
}

// The length in seconds of what ffmpeg decodes of a file's first audio stream.
double DecodedSeconds(const std::string& path, int rate, int channels) {
  size_t bytes = 0;
  if (FILE* p = popen(("ffmpeg -v error -i '" + path + "' -map 0:a:0 -f s16le -acodec pcm_s16le -").c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) bytes += n;
    pclose(p);
  }
  return static_cast<double>(bytes) / (2.0 * channels * rate);
}

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

const char* ResultName(convert::ConvertResult r) {
  switch (r) {
    case convert::ConvertResult::Done: return "Done";
    case convert::ConvertResult::ErrorCreatingStream: return "ErrorCreatingStream";
    case convert::ConvertResult::ErrorStartingEncoder: return "ErrorStartingEncoder";
    case convert::ConvertResult::ErrorGetData: return "ErrorGetData";
    case convert::ConvertResult::ErrorWriting: return "ErrorWriting";
    case convert::ConvertResult::Cancelled: return "Cancelled";
    case convert::ConvertResult::StartPastEnd: return "StartPastEnd";
    case convert::ConvertResult::OutputIsInput: return "OutputIsInput";
  }
  return "?";
}

constexpr std::chrono::seconds kScanLimit{60};
constexpr auto kPreviewTime = std::chrono::milliseconds(500);
// The loop runs from 0.1 s to 0.25 s (a quarter to a half of a shorter file).
constexpr double kLoopFrom = 0.1, kLoopTo = 0.25;

// The whole road of one file; runs in the child. Returns "key=value" lines.
std::string SweepOne(const std::string& path, const std::string& ringtone) {
  std::ostringstream r;
  if (!audio::Init(-1, 44100, 0, nullptr)) return "init=failed\n";
  {
    e2e::WindowSession session;
    auto& c = session.shared.controls;
    c.loop = true;
    c.fadeIn = true;
    c.fadeInSeconds = 1;
    c.fadeOut = true;
    c.fadeOutSeconds = 1;

    auto t = Clock::now();
    const bool both = session.Open(path);
    const audio::Handle play = session.shared.playStream.load();
    r << "open_ms=" << Ms(t) << "\n";
    r << "opened=" << (play != 0) << "\nopen_error=" << session.openError << "\nscan_started=" << both << "\n";
    double seconds = 0;
    if (play != 0) {
      seconds = audio::ChannelBytes2Seconds(play, session.length);
      r << "rate=" << session.shared.format.rate.load() << "\nchannels=" << session.shared.format.channels.load()
        << "\nseconds=" << seconds << "\nbytes_per_pixel=" << session.bytesPerPixel.load() << "\n";
      session.Select(kLoopFrom, kLoopTo);
      r << "sel_start=" << session.shared.selStart.load() << "\nsel_end=" << session.shared.selEnd.load()
        << "\nloop_slack=" << audio::ChannelSeconds2Bytes(play, 0.05) << "\n";

      // A file shorter than the moment it takes to select may have ended by now: Play starts
      // it again. A longer one may have played past the selection before it was set (a loaded
      // machine opens slowly): the user puts the position at the selection's start, as the
      // middle button does. The loop keeps the preview inside the selection from then on.
      preview::Transport transport(session.shared, session.effects);
      const bool ended = audio::ChannelIsActive(play) == audio::ACTIVE_STOPPED;
      if (ended) transport.btnplayClick(false);
      r << "preview_replayed=" << ended << "\n";
      audio::ChannelSetPosition(play, session.shared.selStart.load(), audio::POS_BYTE);
      // The preview plays while the scan runs.
      std::this_thread::sleep_for(kPreviewTime);
      r << "preview_active=" << audio::ChannelIsActive(play)
        << "\npreview_pos=" << audio::ChannelGetPosition(play, audio::POS_BYTE) << "\n";
    }

    // The conversion of the first seconds, on this thread as the window runs it, with the
    // preview still playing and every effect on.
    preview::RenderEffects render(session.shared);
    convert::RingtoneConverter converter(render);
    convert::ConvertRequest request;
    request.inputPath = path;
    request.outputPath = ringtone;
    request.command = convert::QuotedArgument(std::string(TW_PROGRAM_DIR) + "/faac") +
                      convert::BuildEncoderCommand(ringtone, {true, "Sweep", "Ombrix", "", "", "2026"})
                          .substr(std::strlen(convert::kEncoderProgram));
    request.startSeconds = 0;
    request.endSeconds = play != 0 ? std::clamp<int64_t>(static_cast<int64_t>(seconds), 1, 3) : 3;
    const int32_t bar = play != 0 ? session.barMaximum : 22050;
    request.effects = preview::EffectControls{true, 6, true, bar / 2, true, bar};
    int lastPercent = -1;
    converter.onProgress = [&](int p) { lastPercent = p; };
    t = Clock::now();
    const auto result = converter.ConvertToRingtone(request);
    r << "convert_ms=" << Ms(t) << "\nconvert=" << ResultName(result) << "\nconvert_end=" << request.endSeconds
      << "\nlast_percent=" << lastPercent << "\nringtone_exists=" << fs::exists(ringtone) << "\n";
    if (result == convert::ConvertResult::Done) {
      const std::string probe =
          twtest::CommandOutput("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels:"
                 "format=duration,format_name -of default=noprint_wrappers=1 '" + ringtone + "' 2>&1");
      r << "m4r_codec=" << Value(probe, "codec_name") << "\nm4r_rate=" << Value(probe, "sample_rate")
        << "\nm4r_channels=" << Value(probe, "channels") << "\nm4r_duration=" << Value(probe, "duration")
        << "\nm4r_format=" << Value(probe, "format_name") << "\n";
    }

    // The scan, given its time.
    t = Clock::now();
    while (session.loader.scanning() && Clock::now() - t < kScanLimit)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    r << "scan_finished=" << (both && !session.loader.scanning()) << "\n";
    bool inRange = false;
    const size_t written = session.WrittenPeaks(&inRange);
    r << "peaks_written=" << written << "\npeaks_in_range=" << inRange << "\n";
    session.Close();
  }
  audio::Free();
  return r.str();
}

Report Parse(const std::string& text) {
  Report out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

double Num(const Report& r, const std::string& key) {
  const auto it = r.find(key);
  return it == r.end() || it->second.empty() ? std::nan("") : std::atof(it->second.c_str());
}
std::string Str(const Report& r, const std::string& key) {
  const auto it = r.find(key);
  return it == r.end() ? "" : it->second;
}

std::chrono::milliseconds FileLimit() {
  const char* env = std::getenv("TW_SWEEP_LIMIT");  // seconds
  return std::chrono::milliseconds(env ? std::atoi(env) * 1000 : 180 * 1000);
}

// What must hold of one file's run beyond surviving it.
void CheckFile(const Fixture& f, const Report& r, double decoded) {
  SCOPED_TRACE(f.name);
  const bool opened = Str(r, "opened") == "1";
  const std::string conversion = Str(r, "convert");
  if (kNotAudio.count(f.name) != 0) {
    EXPECT_FALSE(opened);
    EXPECT_EQ(conversion, "ErrorCreatingStream");
  }
  // A conversion that did not finish leaves no file behind.
  if (conversion != "Done") {
    EXPECT_EQ(Str(r, "ringtone_exists"), "0");
  } else {
    EXPECT_EQ(Str(r, "m4r_codec"), "aac");
    EXPECT_EQ(Str(r, "m4r_rate"), "44100");
    EXPECT_EQ(Str(r, "m4r_channels"), "2");
    EXPECT_NE(Str(r, "m4r_format").find("mp4"), std::string::npos);
    EXPECT_LE(Num(r, "m4r_duration"), Num(r, "convert_end") + 0.05);
  }
  if (opened) {
    EXPECT_EQ(Str(r, "scan_finished"), "1");
    EXPECT_EQ(Str(r, "peaks_in_range"), "1");
  }
  if (!f.good()) return;

  // The good files: every step works.
  ASSERT_TRUE(opened) << "engine error " << Str(r, "open_error");
  EXPECT_EQ(Str(r, "scan_started"), "1");
  EXPECT_EQ(Num(r, "rate"), f.rate);
  EXPECT_EQ(Num(r, "channels"), f.channels);
  // The length is what ffmpeg decodes (ffprobe's duration is a header's estimate for some).
  EXPECT_NEAR(Num(r, "seconds"), decoded, 0.03);
  // A file of at least 537 x 0.02 s fills columns 1 to 536; a shorter one about one column per
  // 0.02 s of its length.
  if (decoded >= 537 * 0.02 + 0.05) {
    EXPECT_EQ(Num(r, "peaks_written"), 536);
  } else {
    EXPECT_NEAR(Num(r, "peaks_written"), std::floor(decoded / 0.02) + 1, 2);
  }
  // The loop holds the preview inside the selection.
  EXPECT_EQ(Num(r, "preview_active"), audio::ACTIVE_PLAYING);
  EXPECT_LE(Num(r, "preview_pos"), Num(r, "sel_end") + Num(r, "loop_slack"));
  ASSERT_EQ(conversion, "Done");
  if (decoded >= Num(r, "convert_end") + 0.05) {
    EXPECT_EQ(Num(r, "last_percent"), 100);
  }
  EXPECT_NEAR(Num(r, "m4r_duration"), std::min(decoded, Num(r, "convert_end")), 0.05);
}

TEST(Sweep, EveryFixtureSurvivesOpeningScanningPreviewAndConversion) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const auto fixtures = Manifest();
  ASSERT_GE(fixtures.size(), 50u) << "no manifest in " << twtest::FixtureDir();
  char tmpl[] = "/tmp/tw_sweep_XXXXXX";
  const fs::path outDir = mkdtemp(tmpl);
  const auto limit = FileLimit();

  int opened = 0, converted = 0, crashes = 0, hangs = 0, failedExits = 0;
  for (const auto& f : fixtures) {
    const std::string path = twtest::FixtureDir() + "/" + f.name;
    const std::string ringtone = (outDir / (f.name + ".m4r")).string();
    const e2e::Outcome o = e2e::RunIsolated([&] { return SweepOne(path, ringtone); }, limit);
    const Report r = Parse(o.report);
    std::printf("sweep: %-22s %-8s %5.1f s  open=%s scan=%s peaks=%s preview=%s convert=%s %s s\n", f.name.c_str(),
                e2e::KindName(o.kind), o.seconds, Str(r, "opened").c_str(), Str(r, "scan_finished").c_str(),
                Str(r, "peaks_written").c_str(), Str(r, "preview_active").c_str(), Str(r, "convert").c_str(),
                Str(r, "m4r_duration").c_str());
    switch (o.kind) {
      case e2e::Outcome::Finished: break;
      case e2e::Outcome::Crashed: ++crashes; break;
      case e2e::Outcome::Hung: ++hangs; break;
      case e2e::Outcome::FailedExit: ++failedExits; break;
    }
    EXPECT_EQ(o.kind, e2e::Outcome::Finished)
        << f.name << ": " << e2e::KindName(o.kind) << " (" << o.code << ") after " << o.seconds << " s";
    if (o.kind != e2e::Outcome::Finished) continue;
    opened += Str(r, "opened") == "1";
    converted += Str(r, "convert") == "Done";
    CheckFile(f, r, f.good() ? DecodedSeconds(path, f.rate, f.channels) : 0);
  }
  std::printf("sweep: %zu files, %d opened, %d converted, crashes %d\n", fixtures.size(), opened, converted,
              crashes);
  std::printf("sweep: hangs %d, failed exits (sanitizer reports, leaks) %d\n", hangs, failedExits);
  std::fflush(stdout);
  EXPECT_EQ(crashes, 0);
  EXPECT_EQ(hangs, 0);
  EXPECT_EQ(failedExits, 0);
  std::error_code ec;
  fs::remove_all(outDir, ec);
}

}  // namespace
