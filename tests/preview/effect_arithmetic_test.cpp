// The arithmetic behind the effect controls: gain factors, filter cut-offs and coefficients, the
// hint's cut-off and the start of a fade.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <numbers>

#include "preview/effect_arithmetic.h"

using namespace preview;

TEST(GainFactor, GainBarPositionsGiveTheirLinearFactors) {
  EXPECT_FLOAT_EQ(GainFactorFor(-12), 0.25118864f);
  EXPECT_EQ(GainFactorFor(0), 1.0f);  // exactly 1: 0 dB must leave data untouched
  EXPECT_FLOAT_EQ(GainFactorFor(6), 1.9952623f);
  EXPECT_FLOAT_EQ(GainFactorFor(12), 3.9810717f);
  // Every position is the nearest float to the exact decibel ratio.
  for (int p = -12; p <= 12; ++p) {
    const long double exact = std::pow(10.0L, p / 20.0L);
    EXPECT_LE(std::fabs(static_cast<long double>(GainFactorFor(p)) - exact),
              std::nextafter(static_cast<float>(exact), 100.0f) - static_cast<float>(exact))
        << p;
  }
}

TEST(FilterCutoff, SettingsAt44100HzGiveTheirCutoffsAndCoefficients) {
  EXPECT_EQ(FilterCutoff(5000, 44100, 16), 11025);
  EXPECT_NEAR(FilterCoefficient(11025, 44100), 0.70710678, 5e-9);
  EXPECT_NEAR(FilterCoefficient(11025, 44100), std::sqrt(0.5), 1e-15);

  EXPECT_EQ(FilterCutoff(1000, 44100, 16), 2205);
  EXPECT_NEAR(FilterCoefficient(2205, 44100), 0.15643447, 5e-9);

  EXPECT_EQ(FilterCutoff(0, 44100, 16), 1);
  EXPECT_NEAR(FilterCoefficient(1, 44100), std::numbers::pi / 44100, 1e-12);

  // The high-pass bar's position right after opening: limited to half the rate, F = 1.
  EXPECT_EQ(FilterCutoff(11025, 44100, 16), 22050);
  EXPECT_DOUBLE_EQ(FilterCoefficient(22050, 44100), 1.0);
}

TEST(FilterCutoff, IntegerArithmeticLimitsAndTheFloatVariant) {
  // Truncating integer division: 22050 x 1 / 10000 = 2.205 -> 2; 22050 x 3 / 10000 -> 6.
  EXPECT_EQ(FilterCutoff(1, 44100, 16), 2);
  EXPECT_EQ(FilterCutoff(3, 44100, 16), 6);
  // rate div 2 truncates too.
  EXPECT_EQ(FilterCutoff(10000, 22051, 16), 11025);
  EXPECT_EQ(FilterCutoff(5000, 48000, 16), 12000);
  // The product needs 64 bits: 22050 x 2e9 overflows 32 bits, and must still limit to 22050.
  EXPECT_EQ(FilterCutoff(2000000000, 44100, 16), 22050);
  EXPECT_EQ(FilterCutoff(std::numeric_limits<int32_t>::max(), 44100, 32), 22050);
  // Lower limit: 1 Hz for integer data, 0 Hz for float data.
  EXPECT_EQ(FilterCutoff(-500, 44100, 16), 1);
  EXPECT_EQ(FilterCutoff(-500, 44100, 8), 1);
  EXPECT_EQ(FilterCutoff(0, 44100, 32), 0);
  EXPECT_EQ(FilterCutoff(-500, 44100, 32), 0);
  EXPECT_EQ(FilterCoefficient(0, 44100), 0.0);
  EXPECT_EQ(FilterCutoff(1000, 44100, 32), 2205);
}

// The ringtone's cut-off, whatever the rate of the file the bar was set up for.
TEST(FilterHint, ShowsTheCutoffTheRingtonesFilterUses) {
  EXPECT_EQ(CutoffHintHz(11025), 22050);  // not 11025: that is the raw position
  EXPECT_EQ(CutoffHintHz(22050), 22050);
  EXPECT_EQ(CutoffHintHz(5000), 11025);
  EXPECT_EQ(CutoffHintHz(0), 1);
  EXPECT_EQ(CutoffHintHz(2000), 4410);  // an 8000 Hz file's high-pass bar at its start
}

TEST(StartFade, FiveSecondsAt44100StereoStepsByOne441000th) {
  FadeState in;
  StartFadeState(in, true, 5.0, 44100, 2);
  EXPECT_EQ(in.fadeSeconds, 5.0);
  EXPECT_DOUBLE_EQ(in.fadeStep, 1.0 / 441000.0);
  EXPECT_NEAR(in.fadeStep, 2.2675737e-6, 1e-13);
  EXPECT_EQ(in.fadeGain, in.fadeStep);  // 0 plus one step: the first value is already scaled

  FadeState out;
  StartFadeState(out, false, 5.0, 44100, 2);
  EXPECT_DOUBLE_EQ(out.fadeStep, -1.0 / 441000.0);
  EXPECT_EQ(out.fadeGain, 1.0 + out.fadeStep);

  // The divisions run in the order seconds, rate, channels.
  FadeState three;
  StartFadeState(three, true, 3.0, 44100, 2);
  EXPECT_EQ(three.fadeStep, 1.0 / 3.0 / 44100.0 / 2.0);
}

TEST(StartFade, ReplacesARunningFadeAndHandlesDegenerateFormats) {
  FadeState s;
  StartFadeState(s, true, 5.0, 44100, 2);
  s.fadeGain = 0.5;  // in the middle of a fade-in
  StartFadeState(s, false, 2.0, 22050, 1);
  EXPECT_EQ(s.fadeSeconds, 2.0);
  EXPECT_DOUBLE_EQ(s.fadeStep, -1.0 / 44100.0);
  EXPECT_DOUBLE_EQ(s.fadeGain, 1.0 - 1.0 / 44100.0);

  // No format yet, or a fade of no length: complete at once, never NaN.
  for (auto [secs, rate, chans] : {std::tuple{5.0, 0, 2}, std::tuple{5.0, 44100, 0},
                                  std::tuple{0.0, 44100, 2}, std::tuple{std::nan(""), 44100, 2}}) {
    FadeState in;
    StartFadeState(in, true, secs, rate, chans);
    EXPECT_GE(in.fadeGain, 1.0);
    FadeState out;
    StartFadeState(out, false, secs, rate, chans);
    EXPECT_LE(out.fadeGain, 0.0);
    EXPECT_LT(out.fadeStep, 0.0);
  }
}

TEST(FitFades, FadesArePlacedWithinThePart) {
  const struct {
    bool in;
    double inSeconds;
    bool out;
    double outSeconds, part;
    double fitIn, fitOut;
  } cases[] = {
      {true, 5, true, 5, 29, 5, 5},      // fits
      {false, 5, true, 5, 3, 0, 3},      // a fade-out alone: the whole part
      {true, 10, false, 10, 2, 2, 0},    // a fade-in alone
      {true, 10, true, 10, 2, 1, 1},     // both: half each
      {true, 1, true, 5, 3, 1, 1.5},     // together too long: each at most half
      {true, 1, true, 8, 10, 1, 8},      // together they fit: as given
      {true, 5, true, 5, 0, 5, 5},       // a part of unknown length
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.part);
    const preview::FadeLengths f = preview::FitFades(c.in, c.inSeconds, c.out, c.outSeconds, c.part);
    EXPECT_DOUBLE_EQ(f.in, c.fitIn);
    EXPECT_DOUBLE_EQ(f.out, c.fitOut);
  }
}
