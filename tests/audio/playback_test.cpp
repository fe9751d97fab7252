// Playing streams: what reaches the device (recorded through SDL's disk driver), heard
// positions, the transport, syncs fired when heard, and the silent fallback output.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "audio/engine.h"
#include "audio/playback.h"
#include "memory_stream.h"
#include "support/device_frames.h"

using namespace audio;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Handle h) { return ChannelBytes2Seconds(h, ChannelGetPosition(h, POS_BYTE)); }

// Waits until `done`, for as long as a loaded machine may need; false when it never came.
template <typename P>
bool WaitUntil(P done) {
  const auto until = Clock::now() + 20s;
  while (!done()) {
    if (Clock::now() > until) return done();
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

using twtest::DeviceFrames;
using twtest::LateBlocks;

// Runs the engine on SDL's disk driver: everything played lands in a file.
class Recorded : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tw_play_XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    file_ = tmpl;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file_.c_str(), 1);
    ASSERT_NO_FATAL_FAILURE(Start());
  }
  void TearDown() override {
    Free();
    unlink(file_.c_str());
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  // Opens the disk device; it writes the recording file from its start.
  void Start() {
    ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
    detail::OutputInfo info;
    ASSERT_TRUE(detail::CurrentOutputInfo(&info));
    ASSERT_EQ(info.name, "disk");
    ASSERT_EQ(info.rate, 44100u);
    ASSERT_EQ(info.chans, 2u);
    bufferFrames_ = info.bufferFrames;
  }
  // What the device played during `take` (it makes its streams, plays them and waits), taken
  // again when decoding fell behind the device.
  template <typename Take>
  std::vector<int16_t> GaplessRecording(Take take) {
    return twtest::GaplessRecording(take, [this] { return Recording(); }, [this] { Start(); });
  }
  // Stops the output and returns what it played, as stereo frames.
  std::vector<int16_t> Recording() {
    Free();
    std::ifstream in(file_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
  }
  // The frame numbers of a recording of marker signals, modulo the markers' period of 30011
  // frames; -1 for a silent frame (a marker frame is never silent in both channels).
  static std::vector<int64_t> FrameNumbers(const std::vector<int16_t>& rec) {
    std::vector<int64_t> frames;
    for (size_t i = 0; i + 1 < rec.size(); i += 2) {
      if (rec[i] == 0 && rec[i + 1] == 0) {
        frames.push_back(-1);
        continue;
      }
      // Invert the marker: 7 * f ≡ value + 15005 (mod 30011).
      int64_t f = -2;
      const int64_t v = rec[i] + 15005;
      for (int64_t k = 0; k < 7; ++k) {
        if ((v + k * 30011) % 7 == 0) {
          f = (v + k * 30011) / 7;
          break;
        }
      }
      if (f >= 0 && twtest::Marker(f, 1) != rec[i + 1]) f = -2;  // not a marker frame
      frames.push_back(f);
    }
    return frames;
  }
  static std::vector<int64_t> WithoutSilence(const std::vector<int64_t>& frames) {
    std::vector<int64_t> v;
    for (int64_t f : frames) {
      if (f != -1) v.push_back(f);
    }
    return v;
  }

  std::string file_;
  uint32_t bufferFrames_ = 0;
};

struct Loop {
  int64_t back;
  std::atomic<int> jumps{0};
};
void LoopBack(SyncHandle, Handle h, uint32_t, void* user) {
  auto* loop = static_cast<Loop*>(user);
  ChannelSetPosition(h, loop->back, POS_BYTE);
  loop->jumps.fetch_add(1);
}

}  // namespace

TEST_F(Recorded, AMixTimeLoopIsSeamless) {
  Loop loop{5000 * 4};  // outlives each take's stream, which the take leaves playing
  const auto rec = GaplessRecording([&] {
    // 20000 frames; at 15000 a mix-time sync jumps back to 5000.
    const Handle h = twtest::MakeStream(twtest::MarkerSignal(20000, 2), 44100, 2, STREAM_PRESCAN);
    loop.jumps = 0;
    ASSERT_NE(ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, 15000 * 4, &LoopBack, &loop), 0u);
    ASSERT_TRUE(ChannelPlay(h, false));
    EXPECT_EQ(ChannelIsActive(h), ACTIVE_PLAYING);
    // Heard positions stay inside the loop once it has started, across the jumps: the first jump
    // is decoded while frames after 5000 are heard.
    const bool looped = WaitUntil([&] {
      const bool jumped = loop.jumps.load() > 0;
      const int64_t frame = ChannelGetPosition(h, POS_BYTE) / 4;
      EXPECT_GE(frame, 0);
      EXPECT_LE(frame, 15000);
      if (jumped) {
        EXPECT_GE(frame, 5000);
      }
      return loop.jumps.load() >= 4;
    });
    EXPECT_TRUE(looped);
  });
  const auto frames = WithoutSilence(FrameNumbers(rec));
  ASSERT_GT(frames.size(), 40000u);
  // 0 … 14999, then 5000 … 14999 again and again: no frame lost, repeated or out of place.
  for (size_t i = 0; i < frames.size(); ++i) {
    const int64_t expected = i < 15000 ? static_cast<int64_t>(i) : 5000 + static_cast<int64_t>((i - 15000) % 10000);
    ASSERT_EQ(frames[i], expected) << "output frame " << i;
  }
  // Nor a gap: the played part of the recording holds no silent frame.
  const auto all = FrameNumbers(rec);
  const auto first = std::find_if(all.begin(), all.end(), [](int64_t f) { return f >= 0; });
  const auto last = std::find_if(all.rbegin(), all.rend(), [](int64_t f) { return f >= 0; }).base();
  EXPECT_EQ(std::count(first, last, -1), 0);
}

TEST_F(Recorded, PauseAndResumeLoseNothing) {
  const int64_t n = 44100;
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(n, 2), 44100, 2, 0);
  DeviceFrames device;
  const int64_t d0 = device.now();
  ASSERT_TRUE(ChannelPlay(h, false));
  ASSERT_TRUE(WaitUntil([&] { return Seconds(h) > 0.2; }));
  ASSERT_TRUE(ChannelPause(h));
  const int64_t atPause = device.now();
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_PAUSED);
  EXPECT_FALSE(ChannelPause(h));
  std::this_thread::sleep_for(100ms);  // what the device held has played out
  const int64_t paused = ChannelGetPosition(h, POS_BYTE);
  // The device goes on for 0.3 s of silence.
  ASSERT_TRUE(device.WaitPast(device.now(), 44100 * 3 / 10));
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), paused) << "a paused stream does not move";
  EXPECT_GT(ChannelBytes2Seconds(h, paused), 0.2);
  EXPECT_LE(paused / 4, atPause - d0 + device.call()) << "never ahead of what the device played";
  ASSERT_TRUE(ChannelPlay(h, false));
  EXPECT_TRUE(WaitUntil([&] { return ChannelIsActive(h) != ACTIVE_PLAYING; }));
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), n * 4);
  const auto frames = FrameNumbers(Recording());
  const auto played = WithoutSilence(frames);
  ASSERT_EQ(played.size(), static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) ASSERT_EQ(played[static_cast<size_t>(i)], i % 30011) << i;
  // The pause shows as a silent stretch in the middle of the recording.
  const auto first = std::find(frames.begin(), frames.end(), 0);
  const auto last = std::find(frames.begin(), frames.end(), (n - 1) % 30011);
  EXPECT_GT(std::count(first, last, -1), 44100 * 2 / 10);
}

TEST_F(Recorded, StopThenPlayResumesWhereItWasHeard) {
  const int64_t n = 44100;
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(n, 2), 44100, 2, 0);
  DeviceFrames device;
  const int64_t d0 = device.now();
  ASSERT_TRUE(ChannelPlay(h, false));
  ASSERT_TRUE(WaitUntil([&] { return Seconds(h) > 0.3; }));
  ASSERT_TRUE(ChannelStop(h));
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
  const int64_t atStop = device.now();
  const int64_t stopped = ChannelGetPosition(h, POS_BYTE) / 4;
  EXPECT_GT(stopped / 44100.0, 0.3);
  EXPECT_LE(stopped, atStop - d0 + device.call()) << "never ahead of what the device played";
  ASSERT_TRUE(device.WaitPast(device.now(), 44100 / 5));
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE) / 4, stopped);
  ASSERT_TRUE(ChannelPlay(h, false));
  ASSERT_TRUE(WaitUntil([&] { return ChannelGetPosition(h, POS_BYTE) / 4 > stopped + 4410; }));
  ASSERT_TRUE(ChannelStop(h));
  const auto played = WithoutSilence(FrameNumbers(Recording()));
  // Frames 0 … k-1, with k from the heard position to a device buffer past it, then again from
  // the heard position on; seamless when the device held nothing past the heard position.
  ASSERT_GT(static_cast<int64_t>(played.size()), stopped + 4410);
  size_t run = 0;  // how far the recording runs from frame 0 without a jump
  while (run < played.size() && played[run] == static_cast<int64_t>(run) % 30011) ++run;
  const auto resumesAt = [&](size_t k) {
    for (size_t j = k; j < played.size(); ++j) {
      if (played[j] != (stopped + static_cast<int64_t>(j - k)) % 30011) return false;
    }
    return true;
  };
  bool resumed = false;
  const size_t last = std::min(run, static_cast<size_t>(stopped + bufferFrames_ + 64));
  for (size_t k = static_cast<size_t>(stopped); k <= last && !resumed; ++k) resumed = resumesAt(k);
  EXPECT_TRUE(resumed) << "playback resumed at the heard position " << stopped << " after " << run
                       << " frames played from the start";
}

TEST_F(Recorded, SeveralStreamsAreMixed) {
  const auto rec = GaplessRecording([] {
    const Handle a = twtest::MakeStream(std::vector<int16_t>(2 * 44100, 1000), 44100, 2, 0);
    // A float mono stream at another rate: converted and added to both sides.
    const Handle b = twtest::MakeStream(std::vector<float>(22050, 0.25f), 22050, 1, 0);
    ASSERT_TRUE(ChannelPlay(a, false));
    ASSERT_TRUE(ChannelPlay(b, false));
    // The second one is heard for 0.4 s, while the first one (2 s long) plays on.
    EXPECT_TRUE(WaitUntil([&] { return Seconds(b) >= 0.4; }));
  });
  size_t both = 0;
  for (size_t i = 0; i + 1 < rec.size(); i += 2) {
    if (rec[i] == 1000 + 8192 && rec[i + 1] == 1000 + 8192) ++both;
  }
  EXPECT_GT(both, 44100u / 4) << "frames where the two streams sound together";
}

TEST(Playback, HeardPositionsRunWithTheDeviceAndFollowSeeks) {
  for (const char* driver : {"dummy", "no_such_driver"}) {
    SCOPED_TRACE(driver);
    setenv("SDL_AUDIODRIVER", driver, 1);
    ASSERT_TRUE(Init(-1, 44100, 0, nullptr)) << "no device still initialises";
    detail::OutputInfo info;
    ASSERT_TRUE(detail::CurrentOutputInfo(&info));
    EXPECT_EQ(info.name, std::string(driver) == "dummy" ? "dummy" : "silent");
    EXPECT_GE(info.bufferFrames, 512u);
    EXPECT_LE(info.bufferFrames, 2048u);
    DeviceFrames device;
    // Device frames as seconds; a heard position is within one device call of the device's count.
    const auto played = [&](int64_t frames) { return static_cast<double>(frames) / info.rate; };
    const double call = played(device.call());
    for (const uint32_t rate : {44100u, 48000u}) {
      SCOPED_TRACE(rate);
      const Handle h = twtest::MakeStream(twtest::MarkerSignal(rate * 10, 2), rate, 2, 0);
      EXPECT_EQ(Seconds(h), 0.0);
      const int64_t d0 = device.now();
      ASSERT_TRUE(ChannelPlay(h, false));
      ASSERT_TRUE(WaitUntil([&] { return Seconds(h) >= 0.3; }));
      // Over a second of the device's frames the heard position moves as far, whatever the
      // stream's rate, and never ahead of the device.
      const uint64_t late = LateBlocks();
      const int64_t a1 = device.now();
      const double p1 = Seconds(h);
      const int64_t b1 = device.now();
      EXPECT_LE(p1, played(b1 - d0) + call);
      ASSERT_TRUE(device.WaitPast(b1, info.rate));
      const int64_t a2 = device.now();
      const double p2 = Seconds(h);
      const int64_t b2 = device.now();
      EXPECT_LE(p2 - p1, played(b2 - a1) + 2 * call) << "real-time pace";
      if (LateBlocks() == late) {  // a stream whose decoding fell behind is heard behind
        EXPECT_GE(p2 - p1, played(a2 - b1) - 2 * call) << "real-time pace";
      }
      const int64_t d3 = device.now();
      ASSERT_TRUE(ChannelSetPosition(h, ChannelSeconds2Bytes(h, 6.0), POS_BYTE));
      const double p3 = Seconds(h);
      EXPECT_GE(p3, 6.0) << "heard at once";
      EXPECT_LE(p3, 6.0 + played(device.now() - d3) + call) << "heard at once";
      EXPECT_TRUE(WaitUntil([&] { return Seconds(h) > 6.0; }));
      const int64_t a4 = device.now();
      const double p4 = Seconds(h);
      EXPECT_LE(p4, 6.0 + played(device.now() - d3) + call);
      EXPECT_FALSE(ChannelSetPosition(h, ChannelSeconds2Bytes(h, 11.0), POS_BYTE));
      const double p5 = Seconds(h);
      EXPECT_GE(p5, p4) << "a failed seek changes nothing";
      EXPECT_LE(p5, p4 + played(device.now() - a4) + 2 * call) << "a failed seek changes nothing";
      ASSERT_TRUE(StreamFree(h));
    }
    ASSERT_TRUE(Free());
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

namespace {
struct Fired {
  std::atomic<int64_t> heardAt{-1};
  std::atomic<int64_t> decodedAt{-1};
  std::atomic<int> count{0};
  Clock::time_point at;
  std::atomic<bool> endSeen{false};
};
void Heard(SyncHandle, Handle h, uint32_t, void* user) {
  auto* f = static_cast<Fired*>(user);
  f->at = Clock::now();
  f->heardAt = ChannelGetPosition(h, POS_BYTE);
  f->count.fetch_add(1);
}
void Decoded(SyncHandle, Handle h, uint32_t, void* user) {
  auto* f = static_cast<Fired*>(user);
  f->decodedAt = ChannelGetPosition(h, POS_BYTE);
}
void EndHeard(SyncHandle, Handle, uint32_t, void* user) { static_cast<Fired*>(user)->endSeen = true; }
// Removes the sync it is given while the stream is decoded, after that sync's position.
struct Remover {
  std::atomic<SyncHandle> target{0};
  std::atomic<bool> removed{false};
};
void RemoveAtDecode(SyncHandle, Handle h, uint32_t, void* user) {
  auto* r = static_cast<Remover*>(user);
  r->removed = ChannelRemoveSync(h, r->target.load());
}
}  // namespace

TEST(Playback, ASyncRemovedBeforeItsPositionIsHeardDoesNotFire) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(22050, 2), 44100, 2, 0);
  Fired heard, kept;
  Remover remover;
  const int64_t at = 4410 * 4;
  const SyncHandle removed = ChannelSetSync(h, SYNC_POS, at, &Heard, &heard);
  ASSERT_NE(removed, 0u);
  ASSERT_NE(ChannelSetSync(h, SYNC_POS, at + 4, &Heard, &kept), 0u) << "a neighbour that stays";
  remover.target = removed;
  // Decoding passes `at` first (queuing the heard sync), then this one removes it, all well
  // before the position is heard.
  ASSERT_NE(ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, at + 8, &RemoveAtDecode, &remover), 0u);
  ASSERT_TRUE(ChannelPlay(h, false));
  EXPECT_TRUE(WaitUntil([&] { return ChannelIsActive(h) == ACTIVE_STOPPED && kept.count.load() > 0; }));
  EXPECT_TRUE(remover.removed.load());
  EXPECT_EQ(heard.count.load(), 0);
  EXPECT_EQ(kept.count.load(), 1);
  ASSERT_TRUE(Free());
}

namespace {
struct Slow {
  std::atomic<bool> started{false};
  std::atomic<bool> done{false};
};
void SlowHeard(SyncHandle, Handle, uint32_t, void* user) {
  auto* s = static_cast<Slow*>(user);
  s->started = true;
  std::this_thread::sleep_for(150ms);
  s->done = true;
}
}  // namespace

// A heard sync runs on the notification thread: its removal, or the stream's freeing, on another
// thread returns only once a call already running has returned (its user data may go then).
TEST(Playback, RemovingOrFreeingWaitsForAHeardSyncThatRuns) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
  for (const bool free : {false, true}) {
    SCOPED_TRACE(free ? "StreamFree" : "ChannelRemoveSync");
    const Handle h = twtest::MakeStream(twtest::MarkerSignal(44100, 2), 44100, 2, 0);
    Slow slow;
    const SyncHandle sync = ChannelSetSync(h, SYNC_POS, 4410 * 4, &SlowHeard, &slow);
    ASSERT_NE(sync, 0u);
    ASSERT_TRUE(ChannelPlay(h, false));
    ASSERT_TRUE(WaitUntil([&] { return slow.started.load(); }));
    ASSERT_TRUE(free ? StreamFree(h) : ChannelRemoveSync(h, sync));
    EXPECT_TRUE(slow.done.load()) << "returned while the sync still ran";
    if (!free) StreamFree(h);
  }
  ASSERT_TRUE(Free());
}

// Paused, the heard position holds still (the device plays out what it had been handed), and
// playing on continues from there.
TEST(Playback, APausedPositionHoldsStill) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(44100 * 5, 2), 44100, 2, 0);
  ASSERT_TRUE(ChannelPlay(h, false));
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(ChannelPause(h));
  const int64_t paused = ChannelGetPosition(h, POS_BYTE);
  for (int i = 0; i < 10; ++i) {
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(ChannelGetPosition(h, POS_BYTE), paused) << "after " << (i + 1) * 50 << " ms";
  }
  // On from there, by what the device is handed after the resume: more by at most what it still
  // held at the pause (a call), less by at most the call under way at the resume and the one
  // not yet played out; judged by the device's frames, not the clock, which a loaded machine
  // lets run ahead of the device.
  DeviceFrames device;
  const uint64_t late = LateBlocks();
  const int64_t d0 = device.now();
  ASSERT_TRUE(ChannelPlay(h, false));
  ASSERT_TRUE(device.WaitPast(d0, 44100 / 5));
  const int64_t a = device.now();
  const int64_t moved = (ChannelGetPosition(h, POS_BYTE) - paused) / 4;
  const int64_t b = device.now();
  EXPECT_LE(moved, b - d0 + 2 * device.call());
  if (LateBlocks() == late) {
    EXPECT_GE(moved, a - d0 - 2 * device.call());
  }
  // A seek while paused is heard at once and holds still too, also once decoding has filled
  // ahead from the new position; playing on starts from it.
  ASSERT_TRUE(ChannelPause(h));
  const int64_t target = ChannelSeconds2Bytes(h, 1.0);
  ASSERT_TRUE(ChannelSetPosition(h, target, POS_BYTE));
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), target);
  for (int i = 0; i < 4; ++i) {
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(ChannelGetPosition(h, POS_BYTE), target) << "after " << (i + 1) * 50 << " ms";
  }
  ASSERT_TRUE(ChannelPlay(h, false));
  EXPECT_TRUE(WaitUntil([&] { return ChannelGetPosition(h, POS_BYTE) > target; }));
  EXPECT_LT(Seconds(h), 4.0) << "on from the seek, not from the old pause";
  ASSERT_TRUE(Free());
}

TEST(Playback, PositionSyncsFireWhenHeardMixTimeOnesWhenDecoded) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
  detail::OutputInfo info;
  ASSERT_TRUE(detail::CurrentOutputInfo(&info));
  DeviceFrames device;
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(44100, 2), 44100, 2, 0);
  Fired heard, decoded;
  const int64_t at = 22050 * 4;
  ASSERT_NE(ChannelSetSync(h, SYNC_POS, at, &Heard, &heard), 0u);
  ASSERT_NE(ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, at, &Decoded, &decoded), 0u);
  ASSERT_NE(ChannelSetSync(h, SYNC_END, 0, &EndHeard, &heard), 0u);
  const int64_t d0 = device.now();
  const auto t0 = Clock::now();
  ASSERT_TRUE(ChannelPlay(h, false));
  // STOPPED once the end has been heard, not when it was decoded: the device has played the
  // whole second by then.
  EXPECT_TRUE(WaitUntil([&] { return ChannelIsActive(h) == ACTIVE_STOPPED; }));
  EXPECT_GE(device.now() - d0, 44100 - static_cast<int64_t>(info.bufferFrames)) << "STOPPED before the end was heard";
  // The heard sync fires as its position is heard, half a second in: never before, and soon.
  EXPECT_TRUE(WaitUntil([&] { return heard.count.load() > 0; }));
  EXPECT_EQ(heard.count.load(), 1);
  EXPECT_GE(heard.heardAt.load(), at);
  EXPECT_LE(static_cast<double>(heard.heardAt - at) / (4 * 44100), 0.25);
  EXPECT_GE(std::chrono::duration<double>(heard.at - t0).count(), 0.5 - 0.005);
  // The mix-time one ran ahead, at decode time, while an earlier position was being heard.
  ASSERT_GE(decoded.decodedAt.load(), 0);
  EXPECT_LT(decoded.decodedAt.load(), at);
  EXPECT_GT(decoded.decodedAt.load(), at - 4 * 44100 / 5);
  EXPECT_TRUE(WaitUntil([&] { return heard.endSeen.load(); }));
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 44100 * 4);
  // Played to its end, Play starts again from the beginning.
  const int64_t d1 = device.now();
  ASSERT_TRUE(ChannelPlay(h, false));
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_PLAYING);
  EXPECT_LE(ChannelGetPosition(h, POS_BYTE) / 4, device.Since(d1));
  ASSERT_TRUE(Free());
}

namespace {
// A DSP that holds up decoding once, for longer than the engine decodes ahead of the device.
void StallOnce(DspHandle, Handle, void*, uint32_t, void* user) {
  auto* stalled = static_cast<std::atomic<bool>*>(user);
  if (!stalled->exchange(true)) std::this_thread::sleep_for(300ms);
}
}  // namespace

TEST(Playback, DecodingThatFallsBehindTheDeviceIsCounted) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(441000, 2), 44100, 2, 0);
  ASSERT_TRUE(ChannelPlay(h, false));
  ASSERT_TRUE(WaitUntil([&] { return Seconds(h) > 0.1; }));
  const uint64_t before = LateBlocks();
  std::atomic<bool> stalled{false};
  ASSERT_NE(ChannelSetDSP(h, &StallOnce, &stalled, 0), 0u);
  EXPECT_TRUE(WaitUntil([&] { return stalled.load() && LateBlocks() > before; }));
  ASSERT_TRUE(Free());
}

TEST(Playback, TheOutputLeavesTerminateAndInterruptToTheProgram) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
  for (const int sig : {SIGTERM, SIGINT}) {
    struct sigaction now {};
    ASSERT_EQ(sigaction(sig, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << "signal " << sig << " was taken over";
  }
  ASSERT_TRUE(Free());
}

TEST(Playback, TransportErrorsAndFree) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  EXPECT_FALSE(ChannelPlay(1, false));
  EXPECT_EQ(ErrorGetCode(), ERROR_INIT);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
  EXPECT_FALSE(Init(-1, 44100, 0, nullptr));
  EXPECT_EQ(ErrorGetCode(), ERROR_ALREADY);
  const Handle dec = twtest::MakeStream(twtest::MarkerSignal(100, 2), 44100, 2, STREAM_DECODE);
  EXPECT_FALSE(ChannelPlay(dec, false));
  EXPECT_EQ(ErrorGetCode(), ERROR_DECODE);
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(441000, 2), 44100, 2, 0);
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
  EXPECT_FALSE(ChannelPause(h)) << "not playing";
  EXPECT_TRUE(ChannelStop(h));
  ASSERT_TRUE(ChannelSetPosition(h, 44100 * 4, POS_BYTE));
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 44100 * 4);
  ASSERT_TRUE(ChannelPlay(h, false));
  EXPECT_TRUE(WaitUntil([&] { return ChannelGetPosition(h, POS_BYTE) > 44100 * 4; }));
  DeviceFrames device;
  const int64_t d0 = device.now();
  ASSERT_TRUE(ChannelPlay(h, true));
  EXPECT_LE(ChannelGetPosition(h, POS_BYTE) / 4, device.Since(d0)) << "restart";
  // A playing stream freed while it plays, then the engine freed with another one playing.
  const Handle other = twtest::MakeStream(twtest::MarkerSignal(441000, 2), 44100, 2, 0);
  ASSERT_TRUE(ChannelPlay(other, false));
  EXPECT_TRUE(WaitUntil([&] { return ChannelGetPosition(other, POS_BYTE) > 0; }));
  ASSERT_TRUE(StreamFree(h));
  EXPECT_FALSE(ChannelPlay(h, false));
  EXPECT_EQ(ErrorGetCode(), ERROR_HANDLE);
  std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(Free());
  EXPECT_FALSE(Free());
  EXPECT_FALSE(ChannelPlay(other, false));
  EXPECT_EQ(ErrorGetCode(), ERROR_INIT);
  EXPECT_EQ(ChannelGetPosition(other, POS_BYTE), -1);
  EXPECT_EQ(ChannelIsActive(other), ACTIVE_STOPPED);
}
