// The Level rule: the whole dB that brings a part to -14 LUFS with its true peak at most -1 dBTP.
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
      {"a fraction to go is rounded down", -24.3, -15.0, 10},
      {"the peak stops the raise first", -24.0, -8.2, 7},
      {"the peak allows exactly the raise", -20.0, -7.0, 6},
      {"already at the target", -14.0, -3.0, 0},
      {"louder than the target, peak below the ceiling: kept", -9.0, -1.5, 0},
      {"at the target, peak half a dB under full scale: down 1", -14.0, -0.5, -1},
      {"clipped hot master: down just past the ceiling", -3.0, 2.1, -4},
      {"peak exactly on the ceiling: kept", -10.0, -1.0, 0},
      {"peak past full scale by far: the slider's bottom", -1.0, 14.0, -12},
      {"silent part: nothing to level", -inf, -inf, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(analysis::LevelGain(c.integrated, c.truePeak), c.gain) << c.what;
}

TEST(LevelRuleTest, SumsThatMissAWholeDbByRoundingStillReachIt) {
  // -14 - (-24.1 + 0.1) is 9.999999999999998 in doubles.
  EXPECT_EQ(analysis::LevelGain(-24.1 + 0.1, -30.0), 10);
}

}  // namespace
