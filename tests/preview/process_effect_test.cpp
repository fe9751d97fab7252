// ProcessEffect's dispatch and chunking, and the inputs it must refuse without harm.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kernel_test_support.h"
#include "preview/effect_arithmetic.h"

using namespace preview;
using kt::Apply;

TEST(ProcessEffect, ChunksAre1024FramesOfTheFormat) {
  EXPECT_EQ(EffectChunkBytes(16, 2), 4096);
  EXPECT_EQ(EffectChunkBytes(8, 1), 1024);
  EXPECT_EQ(EffectChunkBytes(32, 6), 24576);
  EXPECT_EQ(EffectChunkBytes(16, 255), 2 * 1024 * 255);
  EXPECT_EQ(EffectChunkBytes(16, 0), 0);
  EXPECT_EQ(EffectChunkBytes(24, 2), 0);
  EXPECT_EQ(EffectChunkBytes(0, 2), 0);
}

TEST(ProcessEffect, RunsTheKernelOfEachKindOverTheWholeBuffer) {
  // 10000 bytes of 16-bit stereo, three chunks: every value is reached, the last chunk too.
  const auto src = kt::Sine16(2500, 2, 300.0, 44100, 8000.0);
  EffectParams p;
  p.gainFactor = 0.5f;
  p.lowCut = 500;
  p.highCut = 500;
  FadeState fade;
  FilterState filter;

  std::vector<int16_t> gain = src;
  Apply(EffectKind::Gain, gain, 44100, 16, 2, p, fade, &filter);
  for (size_t i = 0; i < src.size(); ++i) {
    ASSERT_EQ(gain[i], static_cast<int16_t>(std::nearbyint(src[i] * 0.5))) << i;
  }

  std::vector<int16_t> low = src, high = src;
  FilterState a, b;
  Apply(EffectKind::LowPass, low, 44100, 16, 2, p, fade, &a);
  Apply(EffectKind::HighPass, high, 44100, 16, 2, p, fade, &b);
  // The two halves of a damping-1 state-variable filter: low + band + high = x, so low and high
  // differ from the input, and from each other, to the buffer's end.
  EXPECT_NE(low, src);
  EXPECT_NE(high, src);
  EXPECT_NE(std::vector<int16_t>(low.end() - 100, low.end()),
            std::vector<int16_t>(src.end() - 100, src.end()));
  EXPECT_NE(std::vector<int16_t>(high.end() - 100, high.end()),
            std::vector<int16_t>(src.end() - 100, src.end()));

  // The fade is the only kind that touches the fade state; the filters only their own state.
  FadeState f;
  StartFadeState(f, true, 1.0, 44100, 2);
  const FadeState before = f;
  std::vector<int16_t> v = src;
  Apply(EffectKind::Gain, v, 44100, 16, 2, p, f, nullptr);
  Apply(EffectKind::LowPass, v, 44100, 16, 2, p, f, &a);
  EXPECT_EQ(f.fadeGain, before.fadeGain);
  Apply(EffectKind::Fade, v, 44100, 16, 2, p, f, nullptr);
  EXPECT_NEAR(f.fadeGain, before.fadeGain + 5000 * before.fadeStep, 1e-12);  // one step per value
}

TEST(ProcessEffect, UnknownKindsAndUnusableFormatsLeaveTheDataUnchanged) {
  const auto src = kt::Sine16(3000, 2, 300.0, 44100, 8000.0);
  EffectParams p;
  p.gainFactor = 2.0f;
  p.lowCut = 500;
  FadeState fade;
  StartFadeState(fade, true, 1.0, 44100, 2);
  FilterState filter;
  for (int kind : {4, 5, 200, 255}) {
    std::vector<int16_t> v = src;
    Apply(static_cast<EffectKind>(kind), v, 44100, 16, 2, p, fade, &filter);
    EXPECT_EQ(v, src) << kind;
  }
  // No channels, or bits the kernels do not know: nothing happens, and the call returns.
  for (auto [bits, chans] : {std::pair{16, 0}, std::pair{0, 2}, std::pair{24, 2}, std::pair{7, 1},
                             std::pair{64, 2}}) {
    for (int kind = 0; kind < 4; ++kind) {
      std::vector<int16_t> v = src;
      Apply(static_cast<EffectKind>(kind), v, 44100, bits, chans, p, fade, &filter);
      EXPECT_EQ(v, src) << bits << "/" << chans << " kind " << kind;
    }
  }
  // Filters without a state or without a rate.
  std::vector<int16_t> v = src;
  Apply(EffectKind::LowPass, v, 44100, 16, 2, p, fade, nullptr);
  Apply(EffectKind::LowPass, v, 0, 16, 2, p, fade, &filter);
  Apply(EffectKind::HighPass, v, -44100, 16, 2, p, fade, &filter);
  EXPECT_EQ(v, src);
  // Negative and zero lengths.
  ProcessEffect(EffectKind::Gain, v.data(), 0, 44100, 16, 2, p, fade, &filter);
  ProcessEffect(EffectKind::Gain, v.data(), -4096, 44100, 16, 2, p, fade, &filter);
  ProcessEffect(EffectKind::Gain, nullptr, 4096, 44100, 16, 2, p, fade, &filter);
  EXPECT_EQ(v, src);
}

TEST(ProcessEffect, PartialValuesAndFramesAtTheEndAreLeftAlone) {
  // 4099 bytes of 16-bit stereo: one whole chunk, then 3 bytes, which hold one whole value but
  // no whole frame.
  std::vector<uint8_t> bytes(4099);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37);
  EffectParams p;
  p.gainFactor = 0.5f;
  FadeState fade;
  std::vector<uint8_t> gain = bytes;
  ProcessEffect(EffectKind::Gain, gain.data(), 4099, 44100, 16, 2, p, fade, nullptr);
  int16_t in, out;
  std::memcpy(&in, bytes.data() + 4096, 2);
  std::memcpy(&out, gain.data() + 4096, 2);
  EXPECT_EQ(out, static_cast<int16_t>(std::nearbyint(in * 0.5)));  // the whole value: scaled
  EXPECT_EQ(gain[4098], bytes[4098]);                                // the odd byte: untouched

  std::vector<uint8_t> low = bytes;
  FilterState s;
  p.lowCut = 3000;
  ProcessEffect(EffectKind::LowPass, low.data(), 4099, 44100, 16, 2, p, fade, &s);
  EXPECT_NE(std::vector<uint8_t>(low.begin(), low.begin() + 4096),
            std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4096));
  EXPECT_EQ(std::vector<uint8_t>(low.begin() + 4096, low.end()),
            std::vector<uint8_t>(bytes.begin() + 4096, bytes.end()));  // no whole frame
}
