// The part learnt during the waveform scan: the scan's own decoding feeds the features, a scan
// that reads the whole file publishes (from its worker) the part the command line finds for the
// same file, a stopped scan publishes nothing, and the next scan or a Clear forgets the last
// file's part, also while it is still being chosen.
#include <gtest/gtest.h>

#include <atomic>

#include "analysis/scan_suggestion.h"
#include "analysis/suggest_file.h"
#include "audio/engine.h"
#include "source/openers.h"
#include "support/fixtures.h"
#include "wave/peak_buffers.h"
#include "wave/scan.h"

namespace {

class ScanSuggestionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { audio::Free(); }

  // Scans `name` as the window does (537 columns), with the suggestion observing.
  void Scan(const char* name, bool cancelled = false) {
    const audio::Handle stream = source::OpenSourceStream(twtest::Fixture(name), source::kScanFlags);
    ASSERT_NE(stream, 0u) << name;
    const int64_t length = audio::ChannelGetLength(stream, audio::POS_BYTE);
    bpp = std::max(static_cast<uint32_t>(length / 537), static_cast<uint32_t>(audio::ChannelSeconds2Bytes(stream, 0.02)));
    std::atomic<bool> cancel{cancelled};
    wave::ScanPeaks(stream, wave::ScanTarget{&peaks, &bpp, &stop, &suggestion}, cancel);
  }

  wave::PeakBuffers peaks{537};
  std::atomic<uint32_t> bpp{0};
  std::atomic<bool> stop{false};
  analysis::ScanSuggestion suggestion;
};

TEST_F(ScanSuggestionTest, AWholeScanPublishesTheFilesPart) {
  for (const char* name : {"form_quiet_chorus.mp3", "form_ballad.wav", "short5s.wav"}) {
    Scan(name);
    const auto part = suggestion.WaitReady();
    ASSERT_TRUE(part.has_value()) << name;
    const auto alone = analysis::SuggestPartOfFile(twtest::Fixture(name));
    ASSERT_TRUE(alone.has_value()) << name;
    // The scan leaves at most a column's worth of bytes unread: the same part, give or take a pulse.
    EXPECT_NEAR(part->start, alone->part.start, 0.011) << name;
    EXPECT_NEAR(part->end, alone->part.end, 0.011) << name;
  }
}

TEST_F(ScanSuggestionTest, AStoppedScanPublishesNothingAndForgetsTheLastPart) {
  Scan("form_pop.wav");
  ASSERT_TRUE(suggestion.WaitReady().has_value());
  Scan("form_solo.wav", true);
  EXPECT_FALSE(suggestion.WaitReady().has_value());
  Scan("form_pop.wav");
  ASSERT_TRUE(suggestion.WaitReady().has_value());
  suggestion.Clear();
  EXPECT_FALSE(suggestion.Ready().has_value());
}

TEST_F(ScanSuggestionTest, APartStillBeingChosenIsForgotten) {
  // Cleared, or the next scan started, right after a whole scan: the worker choosing the first
  // file's part is waited for and its part does not outlive the Clear.
  Scan("form_pop.wav");
  suggestion.Clear();
  EXPECT_FALSE(suggestion.Ready().has_value());
  EXPECT_FALSE(suggestion.WaitReady().has_value());
  Scan("form_ballad.wav");
  Scan("form_solo.wav", true);
  EXPECT_FALSE(suggestion.WaitReady().has_value());
}

}  // namespace
