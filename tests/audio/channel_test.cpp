// The channel pipeline through the engine's API: reading, positions, syncs, DSPs, levels and
// handles, on streams built around a synthetic source whose every sample is known.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_state.h"
#include "support/synthetic_source.h"

namespace {

using namespace audio;

using twtest::ConstantSource;
using twtest::SampleAt;
using twtest::SyntheticSource;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kChans = 2;
constexpr uint32_t kBpf = 4;

class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { Free(); }

  Handle MakeStream(int64_t frames, uint32_t chans = kChans) {
    detail::Format f{kRate, chans, false};
    return detail::AddChannel(f, STREAM_DECODE, std::make_unique<SyntheticSource>(chans, frames));
  }
};

// Recovers the source frame number of each frame read by matching against SampleAt.
int64_t FrameNumber(const int16_t* frame, int64_t guess) {
  for (int64_t d = 0; d < 4; ++d) {
    for (int64_t g : {guess + d, guess - d}) {
      if (g >= 0 && frame[0] == SampleAt(g, 0) && frame[1] == SampleAt(g, 1)) return g;
    }
  }
  return -1;
}

TEST_F(ChannelTest, ReadsWholeFramesAndEndsWithoutErrorOnTheLastRead) {
  Handle h = MakeStream(1000);
  ASSERT_NE(h, 0u);
  std::vector<int16_t> buf(4096);
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_PLAYING);
  // 1023 bytes is 255 whole frames.
  EXPECT_EQ(ChannelGetData(h, buf.data(), 1023), 1020u);
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 1020);
  for (int f = 0; f < 255; ++f) ASSERT_EQ(buf[f * 2 + 1], SampleAt(f, 1)) << f;
  // The read that delivers the last data returns its count; the channel is then stopped.
  EXPECT_EQ(ChannelGetData(h, buf.data(), 8000), (1000u - 255u) * kBpf);
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
  EXPECT_EQ(ChannelGetData(h, buf.data(), 8000), DATA_ERROR);
  EXPECT_EQ(ErrorGetCode(), ERROR_ENDED);
  EXPECT_EQ(ChannelGetLevel(h), DATA_ERROR);
}

TEST_F(ChannelTest, ByteAndSecondConversions) {
  Handle h = MakeStream(441000);
  EXPECT_EQ(ChannelSeconds2Bytes(h, 0.02), 3528);
  EXPECT_EQ(ChannelSeconds2Bytes(h, 1.0), 176400);
  EXPECT_EQ(ChannelSeconds2Bytes(h, 0.0000227), 4);  // rounds down to whole frames
  EXPECT_EQ(ChannelSeconds2Bytes(h, -1.0), -1);
  EXPECT_DOUBLE_EQ(ChannelBytes2Seconds(h, 176400), 1.0);
  EXPECT_DOUBLE_EQ(ChannelBytes2Seconds(h, 3528), 0.02);
  EXPECT_EQ(ChannelGetLength(h, POS_BYTE), 441000 * 4);
  ChannelInfo info{};
  ASSERT_TRUE(ChannelGetInfo(h, &info));
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(info.bits, 16u);
}

TEST_F(ChannelTest, SeeksInsideTheDataOnly) {
  Handle h = MakeStream(1000);
  EXPECT_TRUE(ChannelSetPosition(h, 400, POS_BYTE));
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 400);
  int16_t frame[2];
  ASSERT_EQ(ChannelGetData(h, frame, 4), 4u);
  EXPECT_EQ(frame[0], SampleAt(100, 0));
  EXPECT_FALSE(ChannelSetPosition(h, 4004, POS_BYTE));
  EXPECT_EQ(ErrorGetCode(), ERROR_POSITION);
  EXPECT_FALSE(ChannelSetPosition(h, -4, POS_BYTE));
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 404);
  // The end itself is a valid position; after the end, a seek makes the stream active again.
  std::vector<int16_t> buf(4000);
  EXPECT_TRUE(ChannelSetPosition(h, 4000, POS_BYTE));
  ChannelGetData(h, buf.data(), 400);
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
  EXPECT_TRUE(ChannelSetPosition(h, 0, POS_BYTE));
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_PLAYING);
  EXPECT_EQ(ChannelGetData(h, buf.data(), 16000), 4000u);
}

struct SyncLog {
  Handle channel = 0;
  std::vector<int64_t> positions;  // the channel's byte position when each call came
  int64_t seekTo = -1;             // seek there from inside the callback (once)
};

void RecordSync(SyncHandle, Handle channel, uint32_t, void* user) {
  auto* log = static_cast<SyncLog*>(user);
  log->positions.push_back(ChannelGetPosition(channel, POS_BYTE));
  if (log->seekTo >= 0) {
    int64_t to = log->seekTo;
    log->seekTo = -1;
    ChannelSetPosition(channel, to, POS_BYTE);
  }
}

TEST_F(ChannelTest, PositionSyncsFireJustBeforeTheirData) {
  Handle h = MakeStream(10000);
  SyncLog atZero, mid, boundary, past, unaligned;
  ASSERT_NE(ChannelSetSync(h, SYNC_POS, 0, RecordSync, &atZero), 0u);
  ASSERT_NE(ChannelSetSync(h, SYNC_POS, 1234 * kBpf, RecordSync, &mid), 0u);
  ASSERT_NE(ChannelSetSync(h, SYNC_POS, 2048 * kBpf, RecordSync, &boundary), 0u);
  ASSERT_NE(ChannelSetSync(h, SYNC_POS, 20000 * kBpf, RecordSync, &past), 0u);
  ASSERT_NE(ChannelSetSync(h, SYNC_POS, 3000 * kBpf + 1, RecordSync, &unaligned), 0u);
  std::vector<int16_t> buf(1024 * 2);
  // Blocks of 1024 frames: 2048 is a block boundary, 1234 lies inside the second block.
  uint32_t got;
  while ((got = ChannelGetData(h, buf.data(), 1024 * kBpf)) != DATA_ERROR && got > 0) {
  }
  EXPECT_EQ(atZero.positions, std::vector<int64_t>{0});
  EXPECT_EQ(mid.positions, std::vector<int64_t>{1234 * kBpf});
  EXPECT_EQ(boundary.positions, std::vector<int64_t>{2048 * kBpf});
  EXPECT_EQ(unaligned.positions, std::vector<int64_t>{3000 * kBpf});
  EXPECT_TRUE(past.positions.empty());
}

TEST_F(ChannelTest, SeekInsideASyncTakesEffectAtTheSyncPoint) {
  Handle h = MakeStream(10000);
  SyncLog loop;
  loop.seekTo = 100 * kBpf;
  ASSERT_NE(ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, 700 * kBpf, RecordSync, &loop), 0u);
  std::vector<int16_t> buf(1000 * 2);
  ASSERT_EQ(ChannelGetData(h, buf.data(), 1000 * kBpf), 1000u * kBpf);
  // Frames 0..699, then 100..399: no gap, no repeat at the jump.
  for (int i = 0; i < 1000; ++i) {
    const int64_t expect = i < 700 ? i : 100 + (i - 700);
    ASSERT_EQ(buf[i * 2], SampleAt(expect, 0)) << "frame " << i;
    ASSERT_EQ(buf[i * 2 + 1], SampleAt(expect, 1)) << "frame " << i;
  }
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 400 * kBpf);
  // Reaching 700 again fires it again (once per arrival); it does not seek this time.
  ChannelGetData(h, buf.data(), 400 * kBpf);
  EXPECT_EQ(loop.positions.size(), 2u);
}

TEST_F(ChannelTest, SyncSeekingToItsOwnPositionDoesNotLoopForever) {
  Handle h = MakeStream(1000);
  SyncLog self;
  self.seekTo = 500 * kBpf;
  ChannelSetSync(h, SYNC_POS, 500 * kBpf, RecordSync, &self);
  std::vector<int16_t> buf(1000 * 2);
  EXPECT_EQ(ChannelGetData(h, buf.data(), 1000 * kBpf), 1000u * kBpf);
  EXPECT_EQ(self.positions.size(), 1u);
  EXPECT_EQ(buf[600 * 2], SampleAt(600, 0));
}

TEST_F(ChannelTest, EndSyncFiresAtTheEndAndASeekInsideItContinuesTheStream) {
  Handle h = MakeStream(1000);
  SyncLog end;
  end.seekTo = 0;
  ASSERT_NE(ChannelSetSync(h, SYNC_END | SYNC_MIXTIME, 0, RecordSync, &end), 0u);
  std::vector<int16_t> buf(1500 * 2);
  ASSERT_EQ(ChannelGetData(h, buf.data(), 1500 * kBpf), 1500u * kBpf);
  EXPECT_EQ(end.positions, std::vector<int64_t>{1000 * kBpf});
  EXPECT_EQ(buf[999 * 2], SampleAt(999, 0));
  EXPECT_EQ(buf[1000 * 2], SampleAt(0, 0));
  EXPECT_EQ(buf[1499 * 2 + 1], SampleAt(499, 1));
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_PLAYING);
  // The second time the end is reached nothing seeks: the stream ends there.
  EXPECT_EQ(ChannelGetData(h, buf.data(), 1500 * kBpf), 500u * kBpf);
  EXPECT_EQ(end.positions.size(), 2u);
  EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
}

TEST_F(ChannelTest, RemovedSyncsNeverFire) {
  Handle h = MakeStream(1000);
  SyncLog log;
  SyncHandle s = ChannelSetSync(h, SYNC_POS, 100 * kBpf, RecordSync, &log);
  EXPECT_TRUE(ChannelRemoveSync(h, s));
  EXPECT_FALSE(ChannelRemoveSync(h, s));
  EXPECT_EQ(ErrorGetCode(), ERROR_HANDLE);
  std::vector<int16_t> buf(1000 * 2);
  ChannelGetData(h, buf.data(), 1000 * kBpf);
  EXPECT_TRUE(log.positions.empty());
}

struct DspLog {
  std::vector<int>* order;
  int id;
  Handle channel = 0;
  DspHandle self = 0;
  bool removeSelf = false;
  int calls = 0;
  uint32_t bytes = 0;
};

void RecordDsp(DspHandle, Handle channel, void* buffer, uint32_t length, void* user) {
  auto* log = static_cast<DspLog*>(user);
  log->order->push_back(log->id);
  ++log->calls;
  log->bytes += length;
  // Mark the data so the order of application shows in the output: x -> x * 2 + id.
  auto* v = static_cast<int16_t*>(buffer);
  for (uint32_t i = 0; i < length / 2; ++i) v[i] = static_cast<int16_t>(v[i] * 2 + log->id);
  if (log->removeSelf) ChannelRemoveDSP(channel, log->self);
}

TEST_F(ChannelTest, DspsRunByPriorityThenInstallationOrder) {
  Handle h = MakeStream(1000);
  std::vector<int> order;
  DspLog a{&order, 1}, b{&order, 2}, c{&order, 3}, d{&order, 4};
  ChannelSetDSP(h, RecordDsp, &a, 0);
  ChannelSetDSP(h, RecordDsp, &b, 5);
  ChannelSetDSP(h, RecordDsp, &c, 0);
  ChannelSetDSP(h, RecordDsp, &d, -3);
  std::vector<int16_t> buf(100 * 2);
  ASSERT_EQ(ChannelGetData(h, buf.data(), 100 * kBpf), 100u * kBpf);
  EXPECT_EQ(order, (std::vector<int>{2, 1, 3, 4}));
  int16_t x = SampleAt(7, 1);
  for (int id : {2, 1, 3, 4}) x = static_cast<int16_t>(x * 2 + id);
  EXPECT_EQ(buf[7 * 2 + 1], x);
}

TEST_F(ChannelTest, DspRemovingItselfDuringItsCallIsSafe) {
  Handle h = MakeStream(1000);
  std::vector<int> order;
  DspLog once{&order, 1}, stays{&order, 2};
  once.removeSelf = true;
  once.self = ChannelSetDSP(h, RecordDsp, &once, 0);
  ChannelSetDSP(h, RecordDsp, &stays, 0);
  std::vector<int16_t> buf(100 * 2);
  for (int i = 0; i < 3; ++i) ChannelGetData(h, buf.data(), 100 * kBpf);
  EXPECT_EQ(once.calls, 1);
  EXPECT_EQ(stays.calls, 3);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 2, 2}));
  EXPECT_FALSE(ChannelRemoveDSP(h, once.self));
}

void InstallDspFromSync(SyncHandle, Handle channel, uint32_t, void* user) {
  auto* log = static_cast<DspLog*>(user);
  log->self = ChannelSetDSP(channel, RecordDsp, log, 0);
}

TEST_F(ChannelTest, DspSetBySyncActsFromTheSyncPoint) {
  Handle h = MakeStream(1000);
  std::vector<int> order;
  DspLog late{&order, 9};
  ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, 300 * kBpf, InstallDspFromSync, &late);
  std::vector<int16_t> buf(1000 * 2);
  ASSERT_EQ(ChannelGetData(h, buf.data(), 1000 * kBpf), 1000u * kBpf);
  EXPECT_EQ(buf[299 * 2], SampleAt(299, 0));
  EXPECT_EQ(buf[300 * 2], static_cast<int16_t>(SampleAt(300, 0) * 2 + 9));
  EXPECT_EQ(late.bytes, 700u * kBpf);
}

TEST_F(ChannelTest, LevelsReadTwentyMillisecondsOfPeaks) {
  detail::Format f{kRate, 2, false};
  Handle h = detail::AddChannel(f, STREAM_DECODE,
                                std::make_unique<ConstantSource>(std::vector<int16_t>{-32768, 8192}, 1000));
  uint32_t level = ChannelGetLevel(h);
  EXPECT_EQ(level & 0xFFFF, 32768u);
  EXPECT_EQ(level >> 16, 8192u);
  EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), 882 * kBpf);  // it consumes 0.02 s
  detail::Format mono{kRate, 1, false};
  Handle m = detail::AddChannel(mono, STREAM_DECODE,
                                std::make_unique<ConstantSource>(std::vector<int16_t>{12000}, 1000));
  level = ChannelGetLevel(m);
  EXPECT_EQ(level & 0xFFFF, 12000u);
  EXPECT_EQ(level >> 16, 12000u);
  // 1000 frames: 882, then the last 118, then nothing.
  EXPECT_NE(ChannelGetLevel(m), DATA_ERROR);
  EXPECT_EQ(ChannelIsActive(m), ACTIVE_STOPPED);
  EXPECT_EQ(ChannelGetLevel(m), DATA_ERROR);
}

TEST_F(ChannelTest, StaleAndUnknownHandlesAreRejectedWithoutEffect) {
  Handle h = MakeStream(1000);
  ASSERT_TRUE(StreamFree(h));
  std::vector<int16_t> buf(64);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(StreamFree(h));
    EXPECT_EQ(ErrorGetCode(), ERROR_HANDLE);
    EXPECT_EQ(ChannelGetData(h, buf.data(), 64), DATA_ERROR);
    EXPECT_EQ(ChannelGetLength(h, POS_BYTE), -1);
    EXPECT_LT(ChannelBytes2Seconds(h, 100), 0.0);
    EXPECT_EQ(ChannelSeconds2Bytes(h, 1.0), -1);
    EXPECT_EQ(ChannelGetPosition(h, POS_BYTE), -1);
    EXPECT_FALSE(ChannelSetPosition(h, 0, POS_BYTE));
    EXPECT_EQ(ChannelSetDSP(h, RecordDsp, nullptr, 0), 0u);
    EXPECT_EQ(ChannelSetSync(h, SYNC_END, 0, RecordSync, nullptr), 0u);
    EXPECT_EQ(ChannelGetLevel(h), DATA_ERROR);
    EXPECT_EQ(ChannelIsActive(h), ACTIVE_STOPPED);
  }
  EXPECT_EQ(ChannelGetData(0, buf.data(), 64), DATA_ERROR);
  EXPECT_EQ(ChannelGetData(0xDEADBEEF, buf.data(), 64), DATA_ERROR);
  // A new stream gets a new handle, never the freed one.
  Handle again = MakeStream(10);
  EXPECT_NE(again, h);
}

TEST_F(ChannelTest, FreeReleasesEverythingAndLaterCallsFailCleanly) {
  Handle a = MakeStream(1000), b = MakeStream(1000);
  SyncLog log;
  ChannelSetSync(a, SYNC_POS, 0, RecordSync, &log);
  ASSERT_TRUE(Free());
  std::vector<int16_t> buf(64);
  EXPECT_EQ(ChannelGetData(a, buf.data(), 64), DATA_ERROR);
  EXPECT_EQ(ErrorGetCode(), ERROR_INIT);
  EXPECT_FALSE(StreamFree(b));
  EXPECT_FALSE(Free());
  EXPECT_TRUE(log.positions.empty());
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));  // for TearDown
}

TEST_F(ChannelTest, VersionIsTwoPointFour) { EXPECT_EQ(GetVersion() >> 16, 0x0204u); }

// Two threads each decode their own stream while a third sets and removes DSPs and syncs on
// both: run under ThreadSanitizer this finds unguarded state.
void CountDsp(DspHandle, Handle, void*, uint32_t length, void* user) {
  static_cast<std::atomic<uint64_t>*>(user)->fetch_add(length);
}

void CountSync(SyncHandle, Handle, uint32_t, void* user) {
  static_cast<std::atomic<uint64_t>*>(user)->fetch_add(1);
}

TEST_F(ChannelTest, ConcurrentReadersAndCallbackChanges) {
  Handle a = MakeStream(2'000'000), b = MakeStream(2'000'000);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> seen{0};
  auto reader = [&](Handle h) {
    std::vector<int16_t> buf(512 * 2);
    int64_t expect = 0;
    for (;;) {
      uint32_t got = ChannelGetData(h, buf.data(), 512 * kBpf);
      if (got == DATA_ERROR || got == 0) break;
      for (uint32_t f = 0; f < got / kBpf; f += 97) {
        if (FrameNumber(&buf[f * 2], expect + f) < 0) {
          ADD_FAILURE() << "frame mismatch";
          return;
        }
      }
      expect += got / kBpf;
    }
  };
  std::thread ta(reader, a), tb(reader, b);
  std::thread changer([&] {
    while (!stop.load()) {
      for (Handle h : {a, b}) {
        DspHandle d = ChannelSetDSP(h, CountDsp, &seen, 1);
        SyncHandle s = ChannelSetSync(h, SYNC_POS, 1'500'000 * kBpf, CountSync, &seen);
        std::this_thread::yield();
        ChannelRemoveDSP(h, d);
        ChannelRemoveSync(h, s);
        ChannelGetPosition(h, POS_BYTE);
      }
    }
  });
  ta.join();
  tb.join();
  stop = true;
  changer.join();
  EXPECT_EQ(ChannelIsActive(a), ACTIVE_STOPPED);
  EXPECT_EQ(ChannelIsActive(b), ACTIVE_STOPPED);
}

}  // namespace
