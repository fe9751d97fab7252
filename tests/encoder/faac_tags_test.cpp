// Tags written by the built faac, read back by ffprobe and from the file's own atoms.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "run_util.h"
#include "wav_maker.h"

namespace {

using namespace enctest;

std::string ShortWav() {
  WavSpec w;
  w.frames = 22050;
  w.data_size = DataSize::Unknown;
  return ToString(MakeWav(w));
}

TEST(FaacTags, ValuesArriveWhole) {
  TempDir dir;
  const std::string out = dir / "tagged.m4r";
  const std::string title = "  -Dash \"double\" 'single' \\back\\slash  ";
  const std::string artist = "Ünïcødé Ärtist — 日本語 ✓";
  const std::string album = "--album";
  const std::string genre = "-Synth Pop";
  const std::string year = "-2010 ";
  RunResult r = RunFaac(ConversionArgs(out, {"--title", title, "--artist", artist, "--album", album,
                                             "--genre", genre, "--year", year}),
                        ShortWav());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const Json tags = Probe(out)["format"]["tags"];
  EXPECT_EQ(tags["title"].text, title);
  EXPECT_EQ(tags["artist"].text, artist);
  EXPECT_EQ(tags["album"].text, album);
  EXPECT_EQ(tags["genre"].text, genre);
  EXPECT_EQ(tags["date"].text, year);
  // The standard iTunes atoms carry them.
  const std::string file = ReadFile(out);
  for (const char* atom : {"\xA9nam", "\xA9" "ART", "\xA9" "alb", "\xA9gen", "\xA9" "day"}) {
    EXPECT_NE(file.find(atom), std::string::npos) << atom + 1;
  }
  EXPECT_EQ(file.find("gnre"), std::string::npos);
}

// A genre of digits is kept as typed, as every other tag: not turned into the numeric ID3 genre
// atom, which ffprobe and players show as another genre ("17" as "Reggae", "192" as none).
TEST(FaacTags, AGenreOfDigitsIsKeptAsTyped) {
  TempDir dir;
  const std::string out = dir / "g.m4r";
  for (const char* genre : {"17", "192", "018", "500"}) {
    RunResult r = RunFaac(ConversionArgs(out, {"--title", "T", "--genre", genre}), ShortWav());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Json j = Probe(out);
    EXPECT_EQ(j["format"]["tags"]["genre"].text, genre);
    EXPECT_EQ(j["format"]["tags"]["title"].text, "T");
    const std::string file = ReadFile(out);
    EXPECT_NE(file.find("\xA9gen"), std::string::npos) << genre;
    EXPECT_EQ(file.find("gnre"), std::string::npos) << genre;
    // The file is a valid whole: ffprobe reads its full length.
    EXPECT_NEAR(j["format"]["duration"].num(), 0.5, 1024.0 / 44100);
  }
}

TEST(FaacTags, EightBitTextBecomesUtf8) {
  TempDir dir;
  const std::string out = dir / "latin.m4r";
  RunResult r = RunFaac(ConversionArgs(out, {"--title", "Caf\xE9 \x80"}), ShortWav());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Probe(out)["format"]["tags"]["title"].text, "Café €");
}

TEST(FaacTags, NoTagOptionsNoTags) {
  TempDir dir;
  const std::string out = dir / "plain.m4r";
  RunResult r = RunFaac(ConversionArgs(out), ShortWav());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const Json tags = Probe(out)["format"]["tags"];
  for (const char* key : {"title", "artist", "album", "genre", "date"}) EXPECT_FALSE(tags.has(key)) << key;
  EXPECT_EQ(tags["major_brand"].text, "M4A ");
}

TEST(FaacTags, EncoderDelayIsRecorded) {
  TempDir dir;
  const std::string out = dir / "e.m4r";
  ASSERT_EQ(RunFaac(ConversionArgs(out), ShortWav()).exit_code, 0);
  // iTunSMPB, for Apple's players: priming, padding and the input's 22050 samples, which with
  // the priming and padding fill whole AAC frames.
  const std::string smpb = Probe(out)["format"]["tags"]["iTunSMPB"].text;
  unsigned zero = 1, priming = 0, padding = 0;
  unsigned long long samples = 0;
  ASSERT_EQ(std::sscanf(smpb.c_str(), " %X %X %X %llX", &zero, &priming, &padding, &samples), 4) << smpb;
  EXPECT_EQ(zero, 0u);
  EXPECT_EQ(priming, 1024u);
  EXPECT_EQ(samples, 22050u);
  EXPECT_EQ((priming + padding + samples) % 1024, 0u);
  EXPECT_LT(padding, 1024u + 1024u);
  const std::string f = ReadFile(out);
  const size_t at = f.find("elst");
  ASSERT_NE(at, std::string::npos);
  auto be32 = [&](size_t p) {
    return (uint32_t(uint8_t(f[p])) << 24) | (uint32_t(uint8_t(f[p + 1])) << 16) |
           (uint32_t(uint8_t(f[p + 2])) << 8) | uint8_t(f[p + 3]);
  };
  EXPECT_EQ(be32(at + 8), 1u);      // one entry
  EXPECT_EQ(be32(at + 16), 1024u);  // media time: the encoder's 1024 priming samples skipped
}

}  // namespace
