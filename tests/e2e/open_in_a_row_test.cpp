// A hundred files opened one after another, each while the previous file's scan is still running
// and its preview is playing with the effects and a loop, as a user dropping file after file on
// the input box does. Every opening first stops the running scan and waits for it, as the window
// does; afterwards the waveform of the last file must be exactly what a scan of it alone gives,
// and the engine must still convert.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "convert/encoder_command.h"
#include "convert/ringtone_converter.h"
#include "preview/render_effects.h"
#include "support/fixtures.h"
#include "window_session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The fixture names of the manifest, good and bad alike, in its order.
std::vector<std::string> FixtureNames() {
  std::vector<std::string> names;
  std::ifstream in(twtest::FixtureDir() + "/manifest.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line))
    if (const auto tab = line.find('\t'); tab != std::string::npos) names.push_back(line.substr(0, tab));
  return names;
}

class OpenInARowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr));
  }
  void TearDown() override { audio::Free(); }
};

// The scan of one file alone, into fresh buffers, with the bytesPerPixel the window would use.
std::vector<int16_t> LoneScan(const std::string& path, uint32_t bytesPerPixel) {
  wave::PeakBuffers peaks(e2e::kColumns);
  for (size_t i = 0; i < peaks.size(); ++i) {
    peaks.setLeft(i, e2e::kUnwritten);
    peaks.setRight(i, e2e::kUnwritten);
  }
  const std::atomic<uint32_t> bpp{bytesPerPixel};
  const std::atomic<bool> stop{false}, cancel{false};
  const audio::Handle scan = source::SourceOpener(source::LowerExtension(path))(path.c_str(), 0, 0, source::kScanFlags);
  EXPECT_NE(scan, 0u);
  wave::ScanPeaks(scan, wave::ScanTarget{&peaks, &bpp, &stop}, cancel);
  std::vector<int16_t> out;
  for (size_t i = 0; i < peaks.size(); ++i) {
    out.push_back(peaks.left(i));
    out.push_back(peaks.right(i));
  }
  return out;
}

TEST_F(OpenInARowTest, AHundredFilesWhileTheScansAndPreviewsRun) {
  const auto names = FixtureNames();
  ASSERT_GE(names.size(), 50u) << "no manifest in " << twtest::FixtureDir();
  e2e::WindowSession session;
  session.shared.controls.loop = true;
  session.shared.controls.fadeOut = true;
  session.shared.controls.fadeOutSeconds = 1;

  constexpr int kFiles = 100;
  int opened = 0, scansCut = 0;
  double totalMs = 0, worstMs = 0;
  audio::Handle previous = 0;
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = twtest::FixtureDir() + "/" + names[static_cast<size_t>(i) % names.size()];
    SCOPED_TRACE(path);
    const auto t = Clock::now();
    scansCut += session.loader.scanning();
    session.Close();
    // Stopped means ended: the buffers are the next scan's alone.
    EXPECT_FALSE(session.loader.scanning());
    if (previous != 0) {
      audio::ChannelInfo info;
      EXPECT_FALSE(audio::ChannelGetInfo(previous, &info)) << "the previous preview stream is still open";
    }
    const bool both = session.Open(path);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    totalMs += ms;
    worstMs = std::max(worstMs, ms);
    previous = session.shared.playStream.load();
    if (previous == 0) continue;
    ++opened;
    EXPECT_TRUE(both);
    session.Select(0.1, 0.25);
    // Into the selection, however far a loaded machine let the preview play before it was set:
    // the loop holds it there.
    audio::ChannelSetPosition(previous, session.shared.selStart.load(), audio::POS_BYTE);
    // The user plays with the effects while the file plays.
    if (i % 3 == 0) session.effects.checkgainClick(i % 2 == 0, -6);
    if (i % 4 == 0) session.effects.clowpassClick(false, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(i % 5 * 4));
    // Still playing when the next file comes (a file of a few milliseconds may have ended).
    if (audio::ChannelBytes2Seconds(previous, session.length) > 1) {
      EXPECT_NE(audio::ChannelIsActive(previous), audio::ACTIVE_STOPPED);
    }
  }

  // The last file, long enough to fill every column, scanned to its end.
  session.Close();
  const std::string ref = twtest::Fixture("sec60.wav");
  session.ClearPeaks();
  ASSERT_TRUE(session.Open(ref));
  const auto t = Clock::now();
  while (session.loader.scanning() && Clock::now() - t < std::chrono::seconds(60))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(session.loader.scanning());
  std::vector<int16_t> got;
  for (size_t i = 0; i < session.peaks.size(); ++i) {
    got.push_back(session.peaks.left(i));
    got.push_back(session.peaks.right(i));
  }
  EXPECT_EQ(got, LoneScan(ref, session.bytesPerPixel.load()));
  EXPECT_EQ(session.WrittenPeaks(), 536u);

  // The engine still converts, with the preview playing.
  const fs::path out = fs::temp_directory_path() / ("tw_in_a_row_" + std::to_string(::getpid()) + ".m4r");
  preview::RenderEffects render(session.shared);
  convert::RingtoneConverter converter(render);
  convert::ConvertRequest request;
  request.inputPath = ref;
  request.outputPath = out.string();
  request.command = convert::QuotedArgument(std::string(TW_PROGRAM_DIR) + "/faac") + " -w -o " +
                    convert::QuotedArgument(out.string()) + " -";
  request.startSeconds = 1;
  request.endSeconds = 3;
  EXPECT_EQ(converter.ConvertToRingtone(request), convert::ConvertResult::Done);
  EXPECT_GT(fs::exists(out) ? fs::file_size(out) : 0, 1000u);
  fs::remove(out);
  session.Close();

  std::printf("open in a row: %d files, %d opened, %d scans cut short, %.1f ms per open (worst %.1f ms)\n", kFiles,
              opened, scansCut, totalMs / kFiles, worstMs);
  EXPECT_GE(opened, kFiles / 2);
  EXPECT_GT(scansCut, 0) << "no opening came while a scan was running";
}

}  // namespace
