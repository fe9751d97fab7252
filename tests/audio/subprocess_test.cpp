// Starting a program from an argument vector: lookup, feeding, outcomes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "audio/subprocess.h"
#include "support/sink_support.h"

using audio::detail::ResolveProgram;
using audio::detail::Subprocess;

namespace {

std::string OwnFolder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p(buf, static_cast<size_t>(n));
  return p.substr(0, p.rfind('/'));
}

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
  return v;
}

}  // namespace

TEST(ResolveProgram, BesideTheProgramThenPathNeverTheCurrentFolder) {
  const std::string sink = OwnFolder() + "/tw_wav_sink";
  EXPECT_EQ(ResolveProgram("tw_wav_sink"), sink);
  // A Windows-style name finds the program without the suffix.
  EXPECT_EQ(ResolveProgram("tw_wav_sink.exe"), sink);
  const std::string sh = ResolveProgram("sh");
  EXPECT_TRUE(sh.size() > 3 && sh[0] == '/' && sh.substr(sh.size() - 3) == "/sh") << sh;
  EXPECT_EQ(ResolveProgram("no_such_program_here"), "");

  // A program that exists only in the current folder is not found by its bare name, even with
  // "." or an empty entry on PATH; it is found through an explicit ./ path.
  twtest::SinkDir dir;
  const std::string local = dir.path() + "/tw_only_here";
  { std::ofstream(local) << "#!/bin/sh\nexit 0\n"; }
  chmod(local.c_str(), 0755);
  char oldCwd[4096];
  ASSERT_NE(getcwd(oldCwd, sizeof oldCwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (".::" + oldPath).c_str(), 1);
  EXPECT_EQ(ResolveProgram("tw_only_here"), "");
  EXPECT_EQ(ResolveProgram("./tw_only_here"), "./tw_only_here");
  setenv("PATH", oldPath.c_str(), 1);
  ASSERT_EQ(chdir(oldCwd), 0);
}

TEST(Subprocess, FeedsTheProgramAndReportsItsExit) {
  twtest::SinkDir dir;
  std::string why;
  auto p = Subprocess::Start({"tw_wav_sink", "one", "two words", ""}, nullptr, &why);
  ASSERT_TRUE(p) << why;
  const auto data = Pattern(300000);  // more than a pipe holds
  EXPECT_TRUE(p->Write(data.data(), data.size()));
  EXPECT_TRUE(p->Alive());
  const auto r = p->CloseAndWait(std::chrono::seconds(10));
  EXPECT_EQ(r.outcome, Subprocess::Outcome::Exited);
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(dir.Stdin(), data);
  EXPECT_EQ(dir.Args(), (std::vector<std::string>{"one", "two words", ""}));
  // A second wait gives the same result.
  EXPECT_TRUE(p->CloseAndWait(std::chrono::seconds(1)).Succeeded());
  EXPECT_FALSE(p->Write(data.data(), 1));
}

TEST(Subprocess, OutcomesAreTold) {
  {
    std::string why;
    EXPECT_FALSE(Subprocess::Start({"no_such_program_here"}, nullptr, &why));
    EXPECT_NE(why.find("no_such_program_here"), std::string::npos);
    EXPECT_FALSE(Subprocess::Start({}, nullptr, &why));
  }
  {
    twtest::SinkDir dir("code:5");
    auto p = Subprocess::Start({"tw_wav_sink"}, nullptr, nullptr);
    ASSERT_TRUE(p);
    const auto r = p->CloseAndWait(std::chrono::seconds(10));
    EXPECT_EQ(r.outcome, Subprocess::Outcome::Exited);
    EXPECT_EQ(r.code, 5);
    EXPECT_FALSE(r.Succeeded());
  }
  {
    twtest::SinkDir dir("hang");
    auto p = Subprocess::Start({"tw_wav_sink"}, nullptr, nullptr);
    ASSERT_TRUE(p);
    const auto t0 = std::chrono::steady_clock::now();
    const auto r = p->CloseAndWait(std::chrono::milliseconds(300));
    EXPECT_EQ(r.outcome, Subprocess::Outcome::Killed);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  }
  {
    twtest::SinkDir dir("stderr:something went wrong");
    auto p = Subprocess::Start({"tw_wav_sink"}, nullptr, nullptr);
    ASSERT_TRUE(p);
    const auto r = p->CloseAndWait(std::chrono::seconds(10));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(p->StderrTail(), "something went wrong");
  }
}

TEST(Subprocess, AProgramThatStopsReadingDoesNotTakeTheCallerDown) {
  twtest::SinkDir dir("early:1000");
  auto p = Subprocess::Start({"tw_wav_sink"}, nullptr, nullptr);
  ASSERT_TRUE(p);
  const auto data = Pattern(1 << 20);
  bool ok = true;
  for (int i = 0; i < 8 && ok; ++i) ok = p->Write(data.data(), data.size());
  EXPECT_FALSE(ok) << "writes fail once the reader has gone (no SIGPIPE death)";
  EXPECT_TRUE(p->inputBroken());
  EXPECT_FALSE(p->Alive());
  const auto r = p->CloseAndWait(std::chrono::seconds(10));
  EXPECT_EQ(r.outcome, Subprocess::Outcome::Exited);
  EXPECT_EQ(dir.Stdin().size(), 1000u);
}

TEST(Subprocess, UnreadInputOfAProgramThatEndedIsNoticed) {
  // Everything written fits into the pipe, so no write fails: the unread rest still shows.
  twtest::SinkDir dir("early:10");
  auto p = Subprocess::Start({"tw_wav_sink"}, nullptr, nullptr);
  ASSERT_TRUE(p);
  const auto data = Pattern(10);
  ASSERT_TRUE(p->Write(data.data(), data.size()));
  while (p->Alive()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // The program has read its 10 bytes and gone; 100 more sit unread (or fail outright).
  const auto more = Pattern(100);
  const bool wrote = p->Write(more.data(), more.size());
  const auto r = p->CloseAndWait(std::chrono::seconds(10));
  EXPECT_TRUE(!wrote || r.inputUnread);
}

TEST(Subprocess, StandardOutputReachesTheCallback) {
  twtest::SinkDir dir("echo");
  std::mutex m;
  std::vector<uint8_t> got;
  auto p = Subprocess::Start(
      {"tw_wav_sink"},
      [&](const void* d, size_t n) {
        std::lock_guard lock(m);
        got.insert(got.end(), static_cast<const uint8_t*>(d), static_cast<const uint8_t*>(d) + n);
      },
      nullptr);
  ASSERT_TRUE(p);
  const auto data = Pattern(200000);
  ASSERT_TRUE(p->Write(data.data(), data.size()));
  EXPECT_TRUE(p->CloseAndWait(std::chrono::seconds(10)).Succeeded());
  std::lock_guard lock(m);
  EXPECT_EQ(got, data);
}
