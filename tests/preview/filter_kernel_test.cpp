// The high-pass and low-pass kernels: exactness on the first chunk after installation, state
// carried across chunks and calls, agreement with a continuous double-precision filter,
// stability, channel limits and the three sample formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "kernel_test_support.h"
#include "preview/effect_arithmetic.h"

using namespace preview;
using kt::Apply;

namespace {

constexpr int kRate = 44100;

// F of a cut-off at 44100 Hz, computed here rather than by the code under test.
double F(int fc) { return std::sin(fc * std::numbers::pi / kRate); }

EffectParams Cut(EffectKind kind, int setting) {
  EffectParams p;
  (kind == EffectKind::HighPass ? p.highCut : p.lowCut) = setting;
  return p;
}

std::vector<int16_t> Mix(int frames, int channels) {
  auto a = kt::Sine16(frames, channels, 97.0, kRate, 14000.0);
  const auto b = kt::Sine16(frames, channels, 3100.0, kRate, 6000.0);
  const auto n = kt::Noise16(a.size(), 99);
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<int16_t>(a[i] + b[i] + n[i] / 16);
  return a;
}

struct Case {
  EffectKind kind;
  int setting;
  int fc;  // FilterCutoff at 44100 Hz, worked out by hand
};

const Case kCases[] = {
    {EffectKind::LowPass, 1000, 2205}, {EffectKind::HighPass, 1000, 2205},
    {EffectKind::LowPass, 200, 441},   {EffectKind::HighPass, 200, 441},
    {EffectKind::LowPass, 5000, 11025}, {EffectKind::HighPass, 11025, 22050},
};

}  // namespace

TEST(FilterKernel, FirstChunkAfterInstallingIsTheRestartingArithmeticExactly) {
  // 10000 bytes of 16-bit stereo: chunks of 4096, 4096 and 1808 bytes (1024, 1024, 452 frames).
  ASSERT_EQ(EffectChunkBytes(16, 2), 4096);
  const auto src = Mix(2500, 2);
  ASSERT_EQ(src.size() * 2, 10000u);
  for (const Case& c : kCases) {
    const bool hp = c.kind == EffectKind::HighPass;
    const auto params = Cut(c.kind, c.setting);
    const auto restart = kt::SvfRestartEachChunk16(src, 2, F(c.fc), hp, 1024);

    // A freshly installed filter, one call over the whole buffer.
    std::vector<int16_t> carried = src;
    FilterState state;
    FadeState unused;
    Apply(c.kind, carried, kRate, 16, 2, params, unused, &state);
    for (size_t i = 0; i < 2048; ++i) ASSERT_EQ(carried[i], restart[i]) << c.setting << " " << i;

    // Zeroing the state before each chunk, the caller gets the restarting result everywhere,
    // the short last chunk included: the arithmetic is value for value the same.
    std::vector<int16_t> zeroed = src;
    for (size_t at : {0u, 2048u, 4096u}) {
      FilterState fresh;
      const size_t n = std::min<size_t>(2048, src.size() - at);
      ProcessEffect(c.kind, zeroed.data() + at, static_cast<int32_t>(n * 2), kRate, 16, 2, params,
                    unused, &fresh);
    }
    EXPECT_EQ(zeroed, restart) << c.setting;

    // Carrying the state, the second chunk goes on where the first ended instead of restarting.
    if (c.fc < 22050) {
      size_t differ = 0;
      for (size_t i = 2048; i < carried.size(); ++i) differ += carried[i] != restart[i];
      EXPECT_GT(differ, 0u) << c.setting;
    }
  }
}

TEST(FilterKernel, PiecesOf1_7_450And4096FramesGiveTheOneCallOutput) {
  const auto src = Mix(3 * kRate + 333, 2);
  for (const Case& c : kCases) {
    const auto params = Cut(c.kind, c.setting);
    std::vector<int16_t> whole = src;
    FilterState s0;
    FadeState unused;
    Apply(c.kind, whole, kRate, 16, 2, params, unused, &s0);
    for (size_t frames : {1u, 7u, 450u, 4096u}) {
      std::vector<int16_t> v = src;
      FilterState s;
      kt::RunInPieces(c.kind, v, kRate, 16, 2, params, s, frames);
      ASSERT_EQ(v, whole) << c.setting << " in pieces of " << frames;
      EXPECT_EQ(std::memcmp(&s, &s0, sizeof s), 0);
    }
  }
  // Float data as well.
  std::vector<float> fsrc(2 * 20000);
  for (size_t i = 0; i < fsrc.size(); ++i) fsrc[i] = static_cast<float>(std::sin(i * 0.0123));
  std::vector<float> whole = fsrc;
  FilterState s0;
  FadeState unused;
  Apply(EffectKind::LowPass, whole, kRate, 32, 2, Cut(EffectKind::LowPass, 300), unused, &s0);
  for (size_t frames : {1u, 7u, 450u, 4096u}) {
    std::vector<float> v = fsrc;
    FilterState s;
    kt::RunInPieces(EffectKind::LowPass, v, kRate, 32, 2, Cut(EffectKind::LowPass, 300), s,
                    frames);
    ASSERT_EQ(v, whole) << frames;
  }
}

TEST(FilterKernel, FollowsAContinuousDoublePrecisionFilterAcrossChunkBoundaries) {
  const int frames = 5 * kRate;
  const auto src = Mix(frames, 2);
  const auto x = kt::ToDouble(src);
  for (const Case& c : kCases) {
    const bool hp = c.kind == EffectKind::HighPass;
    const auto ref = kt::SvfDouble(x, 2, F(c.fc), hp);
    std::vector<int16_t> ours = src;
    FilterState s;
    kt::RunInPieces(c.kind, ours, kRate, 16, 2, Cut(c.kind, c.setting), s, 441);  // 10 ms pieces
    double worst = 0, worstAtBoundary = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      const double want = std::clamp(std::nearbyint(ref[i]), -32768.0, 32767.0);
      const double d = std::fabs(ours[i] - want);
      worst = std::max(worst, d);
      if ((i / 2) % 1024 == 0 || (i / 2) % 441 == 0) worstAtBoundary = std::max(worstAtBoundary, d);
    }
    EXPECT_LE(worst, 1.0) << c.setting;
    EXPECT_LE(worstAtBoundary, 1.0) << c.setting;

    // The restarting arithmetic, by contrast, jumps at every chunk.
    if (c.fc <= 2205) {
      const auto restart = kt::SvfRestartEachChunk16(src, 2, F(c.fc), hp, 1024);
      double jump = 0;
      for (size_t i = 2048; i < restart.size(); i += 2048) {
        jump = std::max(jump, std::fabs(restart[i] - std::nearbyint(ref[i])));
      }
      EXPECT_GT(jump, 100.0) << c.setting;
    }
  }
}

TEST(FilterKernel, StaysBoundedForEveryCoefficientUpToOne) {
  // Full-range noise for 20 s per setting, F from 7e-5 (1 Hz) up to exactly 1.
  const auto noise = kt::Noise16(2 * 20 * kRate, 7);
  for (int setting : {0, 1, 50, 1000, 5000, 8000, 9999, 10000, 11025}) {
    for (EffectKind kind : {EffectKind::LowPass, EffectKind::HighPass}) {
      std::vector<int16_t> v = noise;
      FilterState s;
      FadeState unused;
      Apply(kind, v, kRate, 16, 2, Cut(kind, setting), unused, &s);
      for (int c = 0; c < 2; ++c) {
        EXPECT_TRUE(std::isfinite(s.low[c]) && std::isfinite(s.band[c]) &&
                    std::isfinite(s.high[c]));
        EXPECT_LT(std::fabs(s.low[c]), 4 * 32768.0f) << setting;
        EXPECT_LT(std::fabs(s.band[c]), 4 * 32768.0f) << setting;
        EXPECT_LT(std::fabs(s.high[c]), 4 * 32768.0f) << setting;
      }
    }
  }
  // F = 1 on float data, a minute of the hardest input (full-scale Nyquist), never limited.
  std::vector<float> nyq(60 * kRate);
  for (size_t i = 0; i < nyq.size(); ++i) nyq[i] = (i % 2) ? 1.0f : -1.0f;
  FilterState s;
  FadeState unused;
  Apply(EffectKind::HighPass, nyq, kRate, 32, 1, Cut(EffectKind::HighPass, 10000), unused, &s);
  float peak = 0;
  for (float y : nyq) peak = std::max(peak, std::fabs(y));
  EXPECT_TRUE(std::isfinite(peak));
  EXPECT_GT(peak, 1.0f);  // float data is not limited
  EXPECT_LT(peak, 8.0f);
}

TEST(FilterKernel, SettlesOnDirectCurrentAtTheLowestCutoff) {
  // fc = 1 Hz: after 10 s the low-pass passes DC and the high-pass removes it. With the state
  // held in floats, the low-pass stops short once F x band falls below half a float step of
  // `low`: at 10000 that leaves up to about 7 (0.07 %) below the level.
  for (EffectKind kind : {EffectKind::LowPass, EffectKind::HighPass}) {
    for (int level : {10000, -30000, 100}) {
      std::vector<int16_t> v(10 * kRate, static_cast<int16_t>(level));
      FilterState s;
      FadeState unused;
      Apply(kind, v, kRate, 16, 1, Cut(kind, 0), unused, &s);
      const int want = kind == EffectKind::LowPass ? level : 0;
      const double tolerance = kind == EffectKind::LowPass ? 1.0 + std::abs(level) * 1e-3 : 1.0;
      for (size_t i = v.size() - kRate; i < v.size(); ++i) {
        ASSERT_NEAR(v[i], want, tolerance) << level << " " << i;
      }
    }
  }
}

TEST(FilterKernel, StereoChannelsShareTheCoefficientAndChannelsPastTenPassUnchanged) {
  const int frames = 6000;
  const auto mono = Mix(frames, 1);
  const auto params = Cut(EffectKind::LowPass, 700);
  FadeState unused;
  std::vector<int16_t> monoOut = mono;
  FilterState ms;
  Apply(EffectKind::LowPass, monoOut, kRate, 16, 1, params, unused, &ms);

  // Twelve channels: 0..9 filtered as if alone (channel 3 carries the same signal as the mono
  // run), 10 and 11 left as they are.
  const int chans = 12;
  auto many = Mix(frames, chans);
  for (int i = 0; i < frames; ++i) many[static_cast<size_t>(i) * chans + 3] = mono[i];
  const auto in = many;
  FilterState s;
  Apply(EffectKind::LowPass, many, kRate, 16, chans, params, unused, &s);
  for (int c = 0; c < chans; ++c) {
    std::vector<int16_t> alone(frames), got(frames);
    for (int i = 0; i < frames; ++i) {
      alone[i] = in[static_cast<size_t>(i) * chans + c];
      got[i] = many[static_cast<size_t>(i) * chans + c];
    }
    if (c >= kFilterChannels) {
      EXPECT_EQ(got, alone) << c;
      continue;
    }
    FilterState one;
    Apply(EffectKind::LowPass, alone, kRate, 16, 1, params, unused, &one);
    EXPECT_EQ(got, alone) << c;
  }
  std::vector<int16_t> ch3(frames);
  for (int i = 0; i < frames; ++i) ch3[i] = many[static_cast<size_t>(i) * chans + 3];
  EXPECT_EQ(ch3, monoOut);

  // Stereo with both channels equal: equal outputs.
  std::vector<int16_t> st(2 * frames);
  for (int i = 0; i < frames; ++i) st[2 * i] = st[2 * i + 1] = mono[i];
  FilterState ss;
  Apply(EffectKind::LowPass, st, kRate, 16, 2, params, unused, &ss);
  for (int i = 0; i < frames; ++i) ASSERT_EQ(st[2 * i], monoOut[i]);
  for (int i = 0; i < frames; ++i) ASSERT_EQ(st[2 * i + 1], monoOut[i]);
}

TEST(FilterKernel, EightBitData) {
  const int frames = 20000;
  std::vector<uint8_t> v(frames);
  for (int i = 0; i < frames; ++i) {
    v[i] = static_cast<uint8_t>(128 + std::lround(120 * std::sin(i * 0.05) * ((i / 3000) % 2 ? 1 : 0.3)));
  }
  const auto x = kt::ToDouble(v, 128.0);
  for (const Case& c : kCases) {
    const bool hp = c.kind == EffectKind::HighPass;
    const auto ref = kt::SvfDouble(x, 1, F(c.fc), hp);
    std::vector<uint8_t> ours = v;
    FilterState s;
    kt::RunInPieces(c.kind, ours, kRate, 8, 1, Cut(c.kind, c.setting), s, 450);
    for (int i = 0; i < frames; ++i) {
      const double want = std::clamp(std::nearbyint(ref[i]), -128.0, 127.0) + 128.0;
      ASSERT_NEAR(ours[i], want, 1.0) << c.setting << " " << i;
    }
  }
  // The high-pass at F = 1 overshoots a full-scale step: limited to 0..255.
  std::vector<uint8_t> step(100, 0);
  for (int i = 50; i < 100; ++i) step[i] = 255;
  FilterState s;
  FadeState unused;
  Apply(EffectKind::HighPass, step, kRate, 8, 1, Cut(EffectKind::HighPass, 11025), unused, &s);
  EXPECT_EQ(step[0], 0);   // -128 passes as -128
  EXPECT_EQ(step[50], 255);  // +255 of difference, limited
}

TEST(FilterKernel, FloatDataIsNotRoundedAndReachesZeroHertz) {
  const int frames = 30000;
  std::vector<float> v(frames);
  for (int i = 0; i < frames; ++i) v[i] = static_cast<float>(0.8 * std::sin(i * 0.031) + 0.1 * std::sin(i * 1.3));
  const auto x = kt::ToDouble(v);
  for (const Case& c : kCases) {
    const auto ref = kt::SvfDouble(x, 1, F(c.fc), c.kind == EffectKind::HighPass);
    std::vector<float> ours = v;
    FilterState s;
    FadeState unused;
    Apply(c.kind, ours, kRate, 32, 1, Cut(c.kind, c.setting), unused, &s);
    double worst = 0;
    for (int i = 0; i < frames; ++i) worst = std::max(worst, std::fabs(ours[i] - ref[i]));
    EXPECT_LT(worst, 2e-5) << c.setting;
  }
  // Value for value the float-stored arithmetic, in both channels of a stereo chunk.
  std::vector<float> st(2 * 1024);
  for (size_t i = 0; i < st.size(); ++i) st[i] = static_cast<float>(std::sin(i * 0.0123));
  for (const Case& c : kCases) {
    const bool highPass = c.kind == EffectKind::HighPass;
    std::vector<float> ours = st;
    FilterState s;
    FadeState unused;
    Apply(c.kind, ours, kRate, 32, 2, Cut(c.kind, c.setting), unused, &s);
    const double f = F(c.fc);
    for (int ch = 0; ch < 2; ++ch) {
      float low = 0, band = 0, high = 0;
      for (size_t i = ch; i < st.size(); i += 2) {
        low = static_cast<float>(f * static_cast<double>(band) + static_cast<double>(low));
        high = static_cast<float>(static_cast<double>(st[i]) - static_cast<double>(low) -
                                  static_cast<double>(band));
        band = static_cast<float>(f * static_cast<double>(high) + static_cast<double>(band));
        ASSERT_EQ(ours[i], highPass ? high : low) << c.setting << " " << i;
      }
    }
  }

  // Setting 0 on float data is 0 Hz (F = 0): the high-pass passes everything exactly, the
  // low-pass passes nothing. (On 16-bit data the same setting is 1 Hz.)
  std::vector<float> hp = v, lp = v;
  FilterState a, b;
  FadeState unused;
  Apply(EffectKind::HighPass, hp, kRate, 32, 1, Cut(EffectKind::HighPass, 0), unused, &a);
  Apply(EffectKind::LowPass, lp, kRate, 32, 1, Cut(EffectKind::LowPass, 0), unused, &b);
  EXPECT_EQ(hp, v);
  EXPECT_EQ(lp, std::vector<float>(frames, 0.0f));
}
