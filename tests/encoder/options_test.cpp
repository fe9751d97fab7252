#include "encoder/options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>
#include <vector>

namespace {

using encoder::ParseAction;
using encoder::ParseResult;

ParseResult Parse(std::initializer_list<std::string_view> args) {
  std::vector<std::string_view> v(args);
  return encoder::ParseCommandLine(v);
}

TEST(Options, TheConversionsCommandLine) {
  // faac -w --mpeg-vers 4 --title ... --year ... -o "path" -
  auto r = Parse({"-w", "--mpeg-vers", "4", "--title", "Intro", "--artist", "A", "--album", "B",
                  "--genre", "Rock", "--year", "2010", "-o", "/tmp/out put.m4r", "-"});
  ASSERT_EQ(r.action, ParseAction::Encode) << r.error;
  EXPECT_TRUE(r.options.mp4);
  EXPECT_EQ(r.options.input, "-");
  EXPECT_EQ(r.options.output, "/tmp/out put.m4r");
  EXPECT_EQ(r.options.tags.title, "Intro");
  EXPECT_EQ(r.options.tags.artist, "A");
  EXPECT_EQ(r.options.tags.album, "B");
  EXPECT_EQ(r.options.tags.genre, "Rock");
  EXPECT_EQ(r.options.tags.year, "2010");
  EXPECT_EQ(r.options.mode, encoder::RateMode::Bitrate);
  EXPECT_EQ(r.options.bitrate_kbps, 256);
}

TEST(Options, TagValuesAreTakenWholeEvenWithALeadingDash) {
  auto r = Parse({"-w", "--title", "-o", "--artist", "--year", "--album", "-",
                  "--genre", "--help", "--year", "-5", "-o", "x.m4a", "-"});
  ASSERT_EQ(r.action, ParseAction::Encode) << r.error;
  EXPECT_EQ(r.options.tags.title, "-o");
  EXPECT_EQ(r.options.tags.artist, "--year");
  EXPECT_EQ(r.options.tags.album, "-");
  EXPECT_EQ(r.options.tags.genre, "--help");
  EXPECT_EQ(r.options.tags.year, "-5");
  EXPECT_EQ(r.options.output, "x.m4a");
  EXPECT_EQ(r.options.input, "-");
}

TEST(Options, GetoptForms) {
  auto r = Parse({"-wb128", "--title=a=b", "-ofile.m4a", "--", "-input.wav"});
  ASSERT_EQ(r.action, ParseAction::Encode) << r.error;
  EXPECT_TRUE(r.options.mp4);
  EXPECT_EQ(r.options.bitrate_kbps, 128);
  EXPECT_EQ(r.options.tags.title, "a=b");
  EXPECT_EQ(r.options.output, "file.m4a");
  EXPECT_EQ(r.options.input, "-input.wav");
  // Options after the input are still options.
  r = Parse({"in.wav", "-w", "--overwrite", "-o", "o.m4a"});
  ASSERT_EQ(r.action, ParseAction::Encode) << r.error;
  EXPECT_EQ(r.options.input, "in.wav");
  EXPECT_TRUE(r.options.mp4);
}

TEST(Options, RateModeFollowsTheLaterOfBitrateAndQuality) {
  auto r = Parse({"-b", "96", "-q", "150", "-o", "o", "-"});
  ASSERT_EQ(r.action, ParseAction::Encode);
  EXPECT_EQ(r.options.mode, encoder::RateMode::Quality);
  EXPECT_EQ(r.options.quality, 150);
  r = Parse({"-q", "150", "-b", "96", "-o", "o", "-"});
  ASSERT_EQ(r.action, ParseAction::Encode);
  EXPECT_EQ(r.options.mode, encoder::RateMode::Bitrate);
  EXPECT_EQ(r.options.bitrate_kbps, 96);
}

TEST(Options, DefaultOutputFromANamedInput) {
  auto r = Parse({"-w", "music/song.wav"});
  ASSERT_EQ(r.action, ParseAction::Encode);
  EXPECT_EQ(r.options.output, "music/song.m4a");
  EXPECT_EQ(encoder::DefaultOutputName("dir.x/noext", false), "dir.x/noext.aac");
  EXPECT_EQ(encoder::DefaultOutputName(".hidden", true), ".hidden.m4a");
}

TEST(Options, HelpAndVersion) {
  EXPECT_EQ(Parse({"--help"}).action, ParseAction::Help);
  EXPECT_EQ(Parse({"-h"}).action, ParseAction::Help);
  EXPECT_EQ(Parse({"--version"}).action, ParseAction::Version);
  const std::string v = encoder::VersionText();
  EXPECT_NE(v.find("faac-compatible AAC encoder"), std::string::npos);
  EXPECT_NE(v.find("libavcodec"), std::string::npos);
  EXPECT_NE(v.find("Ombrix Tonewright"), std::string::npos);
}

TEST(Options, UsageErrors) {
  struct Case {
    std::vector<std::string_view> args;
    const char* expect;  // a part of the message
  };
  const std::vector<Case> cases = {
      {{"--bogus", "-o", "o", "-"}, "unknown option '--bogus'"},
      {{"-x", "-o", "o", "-"}, "unknown option '-x'"},
      {{"-w", "--title"}, "--title needs a value"},
      {{"-o"}, "-o needs a value"},
      {{"-b", "abc", "-o", "o", "-"}, "-b 'abc'"},
      {{"-b", "0", "-o", "o", "-"}, "-b '0'"},
      {{"-b", "128k", "-o", "o", "-"}, "-b '128k'"},
      {{"-q", "5", "-o", "o", "-"}, "-q '5'"},
      {{"--mpeg-vers", "2", "-o", "o", "-"}, "only MPEG version 4"},
      {{"-w", "-o", "o"}, "no input given"},
      {{"-q", "10", ""}, "input file name is empty"},  // found by fuzzing: a request to read ""
      {{"-w", "-o", "o", ""}, "input file name is empty"},
      {{"-w", "-"}, "needs an output file"},
      {{"-w", "--title", "My", "Song", "-o", "o", "-"}, "more than one input"},
      {{"-o", "-", "-"}, "standard output"},
      {{"--overwrite=yes", "-o", "o", "-"}, "takes no value"},
  };
  for (const auto& c : cases) {
    auto r = encoder::ParseCommandLine(c.args);
    EXPECT_EQ(r.action, ParseAction::Error) << c.expect;
    EXPECT_NE(r.error.find(c.expect), std::string::npos) << "message: " << r.error;
  }
}

}  // namespace
