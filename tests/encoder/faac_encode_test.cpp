// The built faac run on piped WAV streams of every accepted shape; ffprobe and ffmpeg's decoder
// check what it wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>

#include "run_util.h"
#include "wav_maker.h"

namespace {

using namespace enctest;

struct Expect {
  uint32_t rate;      // of the AAC stream
  uint16_t channels;
  bool mp4 = true;
};

// Checks the container, the stream and the duration against the input.
void CheckFile(const std::string& path, const WavSpec& in, const Expect& e) {
  const Json j = Probe(path);
  ASSERT_EQ(j.kind, Json::Kind::Object) << "ffprobe cannot read " << path;
  const Json& st = j["streams"][0];
  EXPECT_EQ(j["streams"].items.size(), 1u);
  EXPECT_EQ(st["codec_name"].text, "aac");
  EXPECT_EQ(st["profile"].text, "LC");
  EXPECT_EQ(st["sample_rate"].num(), e.rate);
  EXPECT_EQ(st["channels"].num(), e.channels);
  const double in_seconds = double(in.frames) / in.rate;
  const double frame_seconds = 1024.0 / e.rate;
  if (e.mp4) {
    EXPECT_EQ(j["format"]["tags"]["major_brand"].text, "M4A ");
    // The priming samples are trimmed (edit list): the file starts at 0 and lasts as long as its
    // input, to within one AAC frame.
    EXPECT_NEAR(st["start_time"].num(), 0.0, 1e-6);
    EXPECT_NEAR(j["format"]["duration"].num(), in_seconds, frame_seconds);
    EXPECT_NEAR(st["duration"].num(), in_seconds, frame_seconds);
    // At the input's rate the edit list ends on its last sample, not on a millisecond.
    if (in.rate == e.rate) {
      EXPECT_EQ(st["duration_ts"].num(), in.frames);
    }
  } else {
    EXPECT_NE(j["format"]["format_name"].text.find("aac"), std::string::npos);
  }
}

// Decodes the file and compares each channel with the generated signal: the level within 10 %
// and, when the rate is unchanged, the waveform itself (correlation > 0.98), which also shows
// that the encoder's priming samples are trimmed and the channels are in order.
void CheckAudio(const std::string& path, const WavSpec& in, bool same_rate) {
  const std::vector<float> pcm = DecodeToFloat(path);
  const size_t ch = in.channels;
  ASSERT_GE(pcm.size() / ch, in.frames * 9 / 10);
  const size_t frames = std::min<size_t>(pcm.size() / ch, in.frames);
  for (size_t c = 0; c < ch; ++c) {
    double sum_sq = 0, dot = 0, ref_sq = 0;
    for (size_t i = 0; i < frames; ++i) {
      const double x = pcm[i * ch + c];
      sum_sq += x * x;
      if (same_rate) {
        const double r = SignalAt(i, uint16_t(c), in.rate);
        dot += x * r;
        ref_sq += r * r;
      }
    }
    const double rms = std::sqrt(sum_sq / frames);
    const double expected = 0.5 / (c + 1) / std::sqrt(2.0);
    EXPECT_NEAR(rms, expected, expected * 0.1) << "channel " << c;
    if (same_rate) {
      EXPECT_GT(dot / std::sqrt(sum_sq * ref_sq), 0.98) << "channel " << c;
    }
  }
}

void EncodeAndCheck(const WavSpec& in, const Expect& e) {
  TempDir dir;
  const std::string out = dir / "tone.m4r";
  RunResult r = RunFaac(ConversionArgs(out), ToString(MakeWav(in)));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_TRUE(Exists(out));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"tone.m4r"}) << "a temporary file is left";
  CheckFile(out, in, e);
  CheckAudio(out, in, e.rate == in.rate);
}

TEST(FaacEncode, EachDataSizeConvention) {
  for (DataSize ds : {DataSize::True, DataSize::Zero, DataSize::Unknown}) {
    SCOPED_TRACE(int(ds));
    WavSpec w;
    w.frames = 2 * 44100 + 333;  // not a whole number of AAC frames
    w.data_size = ds;
    EncodeAndCheck(w, {44100, 2});
  }
}

TEST(FaacEncode, MonoAnd48kHz) {
  WavSpec mono;
  mono.channels = 1;
  EncodeAndCheck(mono, {44100, 1});
  WavSpec w48;
  w48.rate = 48000;
  w48.frames = 48000 * 2;
  w48.data_size = DataSize::Unknown;
  EncodeAndCheck(w48, {48000, 2});
}

TEST(FaacEncode, SampleFormats) {
  for (Sample s : {Sample::U8, Sample::S24, Sample::S32, Sample::F32, Sample::F64}) {
    SCOPED_TRACE(BytesOf(s) * 8);
    WavSpec w;
    w.sample = s;
    w.data_size = DataSize::Unknown;
    EncodeAndCheck(w, {44100, 2});
  }
}

TEST(FaacEncode, ExtensibleHeaderAndChunksInAnyOrder) {
  WavSpec ext;
  ext.extensible = true;
  ext.channel_mask = 0x3;
  ext.sample = Sample::S24;
  ext.list_before_fmt = true;
  ext.fact_chunk = true;
  EncodeAndCheck(ext, {44100, 2});

  WavSpec ext_float;
  ext_float.extensible = true;
  ext_float.sample = Sample::F32;
  ext_float.list_after_fmt = true;
  ext_float.data_size = DataSize::Zero;
  EncodeAndCheck(ext_float, {44100, 2});

  WavSpec data_first;  // data before fmt, with its true size
  data_first.data_before_fmt = true;
  data_first.list_before_fmt = true;
  EncodeAndCheck(data_first, {44100, 2});
}

TEST(FaacEncode, SurroundWithSideSpeakers) {
  WavSpec w;  // 5.1 with side surrounds (the usual WAV mask 0x60F)
  w.channels = 6;
  w.extensible = true;
  w.channel_mask = 0x60F;
  w.frames = 44100;
  EncodeAndCheck(w, {44100, 6});
}

TEST(FaacEncode, RateTheEncoderDoesNotTakeIsResampled) {
  WavSpec w;  // 44056 Hz (NTSC-locked audio) is not an AAC rate: the next one up is used
  w.rate = 44056;
  w.frames = 44056 * 2;
  EncodeAndCheck(w, {44100, 2});
  WavSpec odd;
  odd.rate = 50000;
  odd.channels = 1;
  odd.frames = 50000;
  EncodeAndCheck(odd, {64000, 1});
}

TEST(FaacEncode, NamedInputFileAndRawAac) {
  TempDir dir;
  WavSpec w;
  w.channels = 1;
  WriteFile(dir / "in.wav", ToString(MakeWav(w)));
  // Without -w and -o: ADTS next to the input, as faac names it.
  RunResult r = RunFaac({dir / "in.wav"}, "");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_TRUE(Exists(dir / "in.aac"));
  CheckFile(dir / "in.aac", w, {44100, 1, false});
  // With -w: MP4.
  r = RunFaac({"-w", "-o", dir / "named.m4a", dir / "in.wav"}, "");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  CheckFile(dir / "named.m4a", w, {44100, 1});
}

TEST(FaacEncode, BitrateAndQualityOptions) {
  WavSpec w;
  w.frames = 44100 * 3;
  const std::string wav = ToString(MakeWav(w));
  TempDir dir;
  ASSERT_EQ(RunFaac(ConversionArgs(dir / "default.m4r"), wav).exit_code, 0);
  ASSERT_EQ(RunFaac({"-w", "-b", "96", "-o", dir / "b96.m4r", "-"}, wav).exit_code, 0);
  ASSERT_EQ(RunFaac({"-w", "-q", "50", "-o", dir / "q50.m4r", "-"}, wav).exit_code, 0);
  const double def = Probe(dir / "default.m4r")["format"]["bit_rate"].num();
  const double b96 = Probe(dir / "b96.m4r")["format"]["bit_rate"].num();
  // A tone needs less than the default asks for; the order of the rates is what can be relied on.
  EXPECT_GT(def, 1.5 * b96);
  EXPECT_LT(b96, 110000);
  CheckFile(dir / "q50.m4r", w, {44100, 2});
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(FaacEncode, ExistingOutputIsReplaced) {
  TempDir dir;
  WriteFile(dir / "tone.m4r", "old contents");
  ASSERT_EQ(::chmod((dir / "tone.m4r").c_str(), 0640), 0);
  WavSpec w;
  RunResult r = RunFaac(ConversionArgs(dir / "tone.m4r"), ToString(MakeWav(w)));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  CheckFile(dir / "tone.m4r", w, {44100, 2});
  EXPECT_EQ(ModeOf(dir / "tone.m4r"), 0640u) << "the replaced file keeps its permissions";
  // --overwrite is accepted as faac 2.x wants it.
  r = RunFaac({"-w", "--overwrite", "-o", dir / "tone.m4r", "-"}, ToString(MakeWav(w)));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"tone.m4r"});
  // A new file gets the usual permissions under the umask, not the temporary file's 0600.
  const mode_t mask = ::umask(022);
  r = RunFaac(ConversionArgs(dir / "new.m4r"), ToString(MakeWav(w)));
  ::umask(mask);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(ModeOf(dir / "new.m4r"), 0644u);
}

}  // namespace
