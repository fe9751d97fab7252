// The gain and fade kernels on all three sample formats, through ProcessEffect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "kernel_test_support.h"
#include "preview/effect_arithmetic.h"
#include "preview/sample_format.h"

using namespace preview;
using kt::Apply;

namespace {

std::vector<int16_t> Gain16(std::vector<int16_t> v, float factor) {
  EffectParams p;
  p.gainFactor = factor;
  FadeState f;
  Apply(EffectKind::Gain, v, 44100, 16, 2, p, f, nullptr);
  return v;
}

}  // namespace

TEST(GainKernel, TwelveDecibelsUpAndDownOn10000) {
  EXPECT_EQ(Gain16({10000, -10000}, GainFactorFor(12)), (std::vector<int16_t>{32767, -32768}));
  EXPECT_EQ(Gain16({10000, -10000}, GainFactorFor(-12)), (std::vector<int16_t>{2512, -2512}));
  EXPECT_EQ(Gain16({10000, 1}, GainFactorFor(6)), (std::vector<int16_t>{19953, 2}));
}

TEST(GainKernel, ZeroDecibelsLeavesEveryValueUnchanged) {
  std::vector<int16_t> all(65536);
  for (int i = 0; i < 65536; ++i) all[i] = static_cast<int16_t>(i - 32768);
  EXPECT_EQ(Gain16(all, GainFactorFor(0)), all);
}

TEST(GainKernel, RoundsHalvesToEven) {
  // 0.5 x odd values lands exactly on halves.
  EXPECT_EQ(Gain16({5, 7, -5, -3, 1, -1, 3}, 0.5f), (std::vector<int16_t>{2, 4, -2, -2, 0, 0, 2}));
  EXPECT_EQ(Clip16(40000), 32767);
  EXPECT_EQ(Clip16(-40000), -32768);
  EXPECT_EQ(Clip8(200), 127);
  EXPECT_EQ(Clip8(-129), -128);
  EXPECT_EQ(RoundHalfEven(2.5f), 2);
  EXPECT_EQ(RoundHalfEven(-3.5f), -4);
  EXPECT_EQ(RoundHalfEven(1e20f), 2147483647 - 127);  // saturated, not undefined
}

TEST(SampleFormat, LimitedRoundingAgreesWithRoundingThenClipping) {
  // The stores limit before rounding; that must equal Clip(round(y)) for every float, halves,
  // the limits' neighbourhood and values far out of range included.
  std::vector<float> ys{NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 0.0f, -0.0f};
  for (int i = -70000; i <= 70000; ++i) {
    ys.push_back(i * 0.5f);
    ys.push_back(i * 0.5f + 0.001f);
    ys.push_back(std::nextafter(i * 0.5f, 1e9f));
    ys.push_back(std::nextafter(i * 0.5f, -1e9f));
  }
  for (float y : ys) {
    if (std::isnan(y)) {
      EXPECT_EQ(RoundLimited(y, -32768.0f, 32767.0f), -32768);
      continue;
    }
    const long r = std::lrint(std::clamp(y, -1e9f, 1e9f));
    ASSERT_EQ(RoundLimited(y, -32768.0f, 32767.0f), Clip16(static_cast<int32_t>(r))) << y;
    ASSERT_EQ(RoundLimited(y, -128.0f, 127.0f), Clip8(static_cast<int32_t>(r))) << y;
  }
}

TEST(GainKernel, EightBitDataWorksAroundTheMidpoint) {
  // bytes: 128 is silence; x = byte - 128.
  std::vector<uint8_t> v{133, 123, 228, 0, 255, 128, 131};
  EffectParams p;
  p.gainFactor = 0.5f;
  FadeState f;
  Apply(EffectKind::Gain, v, 44100, 8, 1, p, f, nullptr);
  // 2.5 -> 2, -2.5 -> -2, 50, -64, 63.5 -> 64, 0, 1.5 -> 2
  EXPECT_EQ(v, (std::vector<uint8_t>{130, 126, 178, 64, 192, 128, 130}));

  std::vector<uint8_t> loud{228, 28, 129};
  p.gainFactor = GainFactorFor(12);
  Apply(EffectKind::Gain, loud, 44100, 8, 1, p, f, nullptr);
  EXPECT_EQ(loud, (std::vector<uint8_t>{255, 0, 132}));  // 398 and -398 limited; 3.98 -> 4
}

TEST(GainKernel, FloatDataIsNeitherRoundedNorLimited) {
  std::vector<float> v{0.25f, -2.0f, 1.0f, 3.0e5f};
  EffectParams p;
  p.gainFactor = GainFactorFor(12);
  FadeState f;
  Apply(EffectKind::Gain, v, 44100, 32, 2, p, f, nullptr);
  const float g = GainFactorFor(12);
  EXPECT_EQ(v, (std::vector<float>{0.25f * g, -2.0f * g, g, 3.0e5f * g}));
  EXPECT_GT(v[2], 1.0f);
}

TEST(FadeKernel, FiveSecondFadeInCovers441000ValuesAndLeavesTheRestUnchanged) {
  const size_t total = 500000;
  std::vector<int16_t> v(total);
  for (size_t i = 0; i < total; ++i) v[i] = static_cast<int16_t>(30000 - (i % 7) * 1000);
  const std::vector<int16_t> in = v;
  FadeState fade;
  StartFadeState(fade, true, 5.0, 44100, 2);
  EXPECT_EQ(fade.fadeGain, 1.0 / 441000.0);
  EffectParams p;
  Apply(EffectKind::Fade, v, 44100, 16, 2, p, fade, nullptr);
  EXPECT_GE(fade.fadeGain, 1.0);

  // A ramp: value k is scaled by about (k + 1) / 441000.
  size_t worst = 0;
  for (size_t k = 0; k < 441000; ++k) {
    const double expect = in[k] * ((k + 1) / 441000.0);
    const double err = std::fabs(v[k] - expect);
    if (err > 0.505) ++worst;
  }
  EXPECT_EQ(worst, 0u);
  EXPECT_EQ(v[0], 0);
  EXPECT_EQ(v[220499], in[220499] / 2);
  // Everything after the fade, in the buffer where it completes, is exactly the input.
  for (size_t k = 441001; k < total; ++k) ASSERT_EQ(v[k], in[k]) << k;

  // The count of values it covers, observed through the fade's own state.
  FadeState a;
  StartFadeState(a, true, 5.0, 44100, 2);
  std::vector<int16_t> part(440990, 100);
  Apply(EffectKind::Fade, part, 44100, 16, 2, p, a, nullptr);
  EXPECT_LT(a.fadeGain, 1.0);  // still running after 440990 values
  std::vector<int16_t> more(12, 100);
  Apply(EffectKind::Fade, more, 44100, 16, 2, p, a, nullptr);
  EXPECT_GE(a.fadeGain, 1.0);  // complete by 441002
  EXPECT_EQ(more.back(), 100);
}

TEST(FadeKernel, FadeOutCompletingMidBufferLeavesTheRestAtFullLevel) {
  std::vector<int16_t> v(100000, 20000);
  FadeState fade;
  StartFadeState(fade, false, 1.0, 44100, 1);  // 44100 values
  EffectParams p;
  Apply(EffectKind::Fade, v, 44100, 16, 1, p, fade, nullptr);
  EXPECT_LE(fade.fadeGain, 0.0);
  EXPECT_EQ(v[0], 20000);  // 20000 x (1 - 1/44100) = 19999.55 -> 20000
  EXPECT_EQ(v[22049], 10000);
  // Every value of its length is scaled, the last one to silence (the summed gain lands a hair
  // below 0 there, which left it at full level: a click at the end of every fade-out).
  EXPECT_EQ(v[44099], 0);
  for (size_t k = 44100; k < v.size(); ++k) ASSERT_EQ(v[k], 20000) << k;
  // The same for the preview's 5 s stereo fade-out, fed in engine-sized buffers.
  std::vector<int16_t> s(441000 + 4000, -30000);
  FadeState five;
  StartFadeState(five, false, 5.0, 44100, 2);
  for (size_t at = 0; at < s.size(); at += 2048)
    ProcessEffect(EffectKind::Fade, s.data() + at, static_cast<int32_t>(std::min<size_t>(2048, s.size() - at) * 2),
                  44100, 16, 2, p, five, nullptr);
  EXPECT_EQ(s[440999], 0);
  EXPECT_EQ(s[441000], -30000);

  // A fade-out that starts during a fade-in goes down from the fade-in's level, not from 1.
  FadeState in;
  StartFadeState(in, true, 5.0, 44100, 1);
  std::vector<int16_t> w(44100, 20000);
  Apply(EffectKind::Fade, w, 44100, 16, 1, p, in, nullptr);
  ASSERT_NEAR(FadeInLevel(in), 0.2, 1e-5);
  StartFadeState(in, false, 1.0, 44100, 1, FadeInLevel(in));
  std::vector<int16_t> down(50000, 20000);
  Apply(EffectKind::Fade, down, 44100, 16, 1, p, in, nullptr);
  EXPECT_NEAR(down[0], 4000, 1);
  EXPECT_NEAR(down[22049], 2000, 1);
  EXPECT_EQ(down[44099], 0);
  EXPECT_EQ(down[44100], 20000);

  // A later buffer passes unchanged too.
  std::vector<int16_t> next(5000, 20000);
  Apply(EffectKind::Fade, next, 44100, 16, 1, p, fade, nullptr);
  EXPECT_EQ(next, std::vector<int16_t>(5000, 20000));
}

TEST(FadeKernel, ConversionFadeOutLeavesSilenceAfterItEnds) {
  const auto tail = FadeTail::SilenceAfterFadeOut;
  EffectParams p;
  std::vector<int16_t> v(100000, 20000);
  FadeState fade;
  StartFadeState(fade, false, 1.0, 44100, 1);
  Apply(EffectKind::Fade, v, 44100, 16, 1, p, fade, nullptr, tail);
  EXPECT_EQ(v[0], 20000);
  EXPECT_EQ(v[22049], 10000);
  for (size_t k = 44100; k < v.size(); ++k) ASSERT_EQ(v[k], 0) << k;
  std::vector<int16_t> next(5000, 20000);
  Apply(EffectKind::Fade, next, 44100, 16, 1, p, fade, nullptr, tail);
  EXPECT_EQ(next, std::vector<int16_t>(5000, 0));
  std::vector<uint8_t> bytes(10, 200);
  Apply(EffectKind::Fade, bytes, 44100, 8, 1, p, fade, nullptr, tail);
  EXPECT_EQ(bytes, std::vector<uint8_t>(10, 128));  // 8-bit silence is the midpoint
  std::vector<float> floats(10, 0.5f);
  Apply(EffectKind::Fade, floats, 44100, 32, 1, p, fade, nullptr, tail);
  EXPECT_EQ(floats, std::vector<float>(10, 0.0f));

  // A completed fade-in keeps full level in the conversion as well.
  FadeState in;
  StartFadeState(in, true, 1.0, 44100, 1);
  std::vector<int16_t> w(50000, 20000);
  Apply(EffectKind::Fade, w, 44100, 16, 1, p, in, nullptr, tail);
  for (size_t k = 44101; k < w.size(); ++k) ASSERT_EQ(w[k], 20000) << k;
  // A fade never started leaves the data unchanged.
  FadeState idle;
  std::vector<int16_t> u(100, 1234);
  Apply(EffectKind::Fade, u, 44100, 16, 1, p, idle, nullptr, tail);
  EXPECT_EQ(u, std::vector<int16_t>(100, 1234));
}

TEST(FadeKernel, AdvancesOncePerValueWhateverTheBufferSizes) {
  const auto src = kt::Sine16(30000, 2, 440.0, 44100, 25000.0);
  EffectParams p;
  std::vector<int16_t> whole = src;
  FadeState a;
  StartFadeState(a, true, 0.25, 44100, 2);  // 22050 values, ends mid-way
  Apply(EffectKind::Fade, whole, 44100, 16, 2, p, a, nullptr);

  for (size_t piece : {1u, 7u, 450u, 4096u}) {
    std::vector<int16_t> v = src;
    FadeState b;
    StartFadeState(b, true, 0.25, 44100, 2);
    for (size_t at = 0; at < v.size(); at += piece) {
      const size_t n = std::min(piece, v.size() - at);
      ProcessEffect(EffectKind::Fade, v.data() + at, static_cast<int32_t>(n * 2), 44100, 16, 2, p,
                    b, nullptr);
    }
    EXPECT_EQ(v, whole) << piece;
    EXPECT_EQ(b.fadeGain, a.fadeGain);
  }
}

TEST(FadeKernel, EightBitAndFloatData) {
  EffectParams p;
  FadeState f;
  f.fadeGain = 0.25;
  f.fadeStep = 0.25;
  std::vector<uint8_t> b{138, 138, 138, 138, 138};  // x = 10
  Apply(EffectKind::Fade, b, 44100, 8, 1, p, f, nullptr);
  // 10 x 0.25 = 2.5 -> 2, 10 x 0.5 = 5, 10 x 0.75 = 7.5 -> 8, then complete
  EXPECT_EQ(b, (std::vector<uint8_t>{130, 133, 136, 138, 138}));

  f.fadeGain = 0.25;
  f.fadeStep = 0.25;
  std::vector<float> v{3.0f, 3.0f, 3.0f, 3.0f, 3.0f};
  Apply(EffectKind::Fade, v, 44100, 32, 1, p, f, nullptr);
  EXPECT_EQ(v[0], 0.75f);  // not rounded
  EXPECT_EQ(v[1], 1.5f);
  EXPECT_EQ(v[2], 2.25f);
  EXPECT_EQ(v[3], 3.0f);
  EXPECT_EQ(v[4], 3.0f);
}
