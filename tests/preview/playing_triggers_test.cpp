// The preview's triggers: the loop back at the selection's end and at the stream's end, the fades
// started at their trigger points, and the boxes read when a trigger fires. What needs the device
// (the loop and the fades as heard, a bar dragged while playing) plays through SDL's disk driver,
// which writes everything heard to a file, once per behaviour; the rest runs the same triggers and
// effects on the preview stream opened as a decoding channel, where they act inside each read,
// exactly and at no real-time pace. Either output is checked frame by frame against what the
// preview should have played.
//
// The file played is a counter written by ffmpeg: every frame carries its own index, so a lost,
// repeated or misplaced frame shows, and its left channel is all but constant, so the level of a
// fade can be read off the recording.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/playback.h"
#include "preview/preview_effects.h"
#include "preview/preview_state.h"
#include "preview/transport.h"
#include "preview/triggers.h"
#include "source/openers.h"
#include "wave/selection.h"
#include "support/command.h"
#include "support/device_frames.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int64_t kRate = 44100;
constexpr int64_t kBytesPerFrame = 4;
constexpr int64_t kFileFrames = 3 * kRate;  // the counter file lasts 3 s
// The fade-in trigger sits 0.01 s after selStart.
constexpr int64_t kFadeInDelay = kRate / 100;
// The waveform's scale in these tests: one column is 0.01 s, so a click at column x means x/100 s.
constexpr uint32_t kBytesPerPixel = static_cast<uint32_t>(kFadeInDelay * kBytesPerFrame);
// How far a fade may sit from its place: inside a fade a recorded value may differ from the
// expected one by what the fade changes in 1 ms (44 frames), plus one unit for the rounding to 16
// bits. The mix-time triggers act at their exact frame, so the fades should match to the
// rounding; the millisecond keeps the check from hanging on the last bits of the fade's
// arithmetic, while a trigger 0.01 s off would be ten times outside it. Frames outside fades, and
// so every jump, are compared exactly.
constexpr double kSlackFrames = 44;
// The same slack for the levels read at single frames of a 1 s fade (44 frames of 44100 are
// 0.001), doubled for the rounding of the left channel's 32000 and the value order in a frame.
constexpr double kLevelSlack = 0.002;

constexpr int64_t Frames(double seconds) { return static_cast<int64_t>(seconds * kRate + 0.5); }

// Frame f of the counter: left 32000 - f div 65536, right f mod 65536 as a signed 16-bit value.
int16_t Counter(int64_t f, int c) {
  if (c == 0) return static_cast<int16_t>(32000 - f / 65536);
  return static_cast<int16_t>(static_cast<uint16_t>(f & 0xFFFF));
}

// The frame index of a recorded frame played at full level, or -1 when it is not one.
int64_t CounterFrame(int16_t left, int16_t right) {
  const int64_t high = 32000 - left;
  if (high < 0 || high > 2) return -1;
  return high * 65536 + static_cast<uint16_t>(right);
}

// --- What should be heard ---------------------------------------------------------------------

// One frame the preview should play: the stream frame and the fade's factor on each channel
// (1: unfaded), with the fade's change per frame (0 outside fades).
struct Heard {
  int64_t frame;
  double gain[2];
  double slope;
};

// The expected output, built step by step as the triggers should make it: plays of stretches of
// the stream, and fades started between them. The fade advances value by value across the
// stretches as the preview's one fade state does: it starts at one step, and leaves everything
// after its end unchanged. A fade-in scales while its factor is below 1; a fade-out scales exactly
// its length of values, the last one to silence.
class Expected {
 public:
  // Plays frames from..to-1; returns the index of the first of them.
  int64_t Play(int64_t from, int64_t to) {
    const auto first = static_cast<int64_t>(frames_.size());
    for (int64_t f = from; f < to; ++f) {
      Heard h{f, {1.0, 1.0}, 0.0};
      for (int c = 0; c < 2; ++c) {
        if (outLeft_ > 0 || (gain_ > 0.0 && gain_ < 1.0)) {
          h.gain[c] = std::max(gain_, 0.0);
          h.slope = 2 * std::fabs(step_);
          gain_ += step_;
          if (outLeft_ > 0 && --outLeft_ == 0) gain_ = 0.0;
        }
      }
      frames_.push_back(h);
    }
    return first;
  }
  // A fade of `seconds` starts at the next frame, replacing the one running.
  void StartFade(bool fadeIn, int seconds) {
    step_ = (fadeIn ? 1.0 : -1.0) / seconds / static_cast<double>(kRate) / 2.0;
    gain_ = (fadeIn ? 0.0 : 1.0) + step_;
    outLeft_ = fadeIn ? 0 : seconds * kRate * 2;
  }
  // After the last frame the stream has stopped: the output is silent.
  void EndsInSilence() { silentAfter_ = true; }

  int64_t size() const { return static_cast<int64_t>(frames_.size()); }
  const Heard& operator[](int64_t i) const { return frames_[static_cast<size_t>(i)]; }
  bool silentAfter() const { return silentAfter_; }

 private:
  std::vector<Heard> frames_;
  double gain_ = 0.0;  // a finished fade
  double step_ = 0.0;
  int64_t outLeft_ = 0;  // values the fade-out still scales
  bool silentAfter_ = false;
};

// A recording laid against the expected output. The two are aligned on the first stretch of 64
// frames heard at full level: that gives the output frame where the expected output begins.
class Analysis {
 public:
  Analysis(std::vector<int16_t> recording, const Expected& expected, std::string name)
      : rec_(std::move(recording)), exp_(expected), name_(std::move(name)) {}

  int64_t recordedFrames() const { return static_cast<int64_t>(rec_.size() / 2); }
  // Recorded frames after the expected output's last one (valid once Matches has aligned).
  int64_t recordedAfterEnd() const { return recordedFrames() - offset_ - exp_.size(); }

  // Every recorded frame against the expected one, until the recording ends (or, when the stream
  // should have stopped, silence to the end). `mustCover`: how much of the expected output the
  // recording has to hold.
  testing::AssertionResult Matches(int64_t mustCover) {
    if (!Align()) return testing::AssertionFailure() << "no stretch of the recording could be aligned";
    const int64_t n = recordedFrames();
    for (int64_t i = 0; i < n; ++i) {
      const int64_t m = i - offset_;
      if (m >= exp_.size() && !exp_.silentAfter()) break;
      const bool silent = m < 0 || m >= exp_.size();
      for (int c = 0; c < 2; ++c) {
        const int16_t got = rec_[static_cast<size_t>(2 * i + c)];
        if (silent) {
          if (got != 0) return Mismatch(i, c, 0.0, 0.0);
          continue;
        }
        const Heard& h = exp_[m];
        const double source = Counter(h.frame, c);
        const double want = source * h.gain[c];
        const double tolerance = h.slope == 0.0 ? 0.0 : 1.0 + std::fabs(source) * h.slope * kSlackFrames;
        if (std::fabs(got - want) > tolerance) return Mismatch(i, c, want, tolerance);
      }
    }
    const int64_t covered = std::min(exp_.size(), n - offset_);
    if (covered < mustCover) {
      return testing::AssertionFailure() << "the recording ends " << covered << " frames into the expected output; "
                                         << mustCover << " needed";
    }
    return testing::AssertionSuccess();
  }

  // The recorded level of the left channel at expected frame m, relative to the stream's value.
  double Level(int64_t m) const {
    const int64_t i = m + offset_;
    if (i < 0 || i >= recordedFrames()) return std::nan("");
    return rec_[static_cast<size_t>(2 * i)] / static_cast<double>(Counter(exp_[m].frame, 0));
  }
  // The recorded value of channel c at expected frame m.
  int Value(int64_t m, int c) const {
    const int64_t i = m + offset_;
    if (i < 0 || i >= recordedFrames()) return INT32_MIN;
    return rec_[static_cast<size_t>(2 * i + c)];
  }
  // The stream frame recorded at expected frame m, when it was heard at full level; else -1.
  int64_t FrameAt(int64_t m) const {
    const int64_t i = m + offset_;
    if (i < 0 || i >= recordedFrames()) return -1;
    return CounterFrame(rec_[static_cast<size_t>(2 * i)], rec_[static_cast<size_t>(2 * i + 1)]);
  }

 private:
  bool Align() {
    constexpr int64_t kRun = 64;
    const int64_t n = recordedFrames();
    int64_t i0 = -1, f0 = -1;
    for (int64_t i = 0; i + kRun <= n && i0 < 0; ++i) {
      const int64_t f = FrameOf(i);
      if (f < 0) continue;
      int64_t k = 1;
      while (k < kRun && FrameOf(i + k) == f + k) ++k;
      if (k == kRun) {
        i0 = i;
        f0 = f;
      }
    }
    if (i0 < 0) return false;
    // The middle of the stretch: its first frames may be the last of a fade, which round to
    // their full values.
    i0 += kRun / 2;
    f0 += kRun / 2;
    for (int64_t m = 0; m + kRun / 2 <= exp_.size(); ++m) {
      bool full = true;
      for (int64_t k = 0; k < kRun / 2 && full; ++k) {
        const Heard& h = exp_[m + k];
        full = h.frame == f0 + k && h.gain[0] == 1.0 && h.gain[1] == 1.0;
      }
      if (full) {
        offset_ = i0 - m;
        return offset_ >= 0;
      }
    }
    return false;
  }
  int64_t FrameOf(int64_t i) const {
    return CounterFrame(rec_[static_cast<size_t>(2 * i)], rec_[static_cast<size_t>(2 * i + 1)]);
  }

  // Describes the first difference and writes the frames around it to a file beside the tests'
  // temporary files.
  testing::AssertionResult Mismatch(int64_t i, int c, double want, double tolerance) const {
    const int64_t m = i - offset_;
    const std::string file = testing::TempDir() + "tw_playing_" + name_ + ".txt";
    std::ofstream out(file);
    out << "output\texpected index\tstream frame\tgain L\tgain R\texpected L\texpected R\tgot L\tgot R\n";
    for (int64_t j = std::max<int64_t>(0, i - 20); j < std::min(recordedFrames(), i + 20); ++j) {
      const int64_t mj = j - offset_;
      out << j << '\t' << mj;
      if (mj >= 0 && mj < exp_.size()) {
        const Heard& h = exp_[mj];
        out << '\t' << h.frame << '\t' << h.gain[0] << '\t' << h.gain[1] << '\t' << Counter(h.frame, 0) * h.gain[0]
            << '\t' << Counter(h.frame, 1) * h.gain[1];
      } else {
        out << "\t-\t-\t-\t0\t0";
      }
      out << '\t' << rec_[static_cast<size_t>(2 * j)] << '\t' << rec_[static_cast<size_t>(2 * j + 1)] << '\n';
    }
    std::ostringstream s;
    s << "output frame " << i << " (" << (m >= 0 && m < exp_.size() ? "stream frame " + std::to_string(exp_[m].frame) : "silence")
      << ", expected frame " << m << "), channel " << c << ": got " << rec_[static_cast<size_t>(2 * i + c)]
      << ", expected " << want << " within " << tolerance << "; frames around it in " << file;
    return testing::AssertionFailure() << s.str();
  }

  std::vector<int16_t> rec_;
  const Expected& exp_;
  std::string name_;
  int64_t offset_ = 0;  // output frame of expected frame 0
};

// --- The preview, as the window holds it --------------------------------------------------------

class SilentView final : public wave::SelectionView {
 public:
  void ShowStartSeconds(int64_t) override {}
  void ShowEndSeconds(int64_t) override {}
  void ShowLengthText(const std::string&) override {}
  void EnableConvert(bool) override {}
};

class PlayingTriggers : public ::testing::Test {
 protected:
  // The counter file, made once for all the tests with ffmpeg and checked with ffprobe.
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/tw_counter_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    folder_ = tmpl;
    const std::string path = folder_ + "/counter.wav";
    const std::string make =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
        "\"aevalsrc=exprs='(32000-floor(n/65536))/32768|(mod(n,65536)-65536*gte(mod(n,65536),32768))/32768'"
        ":s=44100:c=stereo\" -t 3 -c:a pcm_s16le -map_metadata -1 -fflags +bitexact -flags:a +bitexact '" +
        path + "' 2>&1";
    makeOutput_ = twtest::CommandOutput(make);
    probe_ = twtest::CommandOutput("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels,duration_ts "
                 "-of default=noprint_wrappers=1 '" + path + "' 2>&1");
    counter_ = path;
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }

  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
    // The ASan build is unoptimised: its playback thread cannot be relied on to keep the 50 ms
    // real-time margin that a frame-exact recording needs (a late block is a gap in the file, which
    // one CI run showed). The optimised normal and TSan builds run these recordings; the decoding
    // tests run everywhere.
    const std::string name = TestName();
    if (name.find("Recorded") != std::string::npos) GTEST_SKIP() << "recorded at real-time pace";
#endif
    ASSERT_FALSE(counter_.empty());
    ASSERT_EQ(probe_, "codec_name=pcm_s16le\nsample_rate=44100\nchannels=2\nduration_ts=132300\n")
        << "ffmpeg said: " << makeOutput_;
    char tmpl[] = "/tmp/tw_heard_XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    recordFile_ = tmpl;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", recordFile_.c_str(), 1);
    StartDevice();
  }
  // Opens the disk device, which writes the recording from its start, and the preview stream.
  void StartDevice() {
    ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr));
    audio::detail::OutputInfo info;
    ASSERT_TRUE(audio::detail::CurrentOutputInfo(&info));
    ASSERT_EQ(info.name, "disk");
    ASSERT_EQ(info.rate, 44100u);
    ASSERT_EQ(info.chans, 2u);
    Open();
  }
  // What the device played during `take` (it sets the selection, plays and waits), taken again
  // when decoding fell behind the device.
  template <typename Take>
  std::vector<int16_t> GaplessRecording(Take take) {
    return twtest::GaplessRecording(take, [this] { return Recording(); }, [this] { StartDevice(); });
  }
  void TearDown() override {
    audio::Free();
    unlink(recordFile_.c_str());
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }

  // What opening the file does for the preview: the stream, its format for the effects and the
  // loop trigger at its end.
  void Open() {
    const source::Opener opener = source::SourceOpener(source::LowerExtension(counter_));
    ASSERT_NE(opener, nullptr);
    const audio::Handle stream = opener(counter_.c_str(), 0, 0, source::kPreviewFlags);
    ASSERT_NE(stream, 0u);
    audio::ChannelInfo info{};
    ASSERT_TRUE(audio::ChannelGetInfo(stream, &info));
    shared.format.rate = static_cast<int32_t>(info.freq);
    shared.format.channels = static_cast<int32_t>(info.chans);
    shared.format.bits = 16;
    ASSERT_EQ(audio::ChannelGetLength(stream, audio::POS_BYTE), kFileFrames * kBytesPerFrame);
    shared.playStream = stream;
    ASSERT_NE(audio::ChannelSetSync(stream, audio::SYNC_END | audio::SYNC_MIXTIME, 0,
                                    preview::Triggers::LoopSyncProc, &triggers),
              0u);
  }

  audio::Handle stream() const { return shared.playStream.load(); }

  // The preview stream opened as a decoding channel instead, with the same loop trigger at its end.
  void OpenDecoding() {
    audio::StreamFree(stream());
    const audio::Handle h = source::SourceOpener(".wav")(counter_.c_str(), 0, 0, source::kScanFlags);
    ASSERT_NE(h, 0u);
    shared.playStream = h;
    ASSERT_NE(audio::ChannelSetSync(h, audio::SYNC_END | audio::SYNC_MIXTIME, 0, preview::Triggers::LoopSyncProc,
                                    &triggers),
              0u);
  }
  // What Play does, on the decoding channel: from the play position a middle click sets, with
  // Play's own fade-in when its box is on.
  void PlayDecoding(double fromSeconds) {
    Click(wave::MouseButton::Middle, fromSeconds);
    ASSERT_EQ(audio::ChannelGetPosition(stream(), audio::POS_BYTE), Frames(fromSeconds) * kBytesPerFrame);
    effects.StartFade(stream(), true);
  }
  // The next `frames` frames of the decoding channel (fewer at its end), read in blocks of 441
  // frames, so that triggers fall inside blocks.
  std::vector<int16_t> Decode(int64_t frames) {
    std::vector<int16_t> out;
    int16_t block[441 * 2];
    while (static_cast<int64_t>(out.size()) < frames * 2) {
      const auto want = static_cast<uint32_t>(std::min<int64_t>(441, frames - static_cast<int64_t>(out.size()) / 2));
      const uint32_t got = audio::ChannelGetData(stream(), block, want * kBytesPerFrame);
      if (got == 0 || got == static_cast<uint32_t>(-1)) break;
      out.insert(out.end(), block, block + got / 2);
    }
    return out;
  }

  // The controls as the window mirrors them.
  void Boxes(bool loop, bool fadeIn, int32_t fadeInSeconds, bool fadeOut, int32_t fadeOutSeconds) {
    shared.controls.loop = loop;
    shared.controls.fadeIn = fadeIn;
    shared.controls.fadeInSeconds = fadeInSeconds;
    shared.controls.fadeOut = fadeOut;
    shared.controls.fadeOutSeconds = fadeOutSeconds;
  }

  // A click on the waveform at `seconds` (columns of 0.01 s): left sets the start, right the end,
  // middle the play position.
  void Click(wave::MouseButton button, double seconds) {
    selection.PBMouseDown(button, static_cast<int>(std::lround(seconds * 100)), kBytesPerPixel);
    selection.PBMouseUp();
  }

  // From the play position set by a middle click, as the Play button does.
  void Play(double fromSeconds) {
    Click(wave::MouseButton::Middle, fromSeconds);
    ASSERT_EQ(transport.btnplayClick(false), preview::Transport::PlayResult::Playing);
  }

  int64_t HeardFrame() const { return audio::ChannelGetPosition(stream(), audio::POS_BYTE) / kBytesPerFrame; }

  // Polls the heard position until `done` says so; false after `limit`.
  bool WaitHeard(const std::function<bool(int64_t)>& done, std::chrono::milliseconds limit) {
    const auto t0 = Clock::now();
    while (Clock::now() - t0 < limit) {
      if (done(HeardFrame())) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
  // Waits until the heard position has jumped back `jumps` times and then reached `thenAt`.
  bool WaitJumps(int jumps, int64_t thenAt, std::chrono::milliseconds limit) {
    int seen = 0;
    int64_t last = HeardFrame();
    return WaitHeard(
        [&](int64_t p) {
          if (p < last) ++seen;
          last = p;
          return seen >= jumps && p >= thenAt;
        },
        limit);
  }

  // Ends the output and returns what it played, as interleaved stereo values.
  std::vector<int16_t> Recording() {
    audio::Free();
    std::ifstream in(recordFile_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), v.size() * 2);
    return v;
  }

  std::string TestName() const { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

  preview::PreviewShared shared;
  preview::PreviewEffects effects{shared};
  preview::Triggers triggers{shared, effects};
  preview::Transport transport{shared, effects};
  SilentView view;
  wave::Selection selection{shared, triggers, view};

  static inline std::string folder_, counter_, makeOutput_, probe_;
  std::string recordFile_;
};

using wave::MouseButton;

// The counter decodes through the preview's opener to exactly the values the tests expect.
TEST_F(PlayingTriggers, TheCounterFileDecodesToItsFrameIndices) {
  const audio::Handle h = source::SourceOpener(".wav")(counter_.c_str(), 0, 0, source::kScanFlags);
  ASSERT_NE(h, 0u);
  std::vector<int16_t> v(static_cast<size_t>(kFileFrames) * 2 + 2);
  const uint32_t got = audio::ChannelGetData(h, v.data(), static_cast<uint32_t>(v.size() * 2));
  ASSERT_EQ(got, kFileFrames * kBytesPerFrame);
  for (int64_t f = 0; f < kFileFrames; ++f) {
    ASSERT_EQ(v[static_cast<size_t>(2 * f)], Counter(f, 0)) << f;
    ASSERT_EQ(v[static_cast<size_t>(2 * f + 1)], Counter(f, 1)) << f;
    ASSERT_EQ(CounterFrame(Counter(f, 0), Counter(f, 1)), f);
  }
}

// Loop checked, selection 0.5 s to 1.5 s: at selEnd the preview goes on at selStart with not a
// frame lost, repeated or left silent, pass after pass.
TEST_F(PlayingTriggers, RecordedLoopJumpsBackToTheStartAtTheEndSeamlessly) {
  const int64_t start = Frames(0.5), end = Frames(1.5), from = Frames(0.3);
  const std::vector<int16_t> rec = GaplessRecording([&] {
    Boxes(true, false, 5, false, 5);
    Click(MouseButton::Left, 0.5);
    Click(MouseButton::Right, 1.5);
    ASSERT_EQ(shared.selStart.load(), start * kBytesPerFrame);
    ASSERT_EQ(shared.selEnd.load(), end * kBytesPerFrame);
    Play(0.3);
    ASSERT_TRUE(WaitJumps(2, start + Frames(0.1), 20000ms));
    // Heard positions stay inside the selection once the loop has begun.
    EXPECT_GE(HeardFrame(), start);
    EXPECT_LT(HeardFrame(), end);
  });
  Expected e;
  e.Play(from, end);
  const int64_t pass2 = e.Play(start, end);
  const int64_t pass3 = e.Play(start, end);
  for (int i = 0; i < 3; ++i) e.Play(start, end);
  Analysis a(rec, e, TestName());
  EXPECT_TRUE(a.Matches(pass3 + Frames(0.05)));
  // The jumps themselves: the last frame before each is selEnd - 1, the first after is selStart.
  for (int64_t at : {pass2, pass3}) {
    EXPECT_EQ(a.FrameAt(at - 1), end - 1);
    EXPECT_EQ(a.FrameAt(at), start);
  }
}

// selStart 0 counts as not set: with loop checked, playback runs past selEnd to the end of the
// file and ends there.
TEST_F(PlayingTriggers, NoLoopWhileTheStartIsNotSet) {
  OpenDecoding();
  Boxes(true, false, 5, false, 5);
  Click(MouseButton::Left, 0.0);
  Click(MouseButton::Right, 1.5);
  ASSERT_EQ(shared.selStart.load(), 0);
  ASSERT_EQ(shared.selEnd.load(), Frames(1.5) * kBytesPerFrame);
  ASSERT_NE(selection.endSync(), 0u);
  PlayDecoding(1.2);
  Expected e;
  e.Play(Frames(1.2), kFileFrames);
  const std::vector<int16_t> out = Decode(2 * kFileFrames);
  EXPECT_EQ(static_cast<int64_t>(out.size()) / 2, e.size()) << "the stream ends at the file's end";
  Analysis a(out, e, TestName());
  EXPECT_TRUE(a.Matches(e.size()));
  EXPECT_EQ(audio::ChannelGetPosition(stream(), audio::POS_BYTE), kFileFrames * kBytesPerFrame);
}

// Loop checked with only selStart set: at the end of the stream the preview goes on at selStart.
TEST_F(PlayingTriggers, WithoutAnEndTheStreamsEndLoopsBackToTheStart) {
  OpenDecoding();
  const int64_t start = Frames(2.0);
  Boxes(true, false, 5, false, 5);
  Click(MouseButton::Left, 2.0);
  ASSERT_EQ(shared.selEnd.load(), 0);
  PlayDecoding(2.6);
  Expected e;
  e.Play(Frames(2.6), kFileFrames);
  const int64_t pass2 = e.Play(start, kFileFrames);
  const int64_t pass3 = e.Play(start, kFileFrames);
  for (int i = 0; i < 3; ++i) e.Play(start, kFileFrames);
  Analysis a(Decode(e.size()), e, TestName());
  EXPECT_TRUE(a.Matches(e.size()));
  for (int64_t at : {pass2, pass3}) {
    EXPECT_EQ(a.FrameAt(at - 1), kFileFrames - 1);
    EXPECT_EQ(a.FrameAt(at), start);
  }
}

// Loop unchecked, fade-in and fade-out checked with 1 s each, selection 0.5 s to 2.6 s, played
// from 0.3 s: Play fades in from 0.3 s; at selStart + 0.01 s the level drops back and a new 1 s
// fade-in begins; the fade-out begins 1 s before selEnd and ends there; the rest plays at full
// level up to the end of the file.
TEST_F(PlayingTriggers, FadesStartAtTheirTriggersWithTheirLengths) {
  OpenDecoding();
  const int64_t start = Frames(0.5), end = Frames(2.6), from = Frames(0.3);
  Boxes(false, true, 1, true, 1);
  Click(MouseButton::Left, 0.5);
  Click(MouseButton::Right, 2.6);
  ASSERT_NE(selection.fadeInSync(), 0u);
  ASSERT_NE(selection.fadeOutSync(), 0u);
  PlayDecoding(0.3);
  Expected e;
  e.StartFade(true, 1);  // Play's own
  e.Play(from, start + kFadeInDelay);
  e.StartFade(true, 1);
  const int64_t fadeIn = e.Play(start + kFadeInDelay, end - kRate);
  e.StartFade(false, 1);
  const int64_t fadeOut = e.Play(end - kRate, end);
  const int64_t after = e.Play(end, kFileFrames);
  const std::vector<int16_t> out = Decode(2 * kFileFrames);
  EXPECT_EQ(static_cast<int64_t>(out.size()) / 2, e.size());
  Analysis a(out, e, TestName());
  EXPECT_TRUE(a.Matches(e.size()));
  // Play's fade-in had reached about 0.21 when the trigger restarted it from its first step.
  EXPECT_NEAR(a.Level(fadeIn - 1), (start + kFadeInDelay - from) / static_cast<double>(kRate), kLevelSlack);
  EXPECT_LT(a.Level(fadeIn), 0.001);
  EXPECT_NEAR(a.Level(fadeIn + kRate / 2), 0.5, kLevelSlack);
  EXPECT_EQ(a.FrameAt(fadeIn + kRate), start + kFadeInDelay + kRate) << "full level after 1 s";
  // The fade-out: full level just before it, half way after 0.5 s, silent at selEnd.
  EXPECT_EQ(a.FrameAt(fadeOut - 1), end - kRate - 1);
  EXPECT_NEAR(a.Level(fadeOut + kRate / 2), 0.5, kLevelSlack);
  EXPECT_LT(a.Level(after - 1), 0.001);
  EXPECT_EQ(a.FrameAt(after), end) << "past selEnd the stream plays on at full level";
}

// The boxes are read when each trigger fires. Installed with loop, fade-in and fade-out off and a
// fade-out length of 1 s (which places the fade-out trigger 1 s before selEnd); switched after
// Play: fade-in on with 1 s, fade-out on with 2 s, loop on. The first pass then fades in at
// selStart + 0.01 s, fades out from 1 s before selEnd for 2 s (half way at selEnd) and loops.
// During that pass fade-in goes off, and once the jump is heard, loop and fade-out go off: the
// second pass starts no fade-in (the fade-out runs on to its end), starts no fade-out, and plays
// past selEnd to the end of the file.
TEST_F(PlayingTriggers, TheBoxesAreReadWhenTheTriggersFire) {
  OpenDecoding();
  const int64_t start = Frames(0.3), end = Frames(2.4), from = Frames(0.1);
  Boxes(false, false, 5, false, 1);
  Click(MouseButton::Left, 0.3);
  Click(MouseButton::Right, 2.4);
  PlayDecoding(0.1);
  // Each change falls between two reads: after the trigger it must miss, before the one it is
  // meant for.
  std::vector<int16_t> out = Decode(Frames(0.1));
  Boxes(true, true, 1, true, 2);
  const auto more = [&](int64_t frames) {
    const std::vector<int16_t> next = Decode(frames);
    out.insert(out.end(), next.begin(), next.end());
  };
  more(Frames(0.7));  // up to 0.9 s: the fade-in trigger has fired, the fade-out's has not
  shared.controls.fadeIn = false;
  more(end - Frames(0.9) + Frames(0.2));  // past the jump, 0.2 s into the second pass
  const int64_t at = audio::ChannelGetPosition(stream(), audio::POS_BYTE) / kBytesPerFrame;
  ASSERT_GT(at, start);
  ASSERT_LT(at, end - kRate);  // before the fade-out trigger of the second pass
  shared.controls.loop = false;
  shared.controls.fadeOut = false;
  more(2 * kFileFrames);
  Expected e;
  e.Play(from, start + kFadeInDelay);
  e.StartFade(true, 1);
  const int64_t fadeIn = e.Play(start + kFadeInDelay, end - kRate);
  e.StartFade(false, 2);
  const int64_t fadeOut = e.Play(end - kRate, end);
  const int64_t pass2 = e.Play(start, end);
  const int64_t after = e.Play(end, kFileFrames);
  EXPECT_EQ(static_cast<int64_t>(out.size()) / 2, e.size());
  Analysis a(out, e, TestName());
  EXPECT_TRUE(a.Matches(e.size()));
  EXPECT_EQ(a.FrameAt(fadeIn - 1), start + kFadeInDelay - 1) << "no fade at Play: the box was off then";
  EXPECT_LT(a.Level(fadeIn), 0.001) << "the fade-in started: the box was on when its trigger fired";
  EXPECT_NEAR(a.Level(fadeIn + kRate / 2), 0.5, kLevelSlack) << "the fade-in lasts the new 1 s";
  EXPECT_EQ(a.FrameAt(fadeOut - 1), end - kRate - 1);
  EXPECT_NEAR(a.Level(pass2 - 1), 0.5, kLevelSlack) << "the fade-out lasts the new 2 s";
  EXPECT_EQ(a.FrameAt(pass2 - 1), -1);
  // Second pass: the fade-out goes on from half level, without a new fade-in after 0.01 s...
  EXPECT_NEAR(a.Level(pass2 + kFadeInDelay + 100), 0.5 - (kFadeInDelay + 100) / (2.0 * kRate), kLevelSlack);
  // ... ends 1 s after the jump, and full level follows.
  EXPECT_EQ(a.FrameAt(pass2 + kRate), start + kRate);
  EXPECT_EQ(a.FrameAt(after), end) << "no loop: the box was off when selEnd was reached";
}

// One whole pass with loop, fade-in and fade-out checked (1 s each), selection 0.5 s to 2.55 s:
// the fade-out for the last second before selEnd, down to silence on both channels of its last
// frame; the jump back to selStart, where the fade-in starts at once and runs through its trigger
// at selStart + 0.01 s without a step; full level; again and again. The ringtone has no click at
// its fades: neither may the preview's loop.
TEST_F(PlayingTriggers, RecordedWholeLoopedPassWithBothFades) {
  const int64_t start = Frames(0.5), end = Frames(2.55), from = Frames(0.45);
  const std::vector<int16_t> rec = GaplessRecording([&] {
    Boxes(true, true, 1, true, 1);
    Click(MouseButton::Left, 0.5);
    Click(MouseButton::Right, 2.55);
    Play(0.45);
    ASSERT_TRUE(WaitJumps(2, start + Frames(0.05), 20000ms));
  });
  Expected e;
  e.StartFade(true, 1);  // Play's own
  e.Play(from, start + kFadeInDelay);
  e.StartFade(true, 1);  // no jump before the first pass: its trigger starts the fade-in
  e.Play(start + kFadeInDelay, end - kRate);
  std::vector<int64_t> jumps, fadeOuts;
  for (int pass = 0; pass < 4; ++pass) {
    if (pass > 0) {
      e.StartFade(true, 1);
      jumps.push_back(e.Play(start, end - kRate));
    }
    e.StartFade(false, 1);
    fadeOuts.push_back(e.Play(end - kRate, end));
  }
  Analysis a(rec, e, TestName());
  EXPECT_TRUE(a.Matches(jumps[1] + kFadeInDelay));
  // The first whole pass, from the first jump to the second.
  const int64_t jump = jumps[0], out = fadeOuts[1];
  EXPECT_EQ(a.Value(jump - 1, 0), 0) << "the fade-out ends in silence at selEnd";
  EXPECT_EQ(a.Value(jump - 1, 1), 0) << "its last value too";
  EXPECT_LT(a.Level(jump), 0.001) << "the fade-in starts at the jump";
  EXPECT_NEAR(a.Level(jump + kFadeInDelay - 1), 0.01, kLevelSlack);
  EXPECT_NEAR(a.Level(jump + kFadeInDelay), 0.01, kLevelSlack) << "and runs through its trigger";
  EXPECT_NEAR(a.Level(jump + kRate / 4), 0.25, kLevelSlack);
  EXPECT_NEAR(a.Level(jump + kRate / 2), 0.5, kLevelSlack);
  EXPECT_EQ(a.FrameAt(jump + kRate), start + kRate) << "full level after 1 s";
  EXPECT_EQ(a.FrameAt(out - 1), end - kRate - 1) << "full level up to the fade-out";
  EXPECT_NEAR(a.Level(out + kRate / 2), 0.5, kLevelSlack);
  EXPECT_NEAR(a.Level(out + 3 * kRate / 4), 0.25, kLevelSlack);
  EXPECT_EQ(a.Value(jumps[1] - 1, 1), 0);
  EXPECT_LT(a.Level(jumps[1]), 0.001);
  EXPECT_EQ(jumps[1] - jump, end - start) << "a pass is the selection's length";
}

// The low-pass checked while the counter plays, and its bar dragged: forty cut-offs from 2205 Hz
// to 11025 Hz and back, one every 10 ms. On the counter's left channel, all but constant, a
// low-pass passes the level unchanged whatever its cut-off, so the recording stays at 32000 from
// the filter's first milliseconds on; a filter restarted with its memory cleared at a step would
// drop towards 0 there (a click at each step of the drag).
TEST_F(PlayingTriggers, RecordedDragOfAFiltersBarKeepsItsSoundWhole) {
  const std::vector<int16_t> rec = GaplessRecording([&] {
    Boxes(false, false, 5, false, 5);
    effects.clowpassClick(true, 1000);
    Play(0.0);
    for (int step = 0; step < 40; ++step) {
      std::this_thread::sleep_for(10ms);
      effects.clowpassClick(true, 1000 + 250 * (step < 20 ? step : 40 - step));
    }
    ASSERT_TRUE(WaitHeard([](int64_t p) { return p >= Frames(0.8); }, 20000ms));
  });
  size_t first = 0;
  while (first < rec.size() && rec[first] == 0) first += 2;
  ASSERT_LT(first + 2 * Frames(0.75), rec.size()) << "too little was recorded";
  int worst = 0;
  size_t at = 0;
  for (size_t i = first + 2 * Frames(0.005); i < first + 2 * Frames(0.75); i += 2) {
    const int off = std::abs(rec[i] - 32000);
    if (off > worst) worst = off, at = i;
  }
  EXPECT_LE(worst, 2) << "frame " << (at - first) / 2 << " of the recording: " << rec[at];
}

}  // namespace
