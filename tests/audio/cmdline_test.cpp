// The Windows runtime's argument splitting and the quoting that inverts it.
#include <gtest/gtest.h>

#include <random>

#include "audio/cmdline.h"

using audio::detail::JoinCommandLine;
using audio::detail::QuoteArgument;
using audio::detail::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheRuntimeRules) {
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine("  \t "), Args{});
  EXPECT_EQ(SplitCommandLine("a  b\tc "), (Args{"a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine(R"("a b" c)"), (Args{"a b", "c"}));
  EXPECT_EQ(SplitCommandLine(R"(x"a b"y)"), (Args{"xa by"}));
  EXPECT_EQ(SplitCommandLine(R"("")"), (Args{""}));
  EXPECT_EQ(SplitCommandLine(R"(a "" b)"), (Args{"a", "", "b"}));
  // Backslashes: literal unless they precede a quote.
  EXPECT_EQ(SplitCommandLine(R"(C:\dir\file.m4r)"), (Args{R"(C:\dir\file.m4r)"}));
  EXPECT_EQ(SplitCommandLine(R"(a\\b)"), (Args{R"(a\\b)"}));
  // 2n backslashes + quote: n backslashes, the quote toggles.
  EXPECT_EQ(SplitCommandLine(R"("a\\" b)"), (Args{R"(a\)", "b"}));
  EXPECT_EQ(SplitCommandLine(R"(a\\\\"b c")"), (Args{R"(a\\b c)"}));
  // 2n+1 backslashes + quote: n backslashes and a literal quote.
  EXPECT_EQ(SplitCommandLine(R"(a\"b)"), (Args{R"(a"b)"}));
  EXPECT_EQ(SplitCommandLine(R"("a\\\"b c")"), (Args{R"(a\"b c)"}));
  // An unclosed quote runs to the end.
  EXPECT_EQ(SplitCommandLine(R"(a "b c)"), (Args{"a", "b c"}));
}

TEST(SplitCommandLine, TheConversionsCommand) {
  const auto args = SplitCommandLine(
      R"(faac.exe -w --mpeg-vers 4 --title Intro Song --year 2010 -o "C:\Users\me\My Music\Ombrix.m4r" -)");
  EXPECT_EQ(args, (Args{"faac.exe", "-w", "--mpeg-vers", "4", "--title", "Intro", "Song", "--year",
                        "2010", "-o", R"(C:\Users\me\My Music\Ombrix.m4r)", "-"}));
}

TEST(QuoteArgument, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(QuoteArgument("plain"), "plain");
  EXPECT_EQ(QuoteArgument(R"(a\b)"), R"(a\b)");
  EXPECT_EQ(QuoteArgument(""), R"("")");
  EXPECT_EQ(QuoteArgument("a b"), R"("a b")");
  EXPECT_EQ(QuoteArgument(R"(a"b)"), R"("a\"b")");
  EXPECT_EQ(QuoteArgument(R"(dir\ x\)"), R"("dir\ x\\")");
  EXPECT_EQ(QuoteArgument(R"(a\"b)"), R"("a\\\"b")");
}

TEST(QuoteArgument, RoundTripsThroughTheSplitter) {
  const Args fixed = {"", " ", "\t", "\"", "\\", "\\\"", "a\\\\\"", "\\\\", "x \\", "\"\"", "a b\\\\",
                      "tail\\", "C:\\Program Files\\", "quote \" inside", "\\\\server\\share"};
  for (const auto& a : fixed) {
    EXPECT_EQ(SplitCommandLine(QuoteArgument(a)), Args{a}) << "argument [" << a << "]";
  }
  EXPECT_EQ(SplitCommandLine(JoinCommandLine(fixed)), fixed);
  // Random arguments over the characters that matter.
  std::mt19937 rng(7);
  const std::string alphabet = "ab \\\"\t";
  for (int round = 0; round < 2000; ++round) {
    Args args(1 + rng() % 4);
    for (auto& a : args) {
      const size_t len = rng() % 9;
      for (size_t i = 0; i < len; ++i) a.push_back(alphabet[rng() % alphabet.size()]);
    }
    ASSERT_EQ(SplitCommandLine(JoinCommandLine(args)), args) << JoinCommandLine(args);
  }
}
