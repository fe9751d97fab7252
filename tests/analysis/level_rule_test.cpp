// The Level rule: the whole dB that brings a part to -14 LUFS with its true peak at most -1 dBTP
// once encoded (the encode's 1 dB of overshoot kept free).
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/level_rule.h"

namespace {

struct LevelCase {
  const char* what;
  double integrated, truePeak;
  int32_t gain;
};

TEST(LevelRuleTest, GainForEachKindOfPart) {
  const double inf = INFINITY;
  const LevelCase cases[] = {
      {"quiet part, far from its ceiling: the slider's top", -30.0, -21.4, 12},
      {"quiet part, exactly 10 dB to go", -24.0, -15.4, 10},
      {"a fraction to go is rounded down", -24.3, -16.0, 10},
      {"the peak stops the raise first", -24.0, -9.2, 7},
      {"the peak allows exactly the raise", -20.0, -8.0, 6},
      {"already at the target", -14.0, -3.0, 0},
      {"louder than the target, peak with room for the encode: kept", -9.0, -2.5, 0},
      {"at the target, peak with half a dB for the encode: down 1", -14.0, -1.5, -1},
      {"clipped hot master: down just past the ceiling and the encode", -3.0, 2.1, -5},
      {"peak exactly a dB under the ceiling: kept", -10.0, -2.0, 0},
      {"peak on the ceiling: down 1 for the encode", -10.0, -1.0, -1},
      {"peak past full scale by far: the slider's bottom", -1.0, 14.0, -12},
      {"silent part: nothing to level", -inf, -inf, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(analysis::LevelGain(c.integrated, c.truePeak), c.gain) << c.what;
  // Samples at full scale (a clipped master, a square wave) ring most once encoded: 3 dB are kept.
  EXPECT_EQ(analysis::LevelGain(-3.0, 0.5, -0.01), -5);
  EXPECT_EQ(analysis::LevelGain(-3.0, 0.5, -0.2), -3);
  EXPECT_EQ(analysis::LevelGain(-30.0, -21.4, -22.0), 12);
}

TEST(LevelRuleTest, SumsThatMissAWholeDbByRoundingStillReachIt) {
  // -14 - (-24.1 + 0.1) is 9.999999999999998 in doubles.
  EXPECT_EQ(analysis::LevelGain(-24.1 + 0.1, -30.0), 10);
}

}  // namespace
