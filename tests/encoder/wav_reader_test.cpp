// The WAV stream reader and the sample conversion, called directly on streams made in memory.
#include "encoder/wav_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "encoder/errors.h"
#include "encoder/input_stream.h"
#include "encoder/sample_convert.h"
#include "wav_maker.h"

namespace {

using encoder::EncodeError;
using encoder::MemoryInput;
using encoder::SampleType;
using encoder::WavReader;
using namespace enctest;

// Reads a whole stream; returns the frames and the raw sample bytes.
struct ReadAll {
  encoder::WavFormat format;
  std::vector<uint8_t> bytes;
  uint64_t frames = 0;
  bool truncated = false;
};

ReadAll Read(const std::vector<uint8_t>& stream, size_t block = 1000) {
  MemoryInput in(stream, "test.wav");
  WavReader r(in);
  r.ReadHeader();
  ReadAll out;
  out.format = r.format();
  std::vector<uint8_t> buf(block * r.format().FrameBytes());
  while (size_t n = r.ReadFrames(buf.data(), block)) {
    out.bytes.insert(out.bytes.end(), buf.begin(), buf.begin() + long(n * r.format().FrameBytes()));
  }
  out.frames = r.frames_read();
  out.truncated = r.truncated();
  return out;
}

std::string ErrorOf(const std::vector<uint8_t>& stream) {
  try {
    Read(stream);
  } catch (const EncodeError& e) {
    return e.what();
  }
  return "";
}

TEST(WavReader, DataSizeConventionsGiveTheSameSamples) {
  WavSpec w;
  w.frames = 12345;
  const std::vector<uint8_t> pcm = PcmData(w);
  for (DataSize ds : {DataSize::True, DataSize::Zero, DataSize::Unknown}) {
    w.data_size = ds;
    ReadAll r = Read(MakeWav(w), 999);
    EXPECT_EQ(r.frames, 12345u);
    EXPECT_EQ(r.bytes, pcm);
    EXPECT_FALSE(r.truncated);
    EXPECT_EQ(r.format.data_bytes.has_value(), ds == DataSize::True);
  }
}

TEST(WavReader, TrueSizeStopsAtTheDataEndAndTrailingChunksAreNotAudio) {
  WavSpec w;
  w.frames = 100;
  std::vector<uint8_t> s = MakeWav(w);
  const size_t audio_end = s.size();
  PutChunk(s, "LIST", ListChunkBody(), uint32_t(ListChunkBody().size()));
  ReadAll r = Read(s);
  EXPECT_EQ(r.frames, 100u);
  EXPECT_EQ(r.bytes.size(), 400u);
  EXPECT_EQ(audio_end, 44u + 400u);
  // With "read to the end" the same trailing bytes would be audio: 0 / 0xFFFFFFFF mean exactly that.
  w.data_size = DataSize::Unknown;
  s = MakeWav(w);
  s.insert(s.end(), 8, 0);
  EXPECT_EQ(Read(s).frames, 102u);
}

TEST(WavReader, ChunkOrderAndFormats) {
  struct Case {
    WavSpec spec;
    SampleType type;
    uint16_t bytes;
  };
  std::vector<Case> cases;
  auto add = [&](auto edit, SampleType t, uint16_t b) {
    WavSpec w;
    w.frames = 777;
    edit(w);
    cases.push_back({w, t, b});
  };
  add([](WavSpec& w) { w.list_before_fmt = true; }, SampleType::S16, 2);
  add([](WavSpec& w) { w.list_after_fmt = true; w.fact_chunk = true; }, SampleType::S16, 2);
  add([](WavSpec& w) { w.data_before_fmt = true; w.list_before_fmt = true; }, SampleType::S16, 2);
  add([](WavSpec& w) { w.sample = Sample::U8; w.channels = 1; }, SampleType::U8, 1);
  add([](WavSpec& w) { w.sample = Sample::S24; w.channels = 3; }, SampleType::S24, 3);
  add([](WavSpec& w) { w.sample = Sample::S32; }, SampleType::S32, 4);
  add([](WavSpec& w) { w.sample = Sample::F32; w.data_size = DataSize::Zero; }, SampleType::F32, 4);
  add([](WavSpec& w) { w.sample = Sample::F64; }, SampleType::F64, 8);
  add([](WavSpec& w) { w.extensible = true; w.channel_mask = 0x3F; w.channels = 6;
                       w.sample = Sample::S24; }, SampleType::S24, 3);
  add([](WavSpec& w) { w.extensible = true; w.sample = Sample::F32; }, SampleType::F32, 4);
  for (const auto& c : cases) {
    ReadAll r = Read(MakeWav(c.spec));
    EXPECT_EQ(r.format.type, c.type);
    EXPECT_EQ(r.format.container_bytes, c.bytes);
    EXPECT_EQ(r.format.channels, c.spec.channels);
    EXPECT_EQ(r.format.rate, c.spec.rate);
    EXPECT_EQ(r.format.channel_mask, c.spec.extensible ? c.spec.channel_mask : 0u);
    EXPECT_EQ(r.frames, 777u);
    EXPECT_EQ(r.bytes, PcmData(c.spec));
  }
}

TEST(WavReader, Rf64TakesTheDataSizeFromDs64) {
  WavSpec w;
  w.frames = 50;
  const std::vector<uint8_t> pcm = PcmData(w);
  std::vector<uint8_t> s;
  PutTag(s, "RF64");
  Put32(s, 0xFFFFFFFF);
  PutTag(s, "WAVE");
  std::vector<uint8_t> ds64;
  Put32(ds64, 0); Put32(ds64, 0);           // RIFF size
  Put32(ds64, uint32_t(pcm.size())); Put32(ds64, 0);  // data size
  Put32(ds64, 50); Put32(ds64, 0);          // sample count
  Put32(ds64, 0);                           // table length
  PutChunk(s, "ds64", ds64, uint32_t(ds64.size()));
  PutChunk(s, "fmt ", FmtChunk(w), 16);
  PutChunk(s, "data", pcm, 0xFFFFFFFF);
  s.insert(s.end(), 40, 0x11);  // not audio: after the size ds64 gives
  ReadAll r = Read(s);
  EXPECT_EQ(r.frames, 50u);
  EXPECT_EQ(r.bytes, pcm);
}

TEST(WavReader, ShortDataIsEncodedAndReportedAsTruncated) {
  WavSpec w;
  w.frames = 1000;
  std::vector<uint8_t> s = MakeWav(w);
  s.resize(s.size() - 401);  // 100 frames and a partial one missing
  ReadAll r = Read(s);
  EXPECT_EQ(r.frames, 899u);
  EXPECT_TRUE(r.truncated);
}

TEST(WavReader, BadStreams) {
  WavSpec w;
  w.frames = 10;
  const std::vector<uint8_t> good = MakeWav(w);
  auto with = [&](size_t at, const char* four) {
    std::vector<uint8_t> s = good;
    std::memcpy(s.data() + at, four, 4);
    return s;
  };
  auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + long(n)); };
  struct Case {
    std::vector<uint8_t> stream;
    const char* message;
  };
  std::vector<uint8_t> ext_short = good;  // format tag 0xFFFE in a 16-byte fmt chunk
  ext_short[20] = 0xFE;
  ext_short[21] = 0xFF;
  std::vector<uint8_t> mp3_tag = good;
  mp3_tag[20] = 0x55;
  std::vector<uint8_t> zero_channels = good;
  zero_channels[22] = 0;
  std::vector<uint8_t> bits12_float = good;
  bits12_float[20] = 3;
  std::vector<uint8_t> fmt_tiny = good;
  fmt_tiny[16] = 8;
  std::vector<uint8_t> huge_list = cut(12);
  PutTag(huge_list, "LIST");
  Put32(huge_list, 0xFFFFFFF0);
  huge_list.insert(huge_list.end(), 100, 0);

  const std::vector<Case> cases = {
      {{}, "test.wav: empty input"},
      {{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'}, "not a WAV stream (no RIFF"},
      {{'R', 'I'}, "not a WAV stream"},
      {cut(10), "truncated WAV header: the input ends inside the RIFF header"},
      {with(8, "AVI "), "the RIFF form is 'AVI '"},
      {with(0, "RIFX"), "big-endian"},
      {cut(12), "no fmt chunk"},
      {cut(30), "inside the fmt chunk"},
      {cut(38), "inside a chunk header"},
      {cut(36), "no data chunk"},
      {ext_short, "EXTENSIBLE fmt chunk too short"},
      {mp3_tag, "format tag 0x0055"},
      {zero_channels, "0 channels"},
      {bits12_float, "float sample size 16-bit"},
      {fmt_tiny, "fmt chunk is too short"},
      {huge_list, "inside the 'LIST' chunk"},
  };
  for (const auto& c : cases) {
    const std::string e = ErrorOf(c.stream);
    EXPECT_NE(e.find(c.message), std::string::npos) << "expected \"" << c.message << "\", got \"" << e << "\"";
    EXPECT_EQ(e.rfind("test.wav: ", 0), 0u) << "the message names the input: " << e;
  }
  // A header with no samples after it reads, and gives no frames (the program reports it).
  EXPECT_EQ(Read(cut(44)).frames, 0u);
}

TEST(WavReader, DataBeforeFmtNeedsItsSize) {
  WavSpec w;
  w.data_before_fmt = true;
  w.data_size = DataSize::Unknown;
  w.frames = 10;
  EXPECT_NE(ErrorOf(MakeWav(w)).find("without a size comes before the fmt"), std::string::npos);
}

TEST(WavReader, DamagedHeadersFailCleanly) {
  // Random byte changes in the first 80 bytes of a stream with LIST and fact chunks: the reader
  // either throws EncodeError or reads whole frames, never more than the stream holds.
  WavSpec w;
  w.frames = 64;
  w.list_before_fmt = true;
  w.fact_chunk = true;
  const std::vector<uint8_t> good = MakeWav(w);
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  int errors = 0;
  for (int i = 0; i < 5000; ++i) {
    std::vector<uint8_t> s = good;
    const int changes = 1 + int(next() % 4);
    for (int k = 0; k < changes; ++k) s[next() % 80] = uint8_t(next());
    if (next() % 4 == 0) s.resize(next() % s.size());
    try {
      ReadAll r = Read(s, 7);
      EXPECT_LE(r.bytes.size(), s.size());
      EXPECT_EQ(r.bytes.size(), r.frames * r.format.FrameBytes());
    } catch (const EncodeError&) {
      ++errors;
    }
  }
  EXPECT_GT(errors, 0);
}

TEST(SampleConvert, ScalesEachFormatToUnitRange) {
  encoder::WavFormat f;
  f.channels = 1;
  std::vector<float> out(4);
  float* planes[] = {out.data()};

  f.type = SampleType::U8;
  const uint8_t u8[] = {0, 128, 255, 64};
  encoder::ToPlanarFloat(u8, 4, f, planes);
  EXPECT_EQ(out, (std::vector<float>{-1.0f, 0.0f, 127 / 128.0f, -0.5f}));

  f.type = SampleType::S16;
  const uint8_t s16[] = {0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0xC0};
  encoder::ToPlanarFloat(s16, 4, f, planes);
  EXPECT_EQ(out, (std::vector<float>{-1.0f, 32767 / 32768.0f, 0.0f, -0.5f}));

  f.type = SampleType::S24;
  const uint8_t s24[] = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0xFF};
  encoder::ToPlanarFloat(s24, 4, f, planes);
  EXPECT_FLOAT_EQ(out[0], -1.0f);
  EXPECT_NEAR(out[1], 1.0f, 1e-6);
  EXPECT_FLOAT_EQ(out[2], 0.5f);
  EXPECT_FLOAT_EQ(out[3], -1.0f / 8388608);

  f.type = SampleType::S32;
  const uint8_t s32[] = {0, 0, 0, 0x80, 0, 0, 0, 0xC0, 0, 0, 0, 0x40, 0, 0, 0, 0};
  encoder::ToPlanarFloat(s32, 4, f, planes);
  EXPECT_EQ(out, (std::vector<float>{-1.0f, -0.5f, 0.5f, 0.0f}));

  f.type = SampleType::F32;
  const float fl[] = {0.25f, std::numeric_limits<float>::quiet_NaN(),
                      -std::numeric_limits<float>::infinity(), -1.5f};
  encoder::ToPlanarFloat(reinterpret_cast<const uint8_t*>(fl), 4, f, planes);
  EXPECT_EQ(out, (std::vector<float>{0.25f, 0.0f, 0.0f, -1.5f}));
}

TEST(SampleConvert, DeinterleavesChannelsInOrder) {
  encoder::WavFormat f;
  f.type = SampleType::S16;
  for (uint16_t ch : {2, 3}) {
    f.channels = ch;
    std::vector<uint8_t> in;
    for (int i = 0; i < 5; ++i) {
      for (int c = 0; c < ch; ++c) Put16(in, uint16_t(int16_t((c + 1) * 1000 + i)));
    }
    std::vector<std::vector<float>> out(ch, std::vector<float>(5));
    std::vector<float*> planes;
    for (auto& p : out) planes.push_back(p.data());
    encoder::ToPlanarFloat(in.data(), 5, f, planes.data());
    for (int c = 0; c < ch; ++c) {
      for (int i = 0; i < 5; ++i) EXPECT_EQ(out[c][i], ((c + 1) * 1000 + i) / 32768.0f);
    }
  }
}

}  // namespace
