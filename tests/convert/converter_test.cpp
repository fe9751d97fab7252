// The conversion end to end: with a recording stand-in encoder the exact command line and PCM it
// receives, the effects, the gauge and the failure paths; with the real encoder a checked .m4r.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "convert/encoder_command.h"
#include "convert/ringtone_converter.h"
#include "preview/effect_arithmetic.h"
#include "preview/effect_kernels.h"
#include "preview/preview_effects.h"
#include "preview/render_effects.h"
#include "support/fixtures.h"
#include "support/command.h"
#include "support/sink_support.h"

namespace {

using namespace audio;
using convert::ConvertRequest;
using convert::ConvertResult;
namespace fs = std::filesystem;

// The 16-bit PCM of a WAV file (its data chunk), frames from `from` on, `frames` of them.
std::vector<int16_t> WavFrames(const std::string& path, int64_t from, int64_t frames) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> all((std::istreambuf_iterator<char>(in)), {});
  size_t at = 12;
  while (at + 8 <= all.size()) {
    uint32_t size;
    std::memcpy(&size, &all[at + 4], 4);
    if (std::memcmp(&all[at], "data", 4) == 0) break;
    at += 8 + size + (size & 1);
  }
  const auto* pcm = reinterpret_cast<const int16_t*>(&all[at + 8]);
  return std::vector<int16_t>(pcm + from * 2, pcm + (from + frames) * 2);
}

std::vector<int16_t> PcmAfterHeader(const std::vector<uint8_t>& stdinBytes) {
  if (stdinBytes.size() < 44) return {};
  std::vector<int16_t> pcm((stdinBytes.size() - 44) / 2);
  std::memcpy(pcm.data(), stdinBytes.data() + 44, pcm.size() * 2);
  return pcm;
}

class ConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Init(-1, 44100, 0, nullptr));
    ref = twtest::Fixture("ref.wav");
    // The conversion installs its effects only while a preview stream exists.
    shared.playStream = StreamCreateFile(ref.c_str(), 0, 0, STREAM_DECODE);
    ASSERT_NE(shared.playStream.load(), 0u);
    shared.controls.fadeIn = false;
    out = fs::temp_directory_path() / ("tw_convert_" + std::to_string(::getpid()) + ".m4r");
    fs::remove(out);
  }
  void TearDown() override {
    Free();
    fs::remove(out);
  }
  ConvertRequest Request(double start, double end, convert::TagFields tags = {}) {
    ConvertRequest r;
    r.inputPath = ref;
    r.outputPath = out.string();
    r.command = convert::BuildEncoderCommand(out.string(), tags);
    r.startSeconds = start;
    r.endSeconds = end;
    return r;
  }

  std::string ref;
  fs::path out;
  preview::PreviewShared shared;
  preview::RenderEffects render{shared};
  convert::RingtoneConverter converter{render};
};

// 3.7 s to 9.2 s is exactly that: frames 163170 to 405720 of the source, not whole seconds.
constexpr int64_t kStart = 163170;
constexpr int64_t kFrames = 405720 - kStart;

TEST_F(ConverterTest, TheEncoderGetsTheCommandAndExactlyThePart) {
  twtest::SinkDir sink;
  convert::TagFields tags{true, "Two Words", "", "", "", "2010"};
  std::vector<int> gauge;
  converter.onProgress = [&](int p) { gauge.push_back(p); };
  ASSERT_EQ(converter.ConvertToRingtone(Request(3.7, 9.2, tags)), ConvertResult::Done);
  EXPECT_EQ(sink.Args(), (std::vector<std::string>{"-w", "--mpeg-vers", "4", "--title", "Two Words",
                                                   "--year", "2010", "-o", out.string(), "-"}));
  const auto in = sink.Stdin();
  ASSERT_GE(in.size(), 44u);
  EXPECT_EQ(std::memcmp(in.data(), "RIFF", 4), 0);
  uint16_t chans, bits;
  uint32_t rate;
  std::memcpy(&chans, &in[22], 2);
  std::memcpy(&rate, &in[24], 4);
  std::memcpy(&bits, &in[34], 2);
  EXPECT_EQ(chans, 2);
  EXPECT_EQ(rate, 44100u);
  EXPECT_EQ(bits, 16);
  const auto pcm = PcmAfterHeader(in);
  EXPECT_EQ(pcm.size(), static_cast<size_t>(kFrames * 2));
  EXPECT_EQ(pcm, WavFrames(ref, kStart, kFrames));
  ASSERT_FALSE(gauge.empty());
  EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end()));
  EXPECT_EQ(gauge.back(), 100);
  EXPECT_TRUE(converter.renderDone());
}

TEST_F(ConverterTest, EffectsActOnTheRenderedDataAsTheKernelsSay) {
  twtest::SinkDir sink;
  shared.controls.fadeIn = true;
  shared.controls.fadeInSeconds = 1;
  auto request = Request(3.7, 9.2);
  request.effects = preview::EffectControls{true, 6, false, 0, true, 3000};
  ASSERT_EQ(converter.ConvertToRingtone(request), ConvertResult::Done);
  auto expect = WavFrames(ref, kStart, kFrames);
  preview::EffectParams p;
  p.lowCut = 3000;
  p.gainFactor = preview::GainFactorFor(6);
  preview::FilterState filter;
  preview::FadeState fade, none;
  const auto bytes = static_cast<int32_t>(expect.size() * 2);
  preview::ProcessEffect(preview::EffectKind::LowPass, expect.data(), bytes, 44100, 16, 2, p, none, &filter);
  preview::ProcessEffect(preview::EffectKind::Gain, expect.data(), bytes, 44100, 16, 2, p, none, nullptr);
  preview::StartFadeState(fade, true, 1, 44100, 2);
  preview::ProcessEffect(preview::EffectKind::Fade, expect.data(), bytes, 44100, 16, 2, p, fade, nullptr);
  EXPECT_EQ(PcmAfterHeader(sink.Stdin()), expect);
}

// The fade-out of 3.5 s to 9.5 s with 2 s: exactly the last 2 s before the end time, frame for
// frame where the preview's fade-out sits, ending in silence at the ringtone's last frame, so that
// the phone's loop of the ringtone does not click. Checked against the same seconds
// converted without the fade and faded by the kernel, on sources the mixer passes through and
// ones it resamples and mixes down.
TEST_F(ConverterTest, TheFadeOutEndsInSilenceAtTheEndTimeWhateverTheSourceRate) {
  shared.controls.fadeOutSeconds = 2;
  for (const char* name : {"ref.wav", "22k.wav", "8k.wav", "surround51.wav"}) {
    SCOPED_TRACE(name);
    auto request = Request(3.5, 9.5);
    request.inputPath = twtest::Fixture(name);
    std::vector<int16_t> expect, pcm;
    {
      twtest::SinkDir sink;
      shared.controls.fadeOut = false;
      ASSERT_EQ(converter.ConvertToRingtone(request), ConvertResult::Done);
      expect = PcmAfterHeader(sink.Stdin());
    }
    {
      twtest::SinkDir sink;
      shared.controls.fadeOut = true;
      ASSERT_EQ(converter.ConvertToRingtone(request), ConvertResult::Done);
      pcm = PcmAfterHeader(sink.Stdin());
    }
    ASSERT_EQ(pcm.size(), expect.size());
    ASSERT_EQ(expect.size(), static_cast<size_t>(6 * 44100 * 2)) << "the ringtone ends at its end time";
    preview::EffectParams p;
    preview::FadeState fade;
    preview::StartFadeState(fade, false, 2, 44100, 2);
    const size_t from = 4 * 44100 * 2;
    preview::ProcessEffect(preview::EffectKind::Fade, expect.data() + from, static_cast<int32_t>((expect.size() - from) * 2),
                           44100, 16, 2, p, fade, nullptr, preview::FadeTail::SilenceAfterFadeOut);
    size_t first = 0;
    while (first < pcm.size() && pcm[first] == expect[first]) ++first;
    EXPECT_EQ(first, pcm.size()) << "first difference at frame " << first / 2 << " of " << pcm.size() / 2
                                 << "; the fade-out should begin at frame " << from / 2;
    EXPECT_EQ(pcm[pcm.size() - 2], 0);
    EXPECT_EQ(pcm.back(), 0);
  }
}

// Fades longer than the part are placed within it (a fade-out alone takes the whole part, two
// fades half each): the ringtone still fades in from silence and ends in silence at its last
// frame, checked against the part converted unfaded and faded by the kernel.
TEST_F(ConverterTest, FadesLongerThanThePartAreFittedWithinIt) {
  const struct {
    bool in;
    int32_t inSeconds;
    bool out;
    int32_t outSeconds;
    double start, end, fitIn, fitOut;
  } cases[] = {
      {false, 5, true, 5, 3, 6, 0, 3},
      {true, 10, true, 10, 3, 5, 1, 1},
      {true, 1, true, 5, 3, 6, 1, 1.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fitOut);
    std::vector<int16_t> expect, pcm;
    for (const bool faded : {false, true}) {
      twtest::SinkDir sink;
      shared.controls.fadeIn = faded && c.in;
      shared.controls.fadeInSeconds = c.inSeconds;
      shared.controls.fadeOut = faded && c.out;
      shared.controls.fadeOutSeconds = c.outSeconds;
      ASSERT_EQ(converter.ConvertToRingtone(Request(c.start, c.end)), ConvertResult::Done);
      (faded ? pcm : expect) = PcmAfterHeader(sink.Stdin());
    }
    ASSERT_EQ(pcm.size(), expect.size());
    preview::EffectParams p;
    preview::FadeState fade;
    if (c.fitIn > 0) {
      preview::StartFadeState(fade, true, c.fitIn, 44100, 2);
      preview::ProcessEffect(preview::EffectKind::Fade, expect.data(), static_cast<int32_t>(expect.size() * 2), 44100,
                             16, 2, p, fade, nullptr);
    }
    preview::StartFadeState(fade, false, c.fitOut, 44100, 2);
    const size_t from = expect.size() - static_cast<size_t>(c.fitOut * 44100) * 2;
    preview::ProcessEffect(preview::EffectKind::Fade, expect.data() + from, static_cast<int32_t>((expect.size() - from) * 2),
                           44100, 16, 2, p, fade, nullptr, preview::FadeTail::SilenceAfterFadeOut);
    int worst = 0;
    for (size_t i = 0; i < pcm.size(); ++i) worst = std::max(worst, std::abs(pcm[i] - expect[i]));
    EXPECT_LE(worst, 2);
    EXPECT_EQ(pcm.back(), 0);
  }
}

// A ringtone never replaces the file it is made from, by whatever path it is named: nothing runs.
TEST_F(ConverterTest, AnOutputThatIsTheInputIsRefused) {
  const fs::path copy = out.parent_path() / ("tw_self_" + std::to_string(::getpid()) + ".wav");
  fs::copy_file(ref, copy, fs::copy_options::overwrite_existing);
  const auto size = fs::file_size(copy);
  for (const fs::path& named : {copy, copy.parent_path() / "." / copy.filename()}) {
    twtest::SinkDir sink;
    auto request = Request(1, 3);
    request.inputPath = copy.string();
    request.outputPath = named.string();
    EXPECT_EQ(converter.ConvertToRingtone(request), ConvertResult::OutputIsInput);
    EXPECT_TRUE(sink.Args().empty()) << "the encoder ran";
  }
  EXPECT_EQ(fs::file_size(copy), size);
  EXPECT_STRNE(convert::ResultMessage(ConvertResult::OutputIsInput), "");
  fs::remove(copy);
}

// Decoded by ffmpeg to 44100 Hz stereo 16-bit: `seconds` from `start` (all of it when negative).
std::vector<int16_t> FfmpegPcm(const std::string& path, double start = 0, double seconds = -1) {
  std::string cmd = "ffmpeg -nostdin -v error -ss " + std::to_string(start);
  if (seconds > 0) cmd += " -t " + std::to_string(seconds);
  const std::string bytes = twtest::CommandOutput(cmd + " -i '" + path + "' -f s16le -ac 2 -ar 44100 -");
  std::vector<int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

// Android's and MP3 ringtones, encoded in this process: ffmpeg's decode of the ringtone is its
// decode of the same seconds of the source (length within 30 ms, lag within 2 ms, level within
// 0.5 dB), the tags read back with ffprobe; a cancelled one leaves an existing file as it was and
// a write that cannot be made fails without a file.
TEST_F(ConverterTest, AndroidAndMp3RingtonesHoldThePartAndItsTags) {
  const struct {
    const char* ext;
    const char* codec;
    const char* loop;  // the loop tag Android reads
  } kinds[] = {{".ogg", "codec_name=vorbis", "android_loop=true"}, {".MP3", "codec_name=mp3", ""}};
  const convert::TagFields tags{true, "Two Words", "Some One", "An Album", "Bells", "2010"};
  const auto source = FfmpegPcm(ref, 2.5, 5.75);
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.ext);
    const std::string path = out.string() + k.ext;
    auto request = Request(2.5, 8.25, tags);
    request.outputPath = path;
    request.tags = tags;
    ASSERT_EQ(converter.ConvertToRingtone(request), ConvertResult::Done) << converter.lastError();
    std::string probe = twtest::CommandOutput("ffprobe -v error -show_entries stream=codec_name:stream_tags:format_tags "
                                              "-of default=nw=1 '" + path + "'");
    for (char& ch : probe) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const char* want : {k.codec, "title=two words", "artist=some one", "album=an album", "genre=bells", "date=2010"})
      EXPECT_NE(probe.find(want), std::string::npos) << want << " in " << probe;
    if (*k.loop != 0) {
      EXPECT_NE(probe.find("android_loop=true"), std::string::npos) << probe;
    }
    const auto ours = FfmpegPcm(path);
    EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(source.size()), 0.030 * 44100 * 2);
    // The lag: the shift within 10 ms either way that matches a second from the middle best.
    const auto match = [&](int lag) {
      double sum = 0;
      for (size_t i = 2 * 44100; i < 3 * 44100; ++i)
        sum += static_cast<double>(ours[2 * i]) * source[2 * static_cast<size_t>(static_cast<std::ptrdiff_t>(i) + lag)];
      return sum;
    };
    int best = -441;
    for (int lag = -441; lag <= 441; ++lag)
      if (match(lag) > match(best)) best = lag;
    EXPECT_LE(std::abs(best), 88) << "frames of lag";
    const auto rms = [](const std::vector<int16_t>& v) {
      double e = 0;
      for (const int16_t x : v) e += static_cast<double>(x) * x;
      return std::sqrt(e / static_cast<double>(std::max<size_t>(1, v.size())));
    };
    EXPECT_NEAR(20 * std::log10(rms(ours) / rms(source)), 0.0, 0.5);

    // Cancelled at once: the earlier file stays as it was, and nothing else is left.
    { std::ofstream(path) << "an earlier ringtone"; }
    converter.onProgress = [&](int) { converter.Cancel(); };
    auto whole = Request(0, 10, tags);
    whole.outputPath = path;
    EXPECT_EQ(converter.ConvertToRingtone(whole), ConvertResult::Cancelled);
    converter.onProgress = nullptr;
    std::string kept;
    std::getline(std::ifstream(path), kept);
    EXPECT_EQ(kept, "an earlier ringtone");
    fs::remove(path);
    request.outputPath = ref + "/under_a_file" + k.ext;  // a folder that cannot exist
    EXPECT_EQ(converter.ConvertToRingtone(request), ConvertResult::ErrorWriting);
    EXPECT_NE(converter.lastError().find("under_a_file"), std::string::npos) << converter.lastError();
  }
  for (const auto& entry : fs::directory_iterator(out.parent_path()))
    EXPECT_NE(entry.path().filename().string().rfind("." + out.filename().string(), 0), 0u) << "left: " << entry.path();
}

// What the low-pass does to the preview of a file at another rate is what it does to the
// ringtone: the share of the energy it keeps over the converted seconds is the same, although the
// preview filters at the file's rate and the ringtone at 44100 Hz.
TEST_F(ConverterTest, ThePreviewsFilterSoundsAsTheRingtonesAtEveryRate) {
  const auto rms = [](const std::vector<int16_t>& v) {
    double e = 0;
    for (int16_t x : v) e += static_cast<double>(x) * x;
    return std::sqrt(e / static_cast<double>(std::max<size_t>(v.size(), 1)));
  };
  for (const char* name : {"8k.wav", "22k.wav", "48k_mono.wav"}) {
    SCOPED_TRACE(name);
    const std::string path = twtest::Fixture(name);
    // The ringtone, with and without the low-pass at 200 (441 Hz).
    double ringtone[2] = {0, 0};
    for (const bool filtered : {false, true}) {
      twtest::SinkDir sink;
      auto request = Request(3, 9);
      request.inputPath = path;
      request.effects = preview::EffectControls{false, 0, false, 0, filtered, 200};
      ASSERT_EQ(converter.ConvertToRingtone(request), ConvertResult::Done);
      ringtone[filtered] = rms(PcmAfterHeader(sink.Stdin()));
    }
    // The preview of the same seconds, as the window sets it up for the file.
    StreamFree(shared.playStream.load());
    const Handle h = StreamCreateFile(path.c_str(), 0, 0, STREAM_DECODE);
    ASSERT_NE(h, 0u);
    ChannelInfo info;
    ASSERT_TRUE(ChannelGetInfo(h, &info));
    shared.playStream = h;
    shared.format.rate = static_cast<int32_t>(info.freq);
    shared.format.channels = static_cast<int32_t>(info.chans);
    shared.format.bits = 16;
    preview::PreviewEffects effects(shared);
    double preview[2] = {0, 0};
    for (const bool filtered : {false, true}) {
      effects.clowpassClick(filtered, 200);
      ASSERT_TRUE(ChannelSetPosition(h, ChannelSeconds2Bytes(h, 3), POS_BYTE));
      std::vector<int16_t> pcm(static_cast<size_t>(ChannelSeconds2Bytes(h, 6) / 2));
      ASSERT_EQ(ChannelGetData(h, pcm.data(), static_cast<uint32_t>(pcm.size() * 2)), pcm.size() * 2);
      preview[filtered] = rms(pcm);
    }
    const double kept = ringtone[1] / ringtone[0];
    EXPECT_LT(kept, 0.95) << "the filter takes something away";
    // Within a tenth (the filters' shapes differ a little at 8000 Hz); when the preview counted
    // the setting in its own rate, 8 kHz kept 0.02 where the ringtone kept 0.28, 48 kHz 0.34.
    EXPECT_NEAR(preview[1] / preview[0], kept, kept / 10);
  }
}

TEST_F(ConverterTest, ASourceEndingBeforeTheSelectionEndIsNoError) {
  twtest::SinkDir sink;
  std::vector<int> gauge;
  converter.onProgress = [&](int p) { gauge.push_back(p); };
  ASSERT_EQ(converter.ConvertToRingtone(Request(8, 12)), ConvertResult::Done);
  // The encoder is told the 2 s the part truly has (its header states them), not the 4 asked for.
  const auto got = sink.Stdin();
  ASSERT_GE(got.size(), 44u);
  EXPECT_EQ(got[40] | got[41] << 8 | got[42] << 16 | got[43] << 24, 2 * 44100 * 4);
  EXPECT_EQ(PcmAfterHeader(got).size(), static_cast<size_t>(2 * 44100 * 2));
  EXPECT_FALSE(converter.renderDone());
  ASSERT_FALSE(gauge.empty());
}

// Files whose header only estimates their length, the ADTS one at a third of the truth: a part
// late in the file, with decimals, is rendered from exactly its own frames, as an independent
// decode of the whole file by ffmpeg has them; a start past the real end is an error, not another
// ringtone.
TEST_F(ConverterTest, LatePartsOfFilesWithAnEstimatedLength) {
  constexpr int64_t from = 1334025;       // 30.25 s
  constexpr int64_t frames = 337365;      // to 37.9 s
  for (const char* name : {"late.aac", "late_vbr.mp3"}) {
    SCOPED_TRACE(name);
    twtest::SinkDir sink;
    auto request = Request(30.25, 37.9);
    request.inputPath = twtest::Fixture(name);
    ASSERT_EQ(converter.ConvertToRingtone(request), ConvertResult::Done);
    const auto pcm = PcmAfterHeader(sink.Stdin());
    ASSERT_EQ(pcm.size(), static_cast<size_t>(frames * 2));
    const std::string all = twtest::CommandOutput("ffmpeg -nostdin -v error -i '" + request.inputPath + "' -f s16le -");
    ASSERT_GE(all.size() / 4, static_cast<size_t>(from + frames));
    std::vector<int16_t> expect(pcm.size());
    std::memcpy(expect.data(), all.data() + from * 4, expect.size() * 2);
    int worst = 0;
    for (size_t i = 0; i < pcm.size(); ++i) worst = std::max(worst, std::abs(pcm[i] - expect[i]));
    EXPECT_LE(worst, 1) << "the ringtone is not the marked part";
  }
  auto past = Request(45, 50);
  past.inputPath = twtest::Fixture("late.aac");
  {
    twtest::SinkDir sink;
    EXPECT_EQ(converter.ConvertToRingtone(past), ConvertResult::StartPastEnd);
    EXPECT_TRUE(sink.Stdin().empty()) << "no encoder was started";
    EXPECT_EQ(std::string(convert::ResultMessage(ConvertResult::StartPastEnd)), "Error creating stream!");
  }
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(ConverterTest, FailuresAreReportedAndLeaveNoFile) {
  {
    auto r = Request(3, 9);
    r.inputPath = twtest::Fixture("random.mp3");
    EXPECT_EQ(converter.ConvertToRingtone(r), ConvertResult::ErrorCreatingStream);
  }
  {
    auto r = Request(3, 9);
    r.command = "tw-no-such-encoder -o x -";
    EXPECT_EQ(converter.ConvertToRingtone(r), ConvertResult::ErrorStartingEncoder);
  }
  // Encoders that fail after they began their output file: the partial file goes.
  {
    twtest::SinkDir sink("code:1,partial");
    EXPECT_EQ(converter.ConvertToRingtone(Request(3, 9)), ConvertResult::ErrorWriting);
    EXPECT_FALSE(fs::exists(out));
  }
  {
    twtest::SinkDir sink("early:1000,partial");
    EXPECT_EQ(converter.ConvertToRingtone(Request(3, 9)), ConvertResult::ErrorWriting);
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(std::string(convert::ResultMessage(ConvertResult::ErrorGetData)), "Error Get Data!");
  EXPECT_EQ(std::string(convert::ResultMessage(ConvertResult::ErrorCreatingStream)), "Error creating stream!");
}

// An encoder that takes 100 kB and then neither reads nor ends (and has begun its output file):
// the write gives up within seconds, the conversion fails with its message, the program is
// ended, its file removed, and the next conversion runs as usual. All the while the caller's
// thread is served: the write hangs on the worker, not on the window.
TEST_F(ConverterTest, AnEncoderThatStopsReadingEndsTheConversionWithinSeconds) {
  {
    twtest::SinkDir sink("stall:100000");
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    auto last = t0;
    Clock::duration worstGap{};
    int served = 0;
    converter.processEvents = [&] {
      const auto now = Clock::now();
      worstGap = std::max(worstGap, now - last);
      last = now;
      ++served;
    };
    EXPECT_EQ(converter.ConvertToRingtone(Request(3, 9)), ConvertResult::ErrorWriting);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double gapMs = std::chrono::duration<double, std::milli>(worstGap).count();
    std::printf("stalled encoder: \"%s\" after %.2f s; events served %d times, longest gap %.1f ms\n",
                convert::ResultMessage(ConvertResult::ErrorWriting), seconds, served, gapMs);
    EXPECT_LT(seconds, 15.0);
    // The write is given seconds before it gives up: served every 250 ms at the least, even on a
    // loaded machine (every 10 ms when idle); before, not once until the write gave up.
    EXPECT_GE(served, static_cast<int>(seconds * 4)) << "longest gap " << gapMs << " ms";
    EXPECT_FALSE(fs::exists(out));
    // "[-]o" keeps the pattern from matching the shell that runs pgrep.
    EXPECT_EQ(twtest::CommandOutput("pgrep -f -- '[-]o " + out.string() + "'"), "") << "the stalled program still runs";
    converter.processEvents = nullptr;
  }
  // A close asked for while the write hangs is heard at once, and the conversion ends as
  // cancelled (no message, no file) once the write has given up.
  {
    twtest::SinkDir sink("stall:100000");
    int served = 0;
    converter.processEvents = [&] {
      if (++served == 20) converter.Cancel();  // the window's close
    };
    EXPECT_EQ(converter.ConvertToRingtone(Request(3, 9)), ConvertResult::Cancelled);
    EXPECT_FALSE(fs::exists(out));
    converter.processEvents = nullptr;
  }
  // An encoder that took everything and then does not end: the window's events go on while it is
  // waited for, and a close then ends it at once, without a file or a program left behind.
  {
    twtest::SinkDir sink("hang");
    int waited = 0;
    converter.processEvents = [&] {
      if (fs::exists(sink.path() + "/eof") && ++waited == 20) converter.Cancel();
    };
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(converter.ConvertToRingtone(Request(3, 9)), ConvertResult::Cancelled);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 15.0);
    EXPECT_GE(waited, 20) << "the window's events were not handled while the encoder finished";
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(twtest::CommandOutput("pgrep -f -- '[-]o " + out.string() + "'"), "") << "the program still runs";
    converter.processEvents = nullptr;
  }
  twtest::SinkDir sink;
  EXPECT_EQ(converter.ConvertToRingtone(Request(3, 9)), ConvertResult::Done);
}

// The caller's thread is served while the conversion runs: a second start from there is refused
// without disturbing the first, and a cancel ends the first cleanly.
TEST_F(ConverterTest, ASecondStartWhileRunningIsIgnoredAndCancelStopsCleanly) {
  twtest::SinkDir sink("stall:100000");
  int served = 0;
  ConvertResult nested = ConvertResult::Done;
  converter.processEvents = [&] {
    if (++served == 2) nested = converter.ConvertToRingtone(Request(0, 5));
    if (served == 5) converter.Cancel();
  };
  EXPECT_EQ(converter.ConvertToRingtone(Request(3, 9)), ConvertResult::Cancelled);
  EXPECT_EQ(nested, ConvertResult::Cancelled);
  EXPECT_GE(served, 5);
  EXPECT_FALSE(converter.running());
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(ConverterTest, TheRealEncoderWritesATaggedRingtone) {
  auto request = Request(3.7, 9.2, convert::TagFields{true, "Bell — «два»", "Ombrix", "", "Rock", "2026"});
  // Start the program built beside tonewright rather than the stand-in beside this test.
  request.command = convert::QuotedArgument(std::string(TW_PROGRAM_DIR) + "/faac") +
                    request.command.substr(std::strlen(convert::kEncoderProgram));
  ASSERT_EQ(converter.ConvertToRingtone(request), ConvertResult::Done);
  ASSERT_TRUE(fs::exists(out));
  const std::string probe = twtest::CommandOutput("ffprobe -v error -show_streams -show_format -of flat '" + out.string() + "'");
  EXPECT_NE(probe.find("codec_name=\"aac\""), std::string::npos) << probe;
  EXPECT_NE(probe.find("profile=\"LC\""), std::string::npos);
  EXPECT_NE(probe.find("major_brand=\"M4A \""), std::string::npos);
  EXPECT_NE(probe.find("title=\"Bell — «два»\""), std::string::npos) << probe;
  EXPECT_NE(probe.find("artist=\"Ombrix\""), std::string::npos);
  const auto at = probe.find("format.duration=\"");
  ASSERT_NE(at, std::string::npos);
  const double duration = std::stod(probe.substr(at + 17));
  EXPECT_NEAR(duration, static_cast<double>(kFrames) / 44100, 1024.0 / 44100);
}

TEST_F(ConverterTest, AnUnwritableFolderIsAnErrorWithTheRealEncoder) {
  auto request = Request(3, 9);
  request.outputPath = "/proc/tw-cannot-write/x.m4r";
  request.command = convert::QuotedArgument(std::string(TW_PROGRAM_DIR) + "/faac") + " -w -o " +
                    convert::QuotedArgument(request.outputPath) + " -";
  EXPECT_EQ(converter.ConvertToRingtone(request), ConvertResult::ErrorWriting);
}

}  // namespace
