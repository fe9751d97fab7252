// The encoder's command line: order, option texts, tags, and values that arrive whole through
// the engine's command-line splitter whatever they hold.
#include <gtest/gtest.h>

#include "audio/cmdline.h"
#include "convert/encoder_command.h"

namespace {

using convert::BuildEncoderCommand;
using convert::TagFields;

TEST(EncoderCommand, WithoutTagsOrWithTheBoxUnchecked) {
  const std::string plain = "faac -w --mpeg-vers 4 -o \"/home/u/Ombrix.m4r\" -";
  EXPECT_EQ(BuildEncoderCommand("/home/u/Ombrix.m4r", TagFields{}), plain);
  TagFields unchecked{false, "Intro", "Band", "LP", "Rock", "2010"};
  EXPECT_EQ(BuildEncoderCommand("/home/u/Ombrix.m4r", unchecked), plain);
  TagFields empty{true, "", "", "", "", ""};
  EXPECT_EQ(BuildEncoderCommand("/home/u/Ombrix.m4r", empty), plain);
}

TEST(EncoderCommand, TagsKeepTheirOrderBetweenTheVersionAndTheOutput) {
  TagFields some{true, "Intro", "", "", "", "2010"};
  EXPECT_EQ(BuildEncoderCommand("/t/a.m4r", some),
            "faac -w --mpeg-vers 4 --title \"Intro\" --year \"2010\" -o \"/t/a.m4r\" -");
  TagFields all{true, "T", "A", "B", "17", "Y"};
  EXPECT_EQ(BuildEncoderCommand("/t/a.m4r", all),
            "faac -w --mpeg-vers 4 --title \"T\" --artist \"A\" --album \"B\" --genre \"17\" "
            "--year \"Y\" -o \"/t/a.m4r\" -");
}

TEST(EncoderCommand, EveryValueArrivesAsOneArgumentExactlyAsTyped) {
  const std::string nasty[] = {"Two Words", "  ", "say \"hi\"", "back\\slash", "trail\\",
                               "trail\\\\", "\\\"", "-leading dash", "Ünïcødé ☎", "tab\there", ""};
  for (const std::string& v : nasty) {
    TagFields tags{true, v, v, v, v, v};
    const std::string path = "/tmp/out dir/" + v + ".m4r";
    const auto argv = audio::detail::SplitCommandLine(BuildEncoderCommand(path, tags));
    if (v.empty()) {
      ASSERT_EQ(argv.size(), 7u) << "value [" << v << "]";
    } else {
      ASSERT_EQ(argv.size(), 17u) << "value [" << v << "]";
      for (size_t i : {5u, 7u, 9u, 11u, 13u}) EXPECT_EQ(argv[i], v) << i;
      EXPECT_EQ(argv[4], "--title");
      EXPECT_EQ(argv[12], "--year");
    }
    EXPECT_EQ(argv[argv.size() - 2], path);
    EXPECT_EQ(argv.back(), "-");
    EXPECT_EQ(argv[0], "faac");
  }
}

}  // namespace
