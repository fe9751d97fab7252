// The meter's text: one decimal, the typographic minus, a signed peak over full scale, silence.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/loudness_text.h"

namespace {

TEST(LoudnessTextTest, MeterTexts) {
  struct Case {
    double integrated, truePeak;
    const char* text;
  } const cases[] = {
      {-17.34, -0.42, "\u221217.3 LUFS \u00b7 peak \u22120.4 dBTP"},
      {-14.0, -1.0, "\u221214.0 LUFS \u00b7 peak \u22121.0 dBTP"},
      {-9.96, -0.04, "\u221210.0 LUFS \u00b7 peak 0.0 dBTP"},
      {-3.04, 2.06, "\u22123.0 LUFS \u00b7 peak +2.1 dBTP"},
      {0.26, 0.0, "0.3 LUFS \u00b7 peak 0.0 dBTP"},
      {-INFINITY, -INFINITY, "\u2212inf LUFS \u00b7 peak \u2212inf dBTP"},
      {-INFINITY, -52.33, "\u2014 LUFS \u00b7 peak \u221252.3 dBTP"},  // too short, or all gated
  };
  for (const auto& c : cases) {
    analysis::Loudness l;
    l.integrated = c.integrated;
    l.truePeak = c.truePeak;
    EXPECT_EQ(analysis::MeterText(l), c.text) << c.integrated << " " << c.truePeak;
    // In the warning colour past the ceiling a ringtone keeps below, and always when it clips.
    EXPECT_EQ(analysis::MeterWarns(l, false), c.truePeak > -1.0) << c.truePeak;
    EXPECT_TRUE(analysis::MeterWarns(l, true));
    EXPECT_EQ(analysis::MeterText(l, true), std::string(c.text) + " \u00b7 clips");
  }
}

}  // namespace
