// Exact lengths: a prescanned length equals what a straight decode yields, and the files that
// record their encoder delay and padding come out at the source's 441000 frames.
#include <cstdio>
#include <string>

#include "decoder_test_helpers.h"

namespace {

using namespace dectest;

// The frame count ffmpeg's decode gave the fixture script (its manifest's), for files made by
// cutting others, whose count no source gives.
constexpr int64_t kFfmpegDecode = -2;

struct LengthCase {
  const char* name;
  int64_t frames;  // the source's frame count when the file records its trims, kFfmpegDecode; -1: none known
};

class PrescanLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(PrescanLength, EqualsStraightDecode) {
  const LengthCase& c = GetParam();
  auto dec = OpenFixture(c.name, true);
  ASSERT_TRUE(dec) << c.name;
  const int64_t length = dec->LengthFrames();
  const auto samples = ReadAll<int16_t>(*dec, 1000);
  const int64_t decoded = static_cast<int64_t>(samples.size() / dec->Channels());
  EXPECT_EQ(length, decoded) << c.name;
  EXPECT_TRUE(dec->AtEnd());
  if (c.frames >= 0) {
    EXPECT_EQ(length, c.frames) << c.name;
  }
  if (c.frames == kFfmpegDecode) {
    const int64_t ffmpeg = twtest::ManifestFrames(c.name);
    ASSERT_GT(ffmpeg, 0) << c.name;
    EXPECT_EQ(length, ffmpeg) << c.name;
  }

  // Without a prescan the length is an estimate, but the decode itself is the same.
  auto plain = OpenFixture(c.name, false);
  ASSERT_TRUE(plain);
  const auto again = ReadAll<int16_t>(*plain, 1000);
  EXPECT_GE(again.size(), samples.size()) << c.name;
  if (again.size() >= samples.size()) {
    EXPECT_EQ(0, MaxDiff(again.data(), samples.data(), samples.size())) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, PrescanLength,
    ::testing::Values(LengthCase{"ref.wav", 441000}, LengthCase{"ref24.wav", 441000},
                      LengthCase{"ref_f32.wav", 441000}, LengthCase{"ref.aiff", 441000},
                      LengthCase{"ref.flac", 441000}, LengthCase{"ref.ape", 441000},
                      LengthCase{"ref_alac.m4a", 441000}, LengthCase{"ref.alac", 441000},
                      LengthCase{"ref.mp3", 441000}, LengthCase{"ref_vbr.mp3", 441000},
                      LengthCase{"ref.ogg", 441000}, LengthCase{"ref.m4a", 441000},
                      LengthCase{"ref.mp4", 441000}, LengthCase{"ref_pns.m4a", 441000},
                      LengthCase{"ref.mpc", -1}, LengthCase{"ref.wma", -1},
                      LengthCase{"ref_notag.mp3", -1}, LengthCase{"ref.mp2", -1},
                      LengthCase{"ref.aac", -1}, LengthCase{"ref.ac3", -1},
                      LengthCase{"surround51.ac3", -1}, LengthCase{"surround51.wav", 480000},
                      LengthCase{"ref.m4b", 441000}, LengthCase{"ref.mp1", -1},
                      LengthCase{"sec53_9.ogg", 2376990}, LengthCase{"tiny7ms.wav", 308},
                      LengthCase{"mono.wav", 441000}, LengthCase{"96k.wav", 960000},
                      LengthCase{"8k.wav", 80000}, LengthCase{"ref.mod", -1}, LengthCase{"ref.s3m", -1},
                      LengthCase{"ref.xm", -1}, LengthCase{"ref.it", -1}, LengthCase{"ref.opus", 480000},
                      LengthCase{"late_start.ogg", 441000}, LengthCase{"cut_start.ogg", kFfmpegDecode},
                      // The sound of videos and other containers.
                      LengthCase{"ref_video.mp4", 441000}, LengthCase{"ref.mov", 441000}, LengthCase{"ref.3gp", 441000},
                      LengthCase{"ref.avi", kFfmpegDecode}, LengthCase{"ref.mkv", kFfmpegDecode},
                      LengthCase{"ref.webm", kFfmpegDecode}, LengthCase{"ref_opus.webm", kFfmpegDecode},
                      LengthCase{"ref.mka", 441000}, LengthCase{"ref.caf", 441000}, LengthCase{"ref.wv", 441000},
                      LengthCase{"ref.tta", 441000}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n) {
        if (ch == '.') ch = '_';
      }
      return n;
    });

// A 1-KiB tracker module (found by fuzzing) whose patterns loop for 2 h 29 min 30 s: its length is
// the one the renderer reports, not a whole rendering, which would keep the opening busy for
// many seconds; reading stops there.
TEST(PrescanLength, ASongLongerThanTheRenderingLimitKeepsItsReportedLength) {
  DecoderOptions options;
  options.prescan = true;
  int error = 0;
  auto dec = FileDecoder::Open(TW_SOURCE_DIR "/fuzz/corpus/open_decode_fuzz/long_song.it", options, &error);
  ASSERT_TRUE(dec) << error;
  EXPECT_EQ(dec->LengthFrames(), int64_t{8970} * 48000);
  ASSERT_TRUE(dec->Seek(1000));
  std::vector<int16_t> piece(2 * 1000);
  EXPECT_EQ(dec->Read(piece.data(), 1000), 1000u);

  // Where the limit is lower than a song's reported length, that song is not rendered either:
  // its length is the reported one, and reads stop there although the renderer runs on.
  options.longest_rendered_seconds = 1;
  auto limited = FileDecoder::Open(twtest::Fixture("ref.it"), options, &error);
  auto rendered = OpenFixture("ref.it", true);
  auto plain = OpenFixture("ref.it", false);
  ASSERT_TRUE(limited && rendered && plain);
  EXPECT_FALSE(limited->LengthIsEstimate());
  EXPECT_EQ(limited->LengthFrames(), plain->LengthFrames());
  EXPECT_GT(rendered->LengthFrames(), limited->LengthFrames());
  EXPECT_EQ(static_cast<int64_t>(ReadAll<int16_t>(*limited, 1000).size() / 2), limited->LengthFrames());
}

}  // namespace
