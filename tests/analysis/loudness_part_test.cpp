// The part's loudness through the conversion's render path, against ffmpeg's ebur128 on the same
// seconds; and Level end to end: its gain rendered into a real ringtone, which ffmpeg then reads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "analysis/level_rule.h"
#include "analysis/loudness_part.h"
#include "audio/engine.h"
#include "convert/encoder_command.h"
#include "convert/ringtone_converter.h"
#include "preview/preview_state.h"
#include "preview/render_effects.h"
#include "support/ffmpeg_loudness.h"
#include "support/fixtures.h"

namespace {

using analysis::MeasurePart;
using analysis::PartRequest;
namespace fs = std::filesystem;

class LoudnessPartTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { audio::Free(); }
  static PartRequest Part(const std::string& name, double start, double end) {
    PartRequest r;
    r.inputPath = twtest::Fixture(name);
    r.startSeconds = start;
    r.endSeconds = end;
    return r;
  }
};

TEST_F(LoudnessPartTest, AgreesWithFfmpegOnTheSameSeconds) {
  struct Case {
    const char* name;
    double start, end;
  } const cases[] = {
      {"quiet24.wav", 2, 17}, {"hot_master.wav", 5, 15}, {"ref.mp3", 1.5, 8.5},
      {"22k.wav", 1, 9},      {"song.mp3", 60, 90},
  };
  for (const auto& c : cases) {
    const auto ours = MeasurePart(Part(c.name, c.start, c.end));
    ASSERT_TRUE(ours) << c.name;
    const twtest::FfmpegLoudness theirs = twtest::FfmpegEbur128(twtest::Fixture(c.name), c.start, c.end - c.start);
    ASSERT_TRUE(theirs.ok) << c.name;
    EXPECT_NEAR(ours->shown.integrated, theirs.integrated, 0.5) << c.name;
    EXPECT_NEAR(ours->shown.truePeak, theirs.truePeak, 0.5) << c.name;
    EXPECT_EQ(ours->bare.integrated, ours->shown.integrated) << c.name;
  }
}

TEST_F(LoudnessPartTest, TheGainMovesTheLevelsOrIsMeasuredWhereItClips) {
  struct Case {
    const char* name;
    int32_t gain;
    bool fadeIn;
    bool clips;  // said beside the levels
  } const cases[] = {
      {"quiet24.wav", 10, false, false},    // derived from the pass without it
      {"quiet24.wav", 10, true, false},     // under a fade: measured
      {"quiet24.wav", -6, true, false},     // lowering never clips: derived
      {"hot_master.wav", 3, false, true},   // clips: measured
      {"hot_master.wav", 12, true, true},   // clips under a fade too
  };
  for (const auto& c : cases) {
    PartRequest r = Part(c.name, 2, 12);
    r.fadeIn = c.fadeIn;
    r.fadeInSeconds = 3;
    r.effects.gain = true;
    r.effects.gainPosition = c.gain;
    const auto ours = MeasurePart(r);
    ASSERT_TRUE(ours);
    // The ringtone's own levels: the same part rendered with the gain and measured, independently.
    r.effects.gain = false;
    const auto bare = MeasurePart(r);
    ASSERT_TRUE(bare);
    EXPECT_DOUBLE_EQ(ours->bare.integrated, bare->bare.integrated) << c.name << " " << c.gain;
    EXPECT_EQ(ours->clips, c.clips) << c.name << " " << c.gain;
    if (std::string(c.name) == "hot_master.wav") {
      // Clipping takes off what a gain would add: less than 3 dB louder, the peak near full scale.
      EXPECT_LT(ours->shown.integrated, bare->bare.integrated + c.gain - 0.1);
      EXPECT_LT(ours->shown.samplePeak, 0.01);
    } else {
      EXPECT_NEAR(ours->shown.integrated, bare->bare.integrated + c.gain, 0.05) << c.name << " " << c.gain;
    }
  }
}

TEST_F(LoudnessPartTest, ACancelledMeasurementGivesNothing) {
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(MeasurePart(Part("quiet24.wav", 0, 10), &cancel));
  EXPECT_FALSE(MeasurePart(Part("random.mp3", 0, 10)));
}

// Level's gain written into a ringtone by the real encoder, which ffmpeg then measures.
TEST_F(LoudnessPartTest, LevelledRingtonesReachTheTargetOrStayUnderTheCeiling) {
  struct Case {
    const char* name;
    int32_t gain;  // what the rule gives for the fixture's levels
  } const cases[] = {{"quiet24.wav", 10}, {"quiet30.wav", 12}, {"hot_master.wav", -5}, {"fullscale.wav", -6}};
  const fs::path out = fs::temp_directory_path() / ("tw_level_" + std::to_string(::getpid()) + ".m4r");
  for (const auto& c : cases) {
    const PartRequest part = Part(c.name, 2, 18);
    const auto measured = MeasurePart(part);
    ASSERT_TRUE(measured) << c.name;
    const int32_t gain = analysis::LevelGain(measured->bare);
    EXPECT_EQ(gain, c.gain) << c.name << ": " << measured->bare.integrated << " LUFS, " << measured->bare.truePeak << " dBTP";

    preview::PreviewShared shared;
    shared.controls.fadeIn = false;
    preview::RenderEffects render(shared, true);
    convert::RingtoneConverter converter(render);
    convert::ConvertRequest request;
    request.inputPath = part.inputPath;
    request.startSeconds = part.startSeconds;
    request.endSeconds = part.endSeconds;
    request.effects.gain = true;
    request.effects.gainPosition = gain;
    request.outputPath = out.string();
    request.command = convert::QuotedArgument(std::string(TW_PROGRAM_DIR) + "/faac") +
                      convert::BuildEncoderCommand(out.string(), {}).substr(std::strlen(convert::kEncoderProgram));
    ASSERT_EQ(converter.ConvertToRingtone(request), convert::ConvertResult::Done) << c.name;
    const twtest::FfmpegLoudness ringtone = twtest::FfmpegEbur128(out.string());
    fs::remove(out);
    ASSERT_TRUE(ringtone.ok) << c.name;
    if (c.gain > 0) {
      // -30 LUFS gets the slider's top, 12 dB: -18.
      const double expected = c.gain < analysis::kGainMaxDb ? -14.0 : measured->bare.integrated + c.gain;
      EXPECT_NEAR(ringtone.integrated, expected, 1.0) << c.name;
    }
    // Below the ceiling once encoded (at -2 dB the hot master's ringtone read -0.8 dBTP).
    EXPECT_LT(ringtone.truePeak, -1.0) << c.name << " with " << gain << " dB";
  }
}

}  // namespace
