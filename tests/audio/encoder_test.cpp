// The encoder hand-over through the engine's API, with a stand-in encoder program that records
// its arguments and its standard input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstring>

#include "audio/cmdline.h"
#include "audio/engine.h"
#include "memory_stream.h"
#include "support/sink_support.h"
#include "support/command.h"

using namespace audio;

namespace {

class Encoder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Init(-1, 44100, 0, nullptr)); }
  void TearDown() override { Free(); }
};

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// `dataBytes` 0: an open-ended header.
void ExpectHeader(const std::vector<uint8_t>& b, uint32_t rate, uint16_t chans, uint16_t bits,
                  uint16_t tag, uint32_t dataBytes = 0) {
  ASSERT_GE(b.size(), 44u);
  EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
  EXPECT_EQ(Get32(b, 4), dataBytes == 0 ? 0xFFFFFFFFu : dataBytes + 36);
  EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(Get32(b, 16), 16u);
  EXPECT_EQ(Get16(b, 20), tag);
  EXPECT_EQ(Get16(b, 22), chans);
  EXPECT_EQ(Get32(b, 24), rate);
  EXPECT_EQ(Get32(b, 28), rate * chans * bits / 8);
  EXPECT_EQ(Get16(b, 32), chans * bits / 8);
  EXPECT_EQ(Get16(b, 34), bits);
  EXPECT_EQ(std::memcmp(b.data() + 36, "data", 4), 0);
  EXPECT_EQ(Get32(b, 40), dataBytes == 0 ? 0xFFFFFFFFu : dataBytes);
}

void Negate(DspHandle, Handle, void* buffer, uint32_t length, void*) {
  auto* s = static_cast<int16_t*>(buffer);
  for (uint32_t i = 0; i < length / 2; ++i) s[i] = static_cast<int16_t>(-std::max<int>(s[i], -32767));
}

// Reads a decoding channel to its end in blocks of `block` bytes; returns the data.
std::vector<uint8_t> ReadToEnd(Handle h, uint32_t block) {
  std::vector<uint8_t> all, buf(block);
  while (ChannelIsActive(h) != ACTIVE_STOPPED) {
    const uint32_t n = ChannelGetData(h, buf.data(), block);
    EXPECT_NE(n, DATA_ERROR);
    if (n == DATA_ERROR) break;
    all.insert(all.end(), buf.begin(), buf.begin() + n);
  }
  return all;
}

std::string Probe(const std::string& file) {
  const std::string cmd = "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels "
                          "-of csv=p=0 '" + file + "' 2>&1";
  return twtest::CommandOutput(cmd);
}

}  // namespace

TEST_F(Encoder, GetsTheWavHeaderAndEveryBlockAfterTheDsps) {
  twtest::SinkDir dir;
  const auto samples = twtest::MarkerSignal(20000, 2);
  const Handle h = twtest::MakeStream(samples, 44100, 2, STREAM_DECODE);
  const EncoderHandle e = Encode_Start(h, "tw_wav_sink -w -", 0, nullptr, nullptr);
  ASSERT_NE(e, 0u) << ErrorGetCode();
  EXPECT_EQ(Encode_IsActive(e), 1u);
  // Installed after the encoder started, it still acts on everything the encoder gets.
  ASSERT_NE(ChannelSetDSP(h, &Negate, nullptr, 0), 0u);
  const auto read = ReadToEnd(h, 1000);
  EXPECT_TRUE(Encode_Stop(e)) << ErrorGetCode();
  EXPECT_EQ(Encode_IsActive(e), 0u);
  EXPECT_FALSE(Encode_Stop(e));
  EXPECT_EQ(ErrorGetCode(), ERROR_HANDLE);

  const auto got = dir.Stdin();
  ExpectHeader(got, 44100, 2, 16, 1);
  ASSERT_EQ(got.size(), 44 + samples.size() * 2);
  std::vector<int16_t> pcm(samples.size());
  std::memcpy(pcm.data(), got.data() + 44, pcm.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(pcm[i], -std::max<int>(samples[i], -32767)) << "sample " << i;
  }
  EXPECT_EQ(std::vector<uint8_t>(got.begin() + 44, got.end()), read);
  EXPECT_EQ(dir.Args(), (std::vector<std::string>{"-w", "-"}));
  EXPECT_EQ(Probe(dir.path() + "/stdin.bin"), "pcm_s16le,44100,2\n");
}

// A stated length is what the program gets, whatever the channel gives: its header says so, what
// the channel gives past it is dropped, and a channel that ends early is completed with silence.
TEST_F(Encoder, AStatedLengthIsExactlyWhatTheProgramGets) {
  const auto samples = twtest::MarkerSignal(20000, 2);
  for (const uint64_t frames : {uint64_t{12345}, uint64_t{20000}, uint64_t{26000}}) {
    SCOPED_TRACE(frames);
    twtest::SinkDir dir;
    const Handle h = twtest::MakeStream(samples, 44100, 2, STREAM_DECODE);
    const EncoderHandle e = Encode_Start(h, "tw_wav_sink", 0, nullptr, nullptr, frames);
    ASSERT_NE(e, 0u) << ErrorGetCode();
    ReadToEnd(h, 4000);
    ASSERT_TRUE(Encode_Stop(e));
    const auto got = dir.Stdin();
    ExpectHeader(got, 44100, 2, 16, 1, static_cast<uint32_t>(frames * 4));
    ASSERT_EQ(got.size(), 44 + frames * 4);
    const size_t given = std::min<size_t>(samples.size(), frames * 2);
    std::vector<int16_t> pcm(frames * 2);
    std::memcpy(pcm.data(), got.data() + 44, pcm.size() * 2);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + given, samples.begin()));
    EXPECT_TRUE(std::all_of(pcm.begin() + given, pcm.end(), [](int16_t v) { return v == 0; }));
  }
}

TEST_F(Encoder, FloatChannelsAreDeliveredAs16BitOrAsFloat) {
  const std::vector<float> samples = {0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -1.5f, 0.6f / 32768.0f, -0.4f / 32768.0f};
  const std::vector<int16_t> expected16 = {16384, -16384, 32767, -32768, 32767, -32768, 1, 0};  // rounded, clipped
  {
    twtest::SinkDir dir;
    const Handle h = twtest::MakeStream(samples, 22050, 1, STREAM_DECODE);
    const EncoderHandle e = Encode_Start(h, "tw_wav_sink", ENCODE_FP_16BIT, nullptr, nullptr);
    ASSERT_NE(e, 0u);
    ReadToEnd(h, 12);
    ASSERT_TRUE(Encode_Stop(e));
    const auto got = dir.Stdin();
    ExpectHeader(got, 22050, 1, 16, 1);
    ASSERT_EQ(got.size(), 44 + expected16.size() * 2);
    std::vector<int16_t> pcm(expected16.size());
    std::memcpy(pcm.data(), got.data() + 44, pcm.size() * 2);
    EXPECT_EQ(pcm, expected16);
  }
  {
    twtest::SinkDir dir;
    const Handle h = twtest::MakeStream(samples, 48000, 2, STREAM_DECODE);
    const EncoderHandle e = Encode_Start(h, "tw_wav_sink", 0, nullptr, nullptr);
    ASSERT_NE(e, 0u);
    ReadToEnd(h, 16);
    ASSERT_TRUE(Encode_Stop(e));
    const auto got = dir.Stdin();
    ExpectHeader(got, 48000, 2, 32, 3);
    ASSERT_EQ(got.size(), 44 + samples.size() * 4);
    EXPECT_EQ(std::memcmp(got.data() + 44, samples.data(), samples.size() * 4), 0);
    EXPECT_EQ(Probe(dir.path() + "/stdin.bin"), "pcm_f32le,48000,2\n");
  }
}

TEST_F(Encoder, ArgumentsArriveWhole) {
  twtest::SinkDir dir;
  const std::vector<std::string> args = {"-o",  R"(C:\My Music\Ombrix.m4r)", "--title", "Say \"Hi\"",
                                         "",    R"(trailing\)", R"(two\\"quoted)", "tab\there"};
  std::vector<std::string> line = {"tw_wav_sink.exe"};
  line.insert(line.end(), args.begin(), args.end());
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(10, 2), 44100, 2, STREAM_DECODE);
  const EncoderHandle e = Encode_Start(h, detail::JoinCommandLine(line).c_str(), 0, nullptr, nullptr);
  ASSERT_NE(e, 0u);
  ReadToEnd(h, 4096);
  ASSERT_TRUE(Encode_Stop(e));
  EXPECT_EQ(dir.Args(), args);
}

TEST_F(Encoder, FailuresAreReported) {
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(400000, 2), 44100, 2, STREAM_DECODE);
  EXPECT_EQ(Encode_Start(h, "no_such_encoder_program -", 0, nullptr, nullptr), 0u);
  EXPECT_EQ(ErrorGetCode(), ERROR_CREATE);
  EXPECT_EQ(Encode_Start(h, "   ", 0, nullptr, nullptr), 0u);
  EXPECT_EQ(Encode_Start(h, nullptr, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(Encode_Start(h + 1000, "tw_wav_sink", 0, nullptr, nullptr), 0u);
  EXPECT_EQ(ErrorGetCode(), ERROR_HANDLE);
  EXPECT_EQ(Encode_IsActive(12345), 0u);
  EXPECT_FALSE(Encode_Stop(12345));
  {
    // It exits after 1000 bytes: the caller goes on reading, the encoder reports inactive and
    // the stop reports the failure.
    twtest::SinkDir dir("early:1000");
    const EncoderHandle e = Encode_Start(h, "tw_wav_sink", 0, nullptr, nullptr);
    ASSERT_NE(e, 0u);
    const auto read = ReadToEnd(h, 4096);
    EXPECT_EQ(read.size(), 400000u * 4);
    EXPECT_EQ(Encode_IsActive(e), 0u);
    EXPECT_FALSE(Encode_Stop(e));
  }
  {
    twtest::SinkDir dir("code:2");
    ASSERT_TRUE(ChannelSetPosition(h, 0, POS_BYTE));
    const EncoderHandle e = Encode_Start(h, "tw_wav_sink", 0, nullptr, nullptr);
    ASSERT_NE(e, 0u);
    std::vector<uint8_t> buf(4096);
    ChannelGetData(h, buf.data(), 4096);
    EXPECT_EQ(Encode_IsActive(e), 1u);
    EXPECT_FALSE(Encode_Stop(e)) << "exit status 2";
    EXPECT_EQ(dir.Stdin().size(), 44u + 4096u);
  }
}

TEST_F(Encoder, StandardOutputGoesToTheCallback) {
  twtest::SinkDir dir("echo");
  struct Got {
    std::mutex m;
    std::vector<uint8_t> bytes;
    EncoderHandle handle = 0;
    bool handleOk = true;
  } got;
  const Handle h = twtest::MakeStream(twtest::MarkerSignal(30000, 2), 44100, 2, STREAM_DECODE);
  EncodeProc* proc = [](EncoderHandle e, Handle, const void* buffer, uint32_t length, void* user) {
    auto* g = static_cast<Got*>(user);
    std::lock_guard lock(g->m);
    if (g->handle != 0 && e != g->handle) g->handleOk = false;
    const auto* b = static_cast<const uint8_t*>(buffer);
    g->bytes.insert(g->bytes.end(), b, b + length);
  };
  {
    std::lock_guard lock(got.m);
    got.handle = Encode_Start(h, "tw_wav_sink", 0, proc, &got);
  }
  ASSERT_NE(got.handle, 0u);
  ReadToEnd(h, 2000);
  ASSERT_TRUE(Encode_Stop(got.handle));
  std::lock_guard lock(got.m);
  EXPECT_TRUE(got.handleOk);
  EXPECT_EQ(got.bytes, dir.Stdin());
  EXPECT_EQ(got.bytes.size(), 44u + 30000u * 4);
}

// A channel or engine freed under a running encoder would only leave a cut-off file: the
// program is ended, not handed the end of its input, and not waited for at length (the "hang"
// sink would sleep a minute after the end of its input).
TEST_F(Encoder, FreeingTheChannelOrTheEngineAbortsTheEncoder) {
  for (const bool wholeEngine : {false, true}) {
    twtest::SinkDir dir("hang");
    const Handle h = twtest::MakeStream(twtest::MarkerSignal(1000, 2), 44100, 2, STREAM_DECODE);
    const EncoderHandle e = Encode_Start(h, "tw_wav_sink", 0, nullptr, nullptr);
    ASSERT_NE(e, 0u);
    std::vector<uint8_t> buf(400);
    ASSERT_EQ(ChannelGetData(h, buf.data(), 400), 400u);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(wholeEngine ? Free() : StreamFree(h));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/eof")) << "the program saw a normal end";
    EXPECT_EQ(Encode_IsActive(e), 0u);
    EXPECT_FALSE(Encode_Stop(e));
    if (wholeEngine) {
      EXPECT_EQ(Encode_Start(h, "tw_wav_sink", 0, nullptr, nullptr), 0u);
      ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
    }
  }
}

TEST_F(Encoder, TheConversionsPipeline) {
  // The conversion's shape: a float source through a 16-bit stereo mixer into the encoder.
  twtest::SinkDir dir;
  std::vector<float> mono(22050);
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = 0.5f * std::sin(2 * M_PI * 440 * i / 22050.0);
  const Handle src = twtest::MakeStream(mono, 22050, 1, STREAM_DECODE);
  const Handle mixer = Mixer_StreamCreate(44100, 2, STREAM_DECODE | MIXER_END);
  ASSERT_NE(mixer, 0u);
  ASSERT_TRUE(Mixer_StreamAddChannel(mixer, src, MIXER_DOWNMIX | STREAM_AUTOFREE));
  const EncoderHandle e = Encode_Start(mixer, "tw_wav_sink", ENCODE_FP_16BIT, nullptr, nullptr);
  ASSERT_NE(e, 0u);
  const auto read = ReadToEnd(mixer, 1024);
  ASSERT_TRUE(Encode_Stop(e));
  EXPECT_TRUE(StreamFree(mixer));
  const auto got = dir.Stdin();
  ExpectHeader(got, 44100, 2, 16, 1);
  EXPECT_EQ(std::vector<uint8_t>(got.begin() + 44, got.end()), read);
  EXPECT_NEAR(static_cast<double>(read.size()) / 4, 44100.0, 64);
}
