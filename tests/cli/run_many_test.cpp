// Many ringtones in one run: the names, the skips and the exit status as plain rules, and a batch
// over a folder of files as they come, good and bad, through the real program.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/run_many.h"
#include "support/command.h"
#include "support/fixtures.h"

namespace {

namespace fs = std::filesystem;
using cli::BatchResult;

TEST(BatchRules, NamesFollowTheInputsOrderAndExistingRingtonesAreKept) {
  const std::set<std::string> onDisk = {"/out/b.m4r", "/out/a (2).m4r"};
  const auto exists = [&](const std::string& p) { return onDisk.count(p) != 0; };
  const std::vector<std::string> inputs = {"/m/a.mp3", "/m/x/a.flac", "/m/b.ogg", "/m/a.wav", "/m/c.live.mp3", "/m/noext"};
  const struct {
    bool force;
    std::vector<std::pair<std::string, bool>> want;  // output, skipped
  } cases[] = {
      {false, {{"/out/a.m4r", false}, {"/out/a (2).m4r", true}, {"/out/b.m4r", true}, {"/out/a (3).m4r", false},
               {"/out/c.live.m4r", false}, {"/out/noext.m4r", false}}},
      {true, {{"/out/a.m4r", false}, {"/out/a (2).m4r", false}, {"/out/b.m4r", false}, {"/out/a (3).m4r", false},
              {"/out/c.live.m4r", false}, {"/out/noext.m4r", false}}},
  };
  for (const auto& c : cases) {
    const auto plan = cli::PlanBatch(inputs, "/out", convert::RingtoneKind::IPhone, c.force, exists);
    ASSERT_EQ(plan.size(), c.want.size());
    for (size_t i = 0; i < plan.size(); ++i) {
      EXPECT_EQ(plan[i].output, c.want[i].first) << i;
      EXPECT_EQ(plan[i].skip, c.want[i].second) << i;
    }
    EXPECT_EQ(plan[4].title, "c.live");
  }
  EXPECT_EQ(cli::PlanBatch({"/m/a.mp3"}, "/out/", convert::RingtoneKind::Mp3, false, exists)[0].output, "/out/a.mp3");

  const struct {
    std::vector<BatchResult> results;
    int signal;
    int status;
  } statuses[] = {
      {{BatchResult::Ok, BatchResult::Skipped}, 0, 0},
      {{BatchResult::Ok, BatchResult::Failed, BatchResult::Ok}, 0, 1},
      {{BatchResult::Ok, BatchResult::Stopped}, SIGINT, 130},
      {{BatchResult::Failed, BatchResult::Stopped}, SIGTERM, 143},
  };
  for (const auto& s : statuses) EXPECT_EQ(cli::BatchStatus(s.results, s.signal), s.status);
  EXPECT_EQ(cli::ResultLine(BatchResult::Failed, "/m/a.mp3", "why"), "FAILED\t/m/a.mp3\twhy");
  EXPECT_EQ(cli::ResultLine(BatchResult::Stopped, "/m/a.mp3", ""), "");
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tw_batch_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "in" / "sub");
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Program() const { return std::string(TW_PROGRAM_DIR) + "/tonewright"; }
  std::vector<std::string> Entries(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path dir;
};

// Good files, a damaged one, a video without sound, a text file and two songs of one name: a line
// for each in order, every good one written, the bad ones saying why, status 1.
TEST_F(BatchTest, AFolderOfFilesAsTheyCome) {
  const fs::path in = dir / "in";
  fs::copy_file(twtest::Fixture("ref.mp3"), in / "b song.mp3");
  fs::copy_file(twtest::Fixture("ref.ogg"), in / "sub" / "b song.ogg");
  fs::copy_file(twtest::Fixture("late.aac"), in / "a.aac");
  fs::copy_file(twtest::Fixture("random.mp3"), in / "damaged.mp3");
  fs::copy_file(twtest::Fixture("notes.txt"), in / "notes.txt");  // not a name the program opens
  ASSERT_EQ(twtest::CommandOutput("ffmpeg -v error -y -f lavfi -i testsrc=d=1:s=64x48 -c:v mpeg4 '" + (in / "clip.mp4").string() +
                                  "' && echo ok"),
            "ok\n");
  const std::string out = (dir / "tones").string();
  const std::string run = Program() + " -o " + out + " -r -s 1 -e 3 --kind ogg --jobs 2 " + in.string();
  const std::string lines = twtest::CommandOutput(run + " 2>/dev/null; echo status $?");
  const std::string i = in.string() + "/", o = out + "/";
  EXPECT_EQ(lines, "OK\t" + i + "a.aac\t" + o + "a.ogg\n" +                                              //
                       "OK\t" + i + "b song.mp3\t" + o + "b song.ogg\n" +                                 //
                       "FAILED\t" + i + "clip.mp4\tError creating stream! (" + i + "clip.mp4: has no sound)\n" +  //
                       "FAILED\t" + i + "damaged.mp3\tError creating stream! (" + i +
                       "damaged.mp3: is not a sound or video file Tonewright can read)\n" +  //
                       "OK\t" + i + "sub/b song.ogg\t" + o + "b song (2).ogg\n" + "status 1\n");
  EXPECT_EQ(Entries(out), (std::vector<std::string>{"a.ogg", "b song (2).ogg", "b song.ogg"}));
  const std::string probe = twtest::CommandOutput("ffprobe -v error -show_entries stream=duration_ts:stream_tags=title -of csv=p=0 '" +
                                                  o + "b song (2).ogg'");
  EXPECT_EQ(probe, "88200,b song\n");
  // Run again: the same names, each ringtone kept, nothing failed but the bad files.
  const std::string again = twtest::CommandOutput(run + " 2>/dev/null | cut -f1 | tr '\\n' ' '; echo");
  EXPECT_EQ(again, "SKIPPED SKIPPED FAILED FAILED SKIPPED \n");
}

// A signal stops the work in progress: what finished is kept, nothing partial is left, and the
// status tells which signal it was.
TEST_F(BatchTest, ASignalKeepsWhatFinishedAndLeavesNothingPartial) {
  const fs::path out = dir / "tones";
  std::vector<std::string> args = {Program(), "-o", out.string(), "-s", "0", "-e", "60", "--jobs", "1"};
  for (int n = 0; n < 8; ++n) args.push_back(twtest::Fixture("sec60.wav"));
  int pipeFd[2];
  ASSERT_EQ(::pipe(pipeFd), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(pipeFd[1], 1);
    ::close(pipeFd[0]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFd[1]);
  // The first result line: one ringtone is done, the next is being written.
  std::string first;
  char c = 0;
  while (::read(pipeFd[0], &c, 1) == 1 && c != '\n') first += c;
  EXPECT_EQ(first.rfind("OK\t", 0), 0u) << first;
  ::kill(pid, SIGTERM);
  std::string rest;
  while (::read(pipeFd[0], &c, 1) == 1) rest += c;
  ::close(pipeFd[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  // Every file there is a whole ringtone with a line of its own; fewer than eight were made.
  const std::vector<std::string> made = Entries(out);
  EXPECT_LT(made.size(), 8u);
  EXPECT_EQ(made.size(), 1u + static_cast<size_t>(std::count(rest.begin(), rest.end(), '\n')));
  for (const std::string& name : made) {
    EXPECT_NE(name[0], '.') << "a temporary is left: " << name;
    EXPECT_EQ(twtest::CommandOutput("ffprobe -v error -show_entries stream=duration_ts -of csv=p=0 '" + (out / name).string() + "'"),
              "2646000\n")
        << name;
  }
}

}  // namespace
