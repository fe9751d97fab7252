// Which opener takes which file, what bad files do, and the output format (rate, channels,
// 16-bit against float), checked against ffprobe and ffmpeg where an independent view exists.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "decoder_test_helpers.h"
#include "support/command.h"

namespace {

using namespace dectest;

struct FamilyCase {
  Family family;
  const char* label;
  std::vector<const char*> accepted;
  std::vector<const char*> rejected;
};

class NamedOpener : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(NamedOpener, TakesItsFamilyOnly) {
  const FamilyCase& c = GetParam();
  for (const char* name : c.accepted) {
    int error = -99;
    auto dec = OpenFixture(name, false, SampleKind::S16, c.family, &error);
    EXPECT_TRUE(dec) << c.label << " should open " << name << " (error " << error << ")";
    EXPECT_EQ(error, audio::ERROR_OK);
  }
  for (const char* name : c.rejected) {
    int error = 0;
    auto dec = OpenFixture(name, true, SampleKind::S16, c.family, &error);
    EXPECT_FALSE(dec) << c.label << " should reject " << name;
    EXPECT_TRUE(error == audio::ERROR_FILEFORM || error == audio::ERROR_NOTAUDIO || error == audio::ERROR_DAMAGED)
        << name << ": " << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Families, NamedOpener,
    ::testing::Values(
        FamilyCase{Family::WMA, "WMA", {"ref.wma"}, {"ref.mp3", "ref.m4a", "ref.wav"}},
        FamilyCase{Family::APE, "APE", {"ref.ape"}, {"ref.flac", "ref.wav", "ref.mpc"}},
        FamilyCase{Family::AC3, "AC3", {"ref.ac3", "surround51.ac3"}, {"ref.mp3", "ref.aac", "ref.wav"}},
        FamilyCase{Family::ALAC, "ALAC", {"ref_alac.m4a", "ref.alac"}, {"ref.m4a", "ref.flac", "ref.wav"}},
        FamilyCase{Family::AAC, "AAC", {"ref.aac"}, {"ref.m4a", "ref.mp3", "ref.ac3"}},
        FamilyCase{Family::MP4, "MP4", {"ref.m4a", "ref.mp4", "ref.m4b", "ref_alac.m4a", "ref.alac"},
                   {"ref.aac", "ref.mp3", "ref.wma"}},
        FamilyCase{Family::MPC, "MPC", {"ref.mpc"}, {"ref.mp3", "ref.ogg", "ref.ape"}},
        FamilyCase{Family::FLAC, "FLAC", {"ref.flac"}, {"mp3_as.flac", "ref.ogg", "ref.wav", "ref.ape"}},
        FamilyCase{Family::Any, "Any",
                   {"ref.wav", "ref.mp3", "ref.mp2", "ref.mp1", "ref.ogg", "ref.aiff", "ref.wma", "ref.ape",
                    "ref.flac", "ref.mpc", "ref.aac", "ref.m4a", "ref.alac", "ref.ac3", "ref.mod", "ref.s3m",
                    "ref.xm", "ref.it", "mp3_as.flac", "mp3_as.ogg"},
                   {"empty.mp3", "empty.wav", "text.wav", "notes.txt", "header_only.wav", "silent_video.mp4"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(BadFiles, MissingFileIsAFileOpenError) {
  int error = 0;
  DecoderOptions options;
  EXPECT_FALSE(FileDecoder::Open("/nonexistent/dir/x.mp3", options, &error));
  EXPECT_EQ(error, audio::ERROR_FILEOPEN);
  EXPECT_FALSE(FileDecoder::Open(twtest::FixtureDir(), options, &error));  // a folder
}

// Random bytes and truncated files: they either fail to open or decode to an end, never past
// what they hold, and a read after the end stays at 0.
TEST(BadFiles, DamagedFilesEndCleanly) {
  for (const char* name : {"random.mp3", "random.ogg", "random.wav", "truncated.mp3", "truncated.flac",
                           "truncated.m4a"}) {
    for (const bool prescan : {false, true}) {
      auto dec = OpenFixture(name, prescan);
      if (!dec) continue;
      const auto all = ReadAll<int16_t>(*dec, 1103);
      EXPECT_LE(all.size() / dec->Channels(), 441000u * 2) << name;
      EXPECT_TRUE(dec->AtEnd()) << name;
      int16_t spare[64];
      EXPECT_EQ(dec->Read(spare, 8), 0u) << name;
      if (dec->LengthFrames() > 0) {
        dec->Seek(dec->LengthFrames() / 2);  // may fail on damage, must not hang
        dec->Seek(0);
      }
    }
  }
  // The intact first halves decode.
  for (const char* name : {"truncated.mp3", "truncated.flac"}) {
    auto dec = OpenFixture(name, true);
    ASSERT_TRUE(dec) << name;
    const auto all = ReadAll<int16_t>(*dec);
    EXPECT_GT(all.size() / 2, 150000u) << name;
    EXPECT_LT(all.size() / 2, 441000u) << name;
  }
}

// How much a child process's peak memory grew, in KiB, while it opened `path` with every
// opener of the engine, as preview, scan and conversion stream; -1 when the child failed.
long OpenersPeakGrowthKiB(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    long grown = -1;
    if (audio::Init(-1, 44100, 0, nullptr)) {
      rusage before{};
      getrusage(RUSAGE_SELF, &before);
      for (auto* opener : {audio::StreamCreateFile, audio::WMA_StreamCreateFile, audio::APE_StreamCreateFile,
                           audio::AC3_StreamCreateFile, audio::ALAC_StreamCreateFile, audio::AAC_StreamCreateFile,
                           audio::MP4_StreamCreateFile, audio::MPC_StreamCreateFile, audio::FLAC_StreamCreateFile}) {
        for (const uint32_t flags : {audio::STREAM_PRESCAN, audio::STREAM_DECODE | audio::STREAM_PRESCAN,
                                     audio::STREAM_DECODE | audio::SAMPLE_FLOAT}) {
          if (const audio::Handle h = opener(path.c_str(), 0, 0, flags)) audio::StreamFree(h);
        }
      }
      rusage after{};
      getrusage(RUSAGE_SELF, &after);
      grown = after.ru_maxrss - before.ru_maxrss;
      audio::Free();
    }
    const ssize_t written = write(fds[1], &grown, sizeof grown);
    _exit(written == sizeof grown ? 0 : 1);
  }
  close(fds[1]);
  long grown = -1;
  if (pid < 0 || read(fds[0], &grown, sizeof grown) != sizeof grown) grown = -1;
  close(fds[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return grown;
}

// Tiny files whose headers claim what no file needs: an INFO tag of 2 GB (a fuzzer's find,
// which the demuxer would allocate and clear) and a rate of 2 GHz (which sizes the engine's
// stream buffers). Whatever an opener makes of them costs little memory.
TEST(BadFiles, HeadersClaimingGigabytesCostLittle) {
  std::string wide = "RIFF";
  const auto le = [&wide](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) wide.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  le(36 + 4096, 4);
  wide += "WAVEfmt ";
  le(16, 4), le(1, 2), le(32, 2), le(2000000000, 4), le(0, 4), le(64, 2), le(16, 2);
  wide += "data";
  le(4096, 4);
  wide.append(4096, '\0');
  const std::string rate_path = ::testing::TempDir() + "claims_2ghz.mp4";
  std::ofstream(rate_path, std::ios::binary) << wide;
  for (const std::string& path : {std::string(TW_SOURCE_DIR "/fuzz/corpus/open_m4a_fuzz/claims_2gb.wav"), rate_path}) {
    const long grown = OpenersPeakGrowthKiB(path);
    EXPECT_GE(grown, 0) << path;
    EXPECT_LT(grown, 64 * 1024) << path;
  }
  std::remove(rate_path.c_str());
}

TEST(Format, RateAndChannelsAgreeWithFfprobe) {
  for (const char* name : {"ref.wav", "mono.wav", "8k.wav", "22k.wav", "48k_mono.wav", "96k.wav", "192k.wav",
                           "surround51.wav", "surround51.ac3", "ref.ogg", "ref.m4a", "ref.wma", "ref.mpc",
                           "ref.ape", "ref.mp1", "ref.mod"}) {
    const std::string path = twtest::Fixture(name);
    auto dec = OpenFixture(name, false);
    ASSERT_TRUE(dec) << name;
    const std::string probed = twtest::CommandOutput("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels "
                                   "-of csv=p=0 '" + path + "'");
    unsigned rate = 0, channels = 0;
    ASSERT_EQ(std::sscanf(probed.c_str(), "%u,%u", &rate, &channels), 2) << name << ": " << probed;
    EXPECT_EQ(dec->Rate(), rate) << name;
    EXPECT_EQ(dec->Channels(), channels) << name;
  }
  auto six = OpenFixture("surround51.ac3", true);
  ASSERT_TRUE(six);
  EXPECT_EQ(six->Channels(), 6u);
  EXPECT_EQ(six->Rate(), 48000u);
}

// A straight decode equals what the ffmpeg program makes of the file (it trims the same gapless
// information): bit for bit.
TEST(Format, StraightDecodeMatchesFfmpeg) {
  for (const char* name : {"ref.wav", "ref24.wav", "ref.flac", "ref.ape", "ref_alac.m4a", "ref.mp3", "ref.aiff",
                           "surround51.wav", "ref.mka", "ref.caf", "ref.wv", "ref.tta", "ref.avi"}) {
    const std::string path = twtest::Fixture(name);
    auto dec = OpenFixture(name, true);
    ASSERT_TRUE(dec) << name;
    const auto ours = ReadAll<int16_t>(*dec);
    const std::string theirs = twtest::CommandOutput("ffmpeg -v error -threads 1 -i '" + path + "' -f s16le -");
    ASSERT_EQ(theirs.size(), ours.size() * 2) << name;
    const auto* ref = reinterpret_cast<const int16_t*>(theirs.data());
    // ffmpeg truncates 24-bit to 16; this decoder rounds, so 24-bit may differ by one step.
    const double tolerance = std::string(name) == "ref24.wav" ? 1 : 0;
    EXPECT_LE(MaxDiff(ours.data(), ref, ours.size()), tolerance) << name;
  }
}

// The sound of videos and other lossy containers: the decode is ffmpeg's over the frames both give
// (within a step of rounding), and ends within 30 ms of ffmpeg's end (an MP4's edit list trims the
// encoder's padding, which ffmpeg's decode keeps).
TEST(Format, ContainersDecodeAsFfmpegDecodesThem) {
  for (const char* name : {"ref_video.mp4", "ref.mov", "ref.3gp", "ref.mkv", "ref.webm", "ref_opus.webm"}) {
    auto dec = OpenFixture(name, true);
    ASSERT_TRUE(dec) << name;
    const auto ours = ReadAll<int16_t>(*dec);
    const std::string theirs = twtest::CommandOutput("ffmpeg -v error -threads 1 -i '" + twtest::Fixture(name) +
                                                     "' -map 0:a:0 -f s16le -");
    const size_t common = std::min(ours.size(), theirs.size() / 2);
    EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(theirs.size() / 2),
                0.030 * dec->Rate() * dec->Channels()) << name;
    EXPECT_LE(MaxDiff(ours.data(), reinterpret_cast<const int16_t*>(theirs.data()), common), 1) << name;
  }
}

TEST(Format, FloatAgreesWithSixteenBit) {
  for (const char* name : {"ref.mp3", "ref.ogg", "ref.m4a", "ref.flac", "ref.wav", "ref24.wav", "ref_f32.wav",
                           "fullscale.wav", "surround51.ac3"}) {
    auto s = OpenFixture(name, true, SampleKind::S16);
    auto f = OpenFixture(name, true, SampleKind::F32);
    ASSERT_TRUE(s && f) << name;
    EXPECT_EQ(s->LengthFrames(), f->LengthFrames());
    const auto a = ReadAll<int16_t>(*s);
    const auto b = ReadAll<float>(*f);
    ASSERT_EQ(a.size(), b.size()) << name;
    double worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      const double want = std::clamp(std::nearbyint(b[i] * 32768.0), -32768.0, 32767.0);
      worst = std::max(worst, std::abs(want - a[i]));
    }
    EXPECT_LE(worst, 1) << name;  // ties of 24-bit sources round up in 16 bits, to even in float
  }
}

}  // namespace
