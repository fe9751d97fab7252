// Failures of the built faac: a message naming cause and file, exit status 1 (2 for the command
// line), no output left behind and an existing target untouched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "run_util.h"
#include "wav_maker.h"

namespace {

using namespace enctest;

std::string GoodWav() {
  WavSpec w;
  w.frames = 22050;
  return ToString(MakeWav(w));
}

// Runs the conversion's command with `input` twice: into an empty folder (nothing may appear)
// and over an existing file (which must stay as it was).
void ExpectFailure(const std::string& input, const std::string& message_part,
                   const std::string& name_in_message) {
  SCOPED_TRACE(message_part);
  TempDir dir;
  const std::string out = dir / "tone.m4r";
  RunResult r = RunFaac(ConversionArgs(out), input);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find(message_part), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(name_in_message), std::string::npos) << r.err;
  EXPECT_TRUE(dir.Entries().empty()) << "left: " << (dir.Entries().empty() ? "" : dir.Entries()[0]);

  WriteFile(out, "the previous ringtone");
  r = RunFaac(ConversionArgs(out), input);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(ReadFile(out) == "the previous ringtone") << "the existing file was changed";
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"tone.m4r"});
}

TEST(FaacFailure, BadInputs) {
  const std::string good = GoodWav();
  ExpectFailure("", "empty input", "standard input");
  ExpectFailure(std::string(5000, 'x'), "not a WAV stream", "standard input");
  ExpectFailure(good.substr(0, 20), "truncated WAV header", "standard input");
  ExpectFailure(good.substr(0, 44), "no audio data", "standard input");
  ExpectFailure(good.substr(0, 46), "no audio data", "standard input");  // less than one frame
  // A stream that ends before its stated size (its writer died): no file, however much came.
  ExpectFailure(good.substr(0, good.size() - 400), "ends before the size its header gives", "standard input");
  WavSpec many;
  many.channels = 9;  // AAC-LC has channel configurations for up to 8
  many.frames = 1000;
  ExpectFailure(ToString(MakeWav(many)), "9 channels cannot be encoded", "tone.m4r");
  std::string adpcm = good;
  adpcm[20] = 2;
  ExpectFailure(adpcm, "unsupported WAV format tag 0x0002", "standard input");
}

TEST(FaacFailure, MissingInputFile) {
  TempDir dir;
  RunResult r = RunFaac({"-w", "-o", dir / "o.m4a", dir / "missing.wav"}, "");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("missing.wav: cannot open input"), std::string::npos) << r.err;
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(FaacFailure, UnwritableOutput) {
  TempDir dir;
  // A folder that does not exist.
  RunResult r = RunFaac(ConversionArgs(dir / "no/such/folder/tone.m4r"), GoodWav());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no/such/folder/tone.m4r: cannot create the output file"), std::string::npos)
      << r.err;
  // The target is a folder: the finished file cannot replace it; nothing is left.
  ASSERT_EQ(::mkdir((dir / "adir").c_str(), 0755), 0);
  r = RunFaac(ConversionArgs(dir / "adir"), GoodWav());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("adir: cannot replace the output file"), std::string::npos) << r.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"adir"});
  // A read-only folder (root ignores permissions, so only checked for other users).
  if (::geteuid() != 0) {
    ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0555), 0);
    r = RunFaac(ConversionArgs(dir / "ro/tone.m4r"), GoodWav());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  }
}

TEST(FaacFailure, AWriteErrorLeavesNothing) {
  // A file size limit makes the writes fail part way, as a full disk would.
  TempDir dir;
  const std::string out = dir / "tone.m4r";
  WriteFile(out, "old");
  WavSpec w;
  w.frames = 44100 * 20;
  RunResult r = enctest::Run(
      {"sh", "-c", "ulimit -f 64; exec \"$0\" \"$@\"", FaacPath(), "-w", "-o", out, "-"},
      ToString(MakeWav(w)));
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find("tone.m4r: cannot write the output file: File too large"), std::string::npos)
      << r.err;
  EXPECT_TRUE(ReadFile(out) == "old") << "the existing file was changed";
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"tone.m4r"});
}

template <int kSignal>
void KillMidStream(pid_t pid, void*) {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::kill(pid, kSignal);
}

// A terminating signal removes the temporary; SIGKILL cannot be caught, so the file must never
// have had a name.
TEST(FaacFailure, KilledMidStreamLeavesNoTemporaryFile) {
  for (const auto& [sig, kill] : {std::pair{SIGTERM, &KillMidStream<SIGTERM>}, std::pair{SIGKILL, &KillMidStream<SIGKILL>}}) {
    SCOPED_TRACE(sig);
    TempDir dir;
    const std::string out = dir / "tone.m4r";
    WriteFile(out, "old");
    WavSpec w;
    w.frames = 44100 * 2;
    w.data_size = DataSize::Unknown;  // the program waits for more until its input closes
    RunOptions opt;
    opt.before_close = kill;
    RunResult r = RunFaac(ConversionArgs(out), ToString(MakeWav(w)), opt);
    EXPECT_EQ(r.term_signal, sig);
    EXPECT_TRUE(ReadFile(out) == "old") << "the existing file was changed";
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"tone.m4r"});
  }
}

TEST(FaacFailure, CommandLineErrorsExitWithStatus2) {
  TempDir dir;
  const std::string out = dir / "o.m4r";
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"-w", "--frobnicate", "-o", out, "-"}, "unknown option '--frobnicate'"},
      {{"-w", "-Z", "-o", out, "-"}, "unknown option '-Z'"},
      {{"-w", "-o", out, "--title"}, "--title needs a value"},
      {{"-w", "-o"}, "-o needs a value"},
      {{"-w", "-b", "fast", "-o", out, "-"}, "-b 'fast'"},
      {{"-w", "--title", "Two", "Words", "-o", out, "-"}, "more than one input"},
  };
  for (const auto& c : cases) {
    RunResult r = RunFaac(c.args, GoodWav());
    EXPECT_EQ(r.exit_code, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("faac --help"), std::string::npos) << r.err;
    EXPECT_TRUE(dir.Entries().empty());
  }
}

TEST(FaacFailure, HelpAndVersionExitWithStatus0) {
  RunResult r = RunFaac({"--help"}, "");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("Usage: faac"), std::string::npos);
  r = RunFaac({"--version"}, "");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("faac-compatible AAC encoder built on libavcodec"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("part of Ombrix Tonewright"), std::string::npos) << r.out;
}

}  // namespace
