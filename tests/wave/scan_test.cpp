// The waveform scan on streams of known levels: what each column stores, where a scan ends,
// and how it is stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/engine.h"
#include "audio/engine_state.h"
#include "support/synthetic_source.h"
#include "wave/scan.h"

namespace {

using namespace audio;
using twtest::ConstantSource;
using twtest::SpikeSource;

constexpr size_t kColumns = 537;
constexpr uint32_t kRate = 44100;

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Init(-1, kRate, 0, nullptr)); }
  void TearDown() override { Free(); }

  Handle Stream(std::vector<int16_t> values, double seconds) {
    detail::Format f{kRate, static_cast<uint32_t>(values.size()), false};
    const auto frames = static_cast<int64_t>(seconds * kRate);
    return detail::AddChannel(f, STREAM_DECODE | STREAM_PRESCAN,
                              std::make_unique<ConstantSource>(std::move(values), frames));
  }
  // bytesPerPixel as opening a file sets it: the length over the columns, at least 0.02 s.
  static uint32_t BytesPerPixel(Handle h) {
    const int64_t length = ChannelGetLength(h, POS_BYTE);
    auto bpp = static_cast<uint32_t>(length / static_cast<int64_t>(kColumns));
    const auto minimum = static_cast<uint32_t>(ChannelSeconds2Bytes(h, 0.02));
    return bpp < minimum ? minimum : bpp;
  }
  void Scan(Handle h) {
    bpp.store(BytesPerPixel(h));
    wave::ScanTarget target{&peaks, &bpp, &stop};
    std::atomic<bool> cancel{false};
    wave::ScanPeaks(h, target, cancel);
  }

  wave::PeakBuffers peaks{kColumns};
  std::atomic<uint32_t> bpp{0};
  std::atomic<bool> stop{false};
};

TEST(BarHeight, RoundsLikeMulDiv) {
  EXPECT_EQ(wave::BarHeight(0), 0);
  EXPECT_EQ(wave::BarHeight(32768), 60);
  EXPECT_EQ(wave::BarHeight(16384), 30);
  EXPECT_EQ(wave::BarHeight(273), 0);  // 0.4998… rounds down
  EXPECT_EQ(wave::BarHeight(274), 1);  // 0.5017… rounds up
  EXPECT_EQ(wave::BarHeight(272), 0);
  EXPECT_EQ(wave::BarHeight(0xFFFF), 120);  // the error reading's half
}

TEST_F(ScanTest, FullScaleGivesSixtyInEveryColumnButTheFirst) {
  peaks.setLeft(0, 7);
  Handle h = Stream({-32768, 32767}, 60.0);
  Scan(h);
  EXPECT_EQ(peaks.left(0), 7);  // never written by a scan
  EXPECT_EQ(peaks.right(0), 0);
  for (size_t i = 1; i < kColumns; ++i) {
    ASSERT_EQ(peaks.left(i), 60) << i;
    ASSERT_EQ(peaks.right(i), 60) << i;
  }
  // The scan freed its stream.
  EXPECT_FALSE(StreamFree(h));
}

TEST_F(ScanTest, SilenceGivesZeroAndMonoGivesEqualHalves) {
  for (size_t i = 0; i < kColumns; ++i) peaks.setLeft(i, 33);
  Scan(Stream({0, 0}, 30.0));
  for (size_t i = 1; i < kColumns; ++i) ASSERT_EQ(peaks.left(i), 0) << i;
  Scan(Stream({8192}, 30.0));
  for (size_t i = 1; i < kColumns; ++i) {
    ASSERT_EQ(peaks.left(i), 15) << i;
    ASSERT_EQ(peaks.right(i), 15) << i;
  }
}

TEST_F(ScanTest, EveryReadingIsKeptAtTheTwentyMillisecondsItRead) {
  constexpr int64_t kReading = 882, kFrames = 1500 * kReading;  // frames of 20 ms; 30 s
  // Spikes in readings 0, 7, 8, 777 and the last, which ends the stream.
  const std::vector<int64_t> spikes{3, 7 * kReading + 881, 8 * kReading, 777 * kReading + 400, kFrames - 1};
  Handle h = detail::AddChannel(detail::Format{kRate, 2, false}, STREAM_DECODE | STREAM_PRESCAN,
                                std::make_unique<SpikeSource>(spikes, kFrames));
  peaks.ResetReadings(ChannelGetLength(h, POS_BYTE), ChannelSeconds2Bytes(h, 0.02));
  ASSERT_EQ(peaks.readingCount(), 1500u);
  Scan(h);
  std::vector<size_t> loud;
  for (size_t k = 0; k < peaks.readingCount(); ++k) {
    if (peaks.readingLeft(k) == 0 && peaks.readingRight(k) == 0) continue;
    loud.push_back(k);
    EXPECT_EQ(peaks.readingLeft(k) + peaks.readingRight(k), 120) << k;
  }
  EXPECT_EQ(loud, (std::vector<size_t>{0, 7, 8, 777, 1499}));
}

TEST_F(ScanTest, ShortFileEndsAboutTwoHundredFiftyColumnsInAndKeepsTheRest) {
  Scan(Stream({16384, 16384}, 60.0));
  Handle h = Stream({32767, 32767}, 5.0);
  EXPECT_EQ(BytesPerPixel(h), 3528u);
  Scan(h);
  // 5 s in 0.02-s columns: 250 columns; the reading that ends the stream lands after the last.
  size_t last = 0;
  for (size_t i = 1; i < kColumns; ++i)
    if (peaks.left(i) == 60) last = i;
  EXPECT_GE(last, 249u);
  EXPECT_LE(last, 251u);
  for (size_t i = last + 1; i < kColumns; ++i) ASSERT_EQ(peaks.left(i), 30) << i;
}

// What the window does to a running scan, done by a mix-time sync on the scan's stream: at an
// exact point of its reading, however fast or slowly the scan runs.
void SetFlag(SyncHandle, Handle, uint32_t, void* user) { static_cast<std::atomic<bool>*>(user)->store(true); }
void ZeroScale(SyncHandle, Handle, uint32_t, void* user) { static_cast<std::atomic<uint32_t>*>(user)->store(0); }

// Waits for a scan to finish, for as long as a loaded machine may need.
bool Finishes(const wave::TScanThread& scan) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!scan.finished() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return scan.finished();
}

TEST_F(ScanTest, StopFlagEndsTheScanAndFreesItsStream) {
  Handle h = Stream({1000, 1000}, 3600.0);
  bpp.store(BytesPerPixel(h));
  // The flag is set once a minute of the hour (about nine columns) has been read.
  ASSERT_NE(ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, ChannelSeconds2Bytes(h, 60.0), &SetFlag, &stop), 0u);
  wave::TScanThread scan(h, wave::ScanTarget{&peaks, &bpp, &stop});
  // The flag alone ends it (Stop() would cancel it too), long before the hour is read.
  ASSERT_TRUE(Finishes(scan));
  EXPECT_NE(peaks.left(8), 0);
  for (size_t i = 12; i < kColumns; ++i) ASSERT_EQ(peaks.left(i), 0) << "the scan read on to column " << i;
  EXPECT_FALSE(StreamFree(h));
}

TEST_F(ScanTest, ClosingWindowZeroingBytesPerPixelEndsTheScanSafely) {
  Handle h = Stream({1000, 1000}, 3600.0);
  bpp.store(BytesPerPixel(h));
  ASSERT_NE(ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, ChannelSeconds2Bytes(h, 60.0), &ZeroScale, &bpp), 0u);
  wave::TScanThread scan(h, wave::ScanTarget{&peaks, &bpp, &stop});
  // No division by zero, the scan simply ends.
  EXPECT_TRUE(Finishes(scan));
  for (size_t i = 12; i < kColumns; ++i) ASSERT_EQ(peaks.left(i), 0) << "the scan read on to column " << i;
}

TEST_F(ScanTest, AnotherScanStartsOnlyAfterTheFirstHasStopped) {
  Handle first = Stream({32767, 32767}, 3600.0);
  bpp.store(BytesPerPixel(first));
  auto scan = std::make_unique<wave::TScanThread>(first, wave::ScanTarget{&peaks, &bpp, &stop});
  scan->Stop();  // what opening another file does before it starts the next scan
  Handle second = Stream({0, 0}, 60.0);
  bpp.store(BytesPerPixel(second));
  scan = std::make_unique<wave::TScanThread>(second, wave::ScanTarget{&peaks, &bpp, &stop});
  ASSERT_TRUE(Finishes(*scan));
  for (size_t i = 1; i < kColumns; ++i) ASSERT_EQ(peaks.left(i), 0) << i;
}

}  // namespace
