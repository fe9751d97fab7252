// The mixer: rate and channel conversion of its sources, the end of the data, AUTOFREE, and the
// sources' syncs and DSPs running inside the mixer's reads.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "audio/engine.h"
#include "memory_stream.h"
#include "support/fixtures.h"

using namespace audio;

namespace {

class Mixer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { Free(); }
};

std::vector<int16_t> ReadAll16(Handle h, uint32_t block = 1024) {
  std::vector<int16_t> all;
  std::vector<int16_t> buf(block / 2);
  while (ChannelIsActive(h) != ACTIVE_STOPPED) {
    const uint32_t n = ChannelGetData(h, buf.data(), block);
    EXPECT_NE(n, DATA_ERROR) << "error " << ErrorGetCode();
    if (n == DATA_ERROR) break;
    all.insert(all.end(), buf.begin(), buf.begin() + n / 2);
  }
  return all;
}

std::vector<float> ReadAllFloat(Handle h) {
  std::vector<float> all, buf(1024);
  while (ChannelIsActive(h) != ACTIVE_STOPPED) {
    const uint32_t n = ChannelGetData(h, buf.data(), 4096);
    if (n == DATA_ERROR) break;
    all.insert(all.end(), buf.begin(), buf.begin() + n / 4);
  }
  return all;
}

// RMS of channel `c` of interleaved data, skipping `skip` frames at each end.
template <typename T>
double Rms(const std::vector<T>& v, uint32_t chans, uint32_t c, size_t skip, double scale) {
  const size_t frames = v.size() / chans;
  double sum = 0;
  size_t n = 0;
  for (size_t i = skip; i + skip < frames; ++i, ++n) {
    const double x = v[i * chans + c] / scale;
    sum += x * x;
  }
  return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

template <typename T>
double Peak(const std::vector<T>& v, uint32_t chans, uint32_t c, size_t skip, double scale) {
  const size_t frames = v.size() / chans;
  double p = 0;
  for (size_t i = skip; i + skip < frames; ++i) p = std::max(p, std::fabs(v[i * chans + c] / scale));
  return p;
}

std::vector<float> Sine(size_t frames, uint32_t chans, uint32_t rate, const std::vector<double>& amp) {
  std::vector<float> v(frames * chans);
  for (size_t i = 0; i < frames; ++i) {
    for (uint32_t c = 0; c < chans; ++c) {
      v[i * chans + c] = static_cast<float>(amp[c] * std::sin(2 * M_PI * (300.0 + 100 * c) * i / rate));
    }
  }
  return v;
}

}  // namespace

TEST_F(Mixer, ConvertsRateAndChannelsToItsOwnFormat) {
  struct Case {
    uint32_t rate, chans;
    std::vector<double> amp;
    double left, right;  // expected peaks at the mixer's output
  };
  const double k = 1.0 / (1.0 + 2 * M_SQRT1_2);  // 5.1 rows are scaled so they cannot clip
  const std::vector<Case> cases = {
      {48000, 1, {0.5}, 0.5, 0.5},           // mono: both sides at the mono level
      {22050, 2, {0.5, 0.25}, 0.5, 0.25},
      {8000, 1, {0.8}, 0.8, 0.8},
      {48000, 6, {0.5, 0, 0, 0, 0, 0}, 0.5 * k, 0},                            // FL
      {48000, 6, {0, 0, 0.5, 0, 0, 0}, 0.5 * M_SQRT1_2 * k, 0.5 * M_SQRT1_2 * k},  // centre
      {48000, 6, {0, 0, 0, 0.9, 0, 0}, 0, 0},                                  // LFE dropped
      {48000, 6, {0, 0, 0, 0, 0, 0.5}, 0, 0.5 * M_SQRT1_2 * k},                // right surround
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.chans << " channels");
    const size_t frames = c.rate;  // one second
    const Handle src = twtest::MakeStream(Sine(frames, c.chans, c.rate, c.amp), c.rate, c.chans, STREAM_DECODE);
    const Handle mixer = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
    ASSERT_NE(mixer, 0u);
    ASSERT_TRUE(Mixer_StreamAddChannel(mixer, src, MIXER_DOWNMIX | STREAM_AUTOFREE));
    const auto out = ReadAll16(mixer);
    EXPECT_NEAR(static_cast<double>(out.size() / 2), 44100.0, 64.0) << "length";
    EXPECT_NEAR(Peak(out, 2, 0, 500, 32768.0), c.left, 0.01);
    EXPECT_NEAR(Peak(out, 2, 1, 500, 32768.0), c.right, 0.01);
    EXPECT_TRUE(StreamFree(mixer));
  }
}

TEST_F(Mixer, FixtureFilesBecome441StereoOfTheRightLengthAndLevel) {
  const double k = 1.0 / (1.0 + 2 * M_SQRT1_2);
  // Rows of the stereo fold for mono, stereo and 5.1 sources.
  auto row = [&](uint32_t chans, int side) -> std::vector<double> {
    if (chans == 1) return {1.0};
    if (chans == 2) return side == 0 ? std::vector<double>{1, 0} : std::vector<double>{0, 1};
    const double s = M_SQRT1_2 * k;
    return side == 0 ? std::vector<double>{k, 0, s, 0, s, 0} : std::vector<double>{0, k, s, 0, 0, s};
  };
  struct Case {
    const char* name;
    double tolerance;
  };
  for (const Case& f : {Case{"48k_mono.wav", 0.02}, Case{"22k.wav", 0.02}, Case{"8k.wav", 0.02},
                        Case{"surround51.wav", 0.02}, Case{"surround51.ac3", 0.05}}) {
    SCOPED_TRACE(f.name);
    const std::string path = twtest::Fixture(f.name);
    // The source on its own, for its length and its channels' levels.
    const Handle probe = StreamCreateFile(path.c_str(), 0, 0, STREAM_DECODE | SAMPLE_FLOAT);
    ASSERT_NE(probe, 0u) << ErrorGetCode();
    ChannelInfo info{};
    ASSERT_TRUE(ChannelGetInfo(probe, &info));
    const auto raw = ReadAllFloat(probe);
    StreamFree(probe);
    const double srcFrames = static_cast<double>(raw.size() / info.chans);

    const Handle src = StreamCreateFile(path.c_str(), 0, 0, STREAM_DECODE | SAMPLE_FLOAT);
    const Handle mixer = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
    ASSERT_TRUE(Mixer_StreamAddChannel(mixer, src, MIXER_DOWNMIX | STREAM_AUTOFREE));
    const auto out = ReadAll16(mixer);
    EXPECT_NEAR(static_cast<double>(out.size() / 2), srcFrames * 44100 / info.freq, 64.0);
    for (int side = 0; side < 2; ++side) {
      // The channels carry independent signals: their powers add through the fold.
      const auto r = row(info.chans, side);
      double power = 0;
      for (uint32_t c = 0; c < info.chans; ++c) {
        const double rms = Rms(raw, info.chans, c, 2000, 1.0);
        power += r[c] * r[c] * rms * rms;
      }
      const double expected = std::sqrt(power);
      EXPECT_NEAR(Rms(out, 2, side, 2000, 32768.0) / expected, 1.0, f.tolerance) << "side " << side;
    }
    StreamFree(mixer);
  }
}

TEST_F(Mixer, TheLastReadDeliversItsDataWithoutAnError) {
  for (const uint32_t rate : {44100u, 48000u}) {
    SCOPED_TRACE(rate);
    const Handle src = twtest::MakeStream(twtest::MarkerSignal(1000, 2), rate, 2, STREAM_DECODE);
    const Handle mixer = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
    ASSERT_TRUE(Mixer_StreamAddChannel(mixer, src, 0));
    std::vector<uint8_t> buf(1024);
    uint64_t total = 0;
    uint32_t n = 0;
    while (true) {
      ASSERT_EQ(ChannelIsActive(mixer), ACTIVE_PLAYING);
      n = ChannelGetData(mixer, buf.data(), 1024);
      ASSERT_NE(n, DATA_ERROR) << "a read before the end failed";
      total += n;
      if (ChannelIsActive(mixer) == ACTIVE_STOPPED) break;
      ASSERT_LT(total, 100000u);
    }
    EXPECT_GT(n, 0u) << "the read that ends the data delivers data";
    if (rate == 44100) {
      EXPECT_EQ(total, 4000u);
      EXPECT_EQ(n, 4000u - 3 * 1024);
    } else {
      EXPECT_NEAR(static_cast<double>(total) / 4, 1000.0 * 44100 / 48000, 40);
    }
    EXPECT_EQ(ChannelGetData(mixer, buf.data(), 1024), DATA_ERROR);
    EXPECT_EQ(ErrorGetCode(), ERROR_ENDED);
    StreamFree(mixer);
  }
}

TEST_F(Mixer, SamplesPassExactlyAtTheSameRate) {
  const auto samples = twtest::MarkerSignal(5000, 2);
  const Handle src = twtest::MakeStream(samples, 44100, 2, STREAM_DECODE);
  const Handle mixer = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
  ASSERT_TRUE(Mixer_StreamAddChannel(mixer, src, MIXER_DOWNMIX));
  EXPECT_EQ(ReadAll16(mixer, 4 * 333), samples);
}

TEST_F(Mixer, AutofreeSourcesGoWhenTheyEndOrWithTheMixer) {
  const Handle a = twtest::MakeStream(twtest::MarkerSignal(500, 2), 44100, 2, STREAM_DECODE);
  const Handle b = twtest::MakeStream(twtest::MarkerSignal(100000, 2), 44100, 2, STREAM_DECODE);
  const Handle keep = twtest::MakeStream(twtest::MarkerSignal(100000, 2), 44100, 2, STREAM_DECODE);
  const Handle mixer = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
  ASSERT_TRUE(Mixer_StreamAddChannel(mixer, a, STREAM_AUTOFREE));
  ASSERT_TRUE(Mixer_StreamAddChannel(mixer, b, STREAM_AUTOFREE));
  ASSERT_TRUE(Mixer_StreamAddChannel(mixer, keep, 0));
  std::vector<uint8_t> buf(8192);
  ASSERT_EQ(ChannelGetData(mixer, buf.data(), 8192), 8192u);
  ChannelInfo info{};
  EXPECT_FALSE(ChannelGetInfo(a, &info)) << "ended: freed";
  EXPECT_EQ(ErrorGetCode(), ERROR_HANDLE);
  EXPECT_TRUE(ChannelGetInfo(b, &info)) << "still playing";
  ASSERT_TRUE(StreamFree(mixer));
  EXPECT_FALSE(ChannelGetInfo(b, &info)) << "went with the mixer";
  EXPECT_TRUE(ChannelGetInfo(keep, &info)) << "not AUTOFREE: stays";
  EXPECT_EQ(ChannelGetPosition(keep, POS_BYTE), 8192);
}

namespace {
struct SyncLog {
  Handle source = 0;
  Handle mixer = 0;
  std::thread::id reader;
  std::atomic<bool> inRead{false};
  std::vector<int64_t> sourcePositions;
  bool rightThread = true;
  bool insideRead = true;
};
void RecordSync(SyncHandle, Handle channel, uint32_t, void* user) {
  auto* log = static_cast<SyncLog*>(user);
  log->sourcePositions.push_back(ChannelGetPosition(channel, POS_BYTE));
  if (std::this_thread::get_id() != log->reader) log->rightThread = false;
  if (!log->inRead) log->insideRead = false;
}
void NegateFloat(DspHandle, Handle, void* buffer, uint32_t length, void*) {
  auto* s = static_cast<float*>(buffer);
  for (uint32_t i = 0; i < length / 4; ++i) s[i] = -s[i];
}
void Halve16(DspHandle, Handle, void* buffer, uint32_t length, void*) {
  auto* s = static_cast<int16_t*>(buffer);
  for (uint32_t i = 0; i < length / 2; ++i) s[i] = static_cast<int16_t>(s[i] / 2);
}
}  // namespace

TEST_F(Mixer, SourceSyncsAndDspsRunInsideTheMixersReads) {
  for (const uint32_t rate : {44100u, 48000u}) {
    SCOPED_TRACE(rate);
    SyncLog log;
    log.reader = std::this_thread::get_id();
    const auto signal = Sine(rate * 2, 2, rate, {0.5, 0.5});
    const Handle src = twtest::MakeStream(signal, rate, 2, STREAM_DECODE);
    const Handle mixer = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
    ASSERT_TRUE(Mixer_StreamAddChannel(mixer, src, MIXER_DOWNMIX));
    const int64_t bpf = 8;
    const std::vector<int64_t> at = {0, 1000 * bpf, 12345 * bpf, 40000 * bpf, 88000 * bpf};
    for (const int64_t p : at) ASSERT_NE(ChannelSetSync(src, SYNC_POS, p, &RecordSync, &log), 0u);
    ASSERT_NE(ChannelSetDSP(src, &NegateFloat, nullptr, 0), 0u);
    ASSERT_NE(ChannelSetDSP(mixer, &Halve16, nullptr, 0), 0u);
    std::vector<int16_t> out, buf(512);
    int64_t maxLead = 0;
    while (ChannelIsActive(mixer) != ACTIVE_STOPPED) {
      log.inRead = true;
      const uint32_t n = ChannelGetData(mixer, buf.data(), 1024);
      log.inRead = false;
      ASSERT_NE(n, DATA_ERROR);
      out.insert(out.end(), buf.begin(), buf.begin() + n / 2);
      // The source is read no further ahead than the mixer's output needs.
      const double mixed = static_cast<double>(out.size() / 2) * rate / 44100;
      const int64_t srcFrames = ChannelGetPosition(src, POS_BYTE) / bpf;
      if (ChannelIsActive(src) != ACTIVE_STOPPED) {
        maxLead = std::max(maxLead, srcFrames - static_cast<int64_t>(mixed));
      }
    }
    EXPECT_LE(maxLead, 64) << "source frames read beyond the mixer's output";
    EXPECT_EQ(log.sourcePositions, at);
    EXPECT_TRUE(log.rightThread);
    EXPECT_TRUE(log.insideRead);
    // The source's DSP negated, the mixer's halved.
    const size_t i = 20000;
    const double expected = -0.25 * std::sin(2 * M_PI * 300.0 * (static_cast<double>(i) * rate / 44100) / rate);
    EXPECT_NEAR(out[i * 2] / 32768.0, expected, 0.01);
    StreamFree(mixer);
    StreamFree(src);
  }
}

TEST_F(Mixer, InfoFormatsAndErrors) {
  const Handle m16 = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
  const Handle mf = Mixer_StreamCreate(32000, 1, STREAM_DECODE | SAMPLE_FLOAT);
  ChannelInfo info{};
  ASSERT_TRUE(ChannelGetInfo(m16, &info));
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(info.bits, 16u);
  EXPECT_EQ(info.flags, STREAM_DECODE | MIXER_END);
  ASSERT_TRUE(ChannelGetInfo(mf, &info));
  EXPECT_EQ(info.freq, 32000u);
  EXPECT_EQ(info.chans, 1u);
  EXPECT_EQ(info.bits, 32u);

  // Without MIXER_END the mixer runs on in silence after its source.
  const Handle src = twtest::MakeStream(std::vector<float>(100, 0.5f), 32000, 1, STREAM_DECODE);
  ASSERT_TRUE(Mixer_StreamAddChannel(mf, src, 0));
  std::vector<float> buf(1000);
  ASSERT_EQ(ChannelGetData(mf, buf.data(), 4000), 4000u);
  EXPECT_FLOAT_EQ(buf[99], 0.5f);
  EXPECT_FLOAT_EQ(buf[100], 0.0f);
  ASSERT_EQ(ChannelGetData(mf, buf.data(), 4000), 4000u);
  EXPECT_EQ(ChannelIsActive(mf), ACTIVE_PLAYING);

  EXPECT_EQ(Mixer_StreamCreate(0, 2, 0), 0u);
  EXPECT_EQ(Mixer_StreamCreate(44100, 0, 0), 0u);
  EXPECT_EQ(ErrorGetCode(), ERROR_ILLPARAM);
  const Handle playing = twtest::MakeStream(twtest::MarkerSignal(10, 2), 44100, 2, 0);
  EXPECT_FALSE(Mixer_StreamAddChannel(m16, playing, 0));
  EXPECT_EQ(ErrorGetCode(), ERROR_DECODE);
  const Handle s2 = twtest::MakeStream(twtest::MarkerSignal(10, 2), 44100, 2, STREAM_DECODE);
  ASSERT_TRUE(Mixer_StreamAddChannel(m16, s2, 0));
  EXPECT_FALSE(Mixer_StreamAddChannel(m16, s2, 0));
  EXPECT_EQ(ErrorGetCode(), ERROR_ALREADY);
  EXPECT_FALSE(Mixer_StreamAddChannel(s2, src, 0)) << "not a mixer";
  EXPECT_FALSE(Mixer_StreamAddChannel(m16, 999999, 0));
  EXPECT_EQ(ErrorGetCode(), ERROR_HANDLE);
  ASSERT_TRUE(Free());
  EXPECT_EQ(Mixer_StreamCreate(44100, 2, 0), 0u);
  EXPECT_EQ(ErrorGetCode(), ERROR_INIT);
  ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
}
