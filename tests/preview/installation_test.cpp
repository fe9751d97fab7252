// Installing the effects on streams, the fades' life cycle, the conversion's own fade, and the
// loop and fade triggers, on decoding streams whose every sample is known.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_state.h"
#include "preview/effect_arithmetic.h"
#include "preview/effect_kernels.h"
#include "preview/preview_effects.h"
#include "preview/render_effects.h"
#include "preview/triggers.h"
#include "support/synthetic_source.h"

namespace {

using namespace audio;
using namespace preview;
using twtest::SampleAt;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBpf = 4;

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Init(-1, kRate, 0, nullptr)); }
  void TearDown() override { Free(); }

  Handle Stream(double seconds) {
    detail::Format f{kRate, 2, false};
    return detail::AddChannel(f, STREAM_DECODE,
                              std::make_unique<twtest::SyntheticSource>(2, static_cast<int64_t>(seconds * kRate)));
  }
  std::vector<int16_t> Read(Handle h, size_t frames) {
    std::vector<int16_t> v(frames * 2);
    const uint32_t got = ChannelGetData(h, v.data(), static_cast<uint32_t>(frames * kBpf));
    v.resize(got == DATA_ERROR ? 0 : got / 2);
    return v;
  }
  static std::vector<int16_t> Original(int64_t from, size_t frames) {
    std::vector<int16_t> v(frames * 2);
    for (size_t i = 0; i < frames; ++i)
      for (uint32_t c = 0; c < 2; ++c) v[i * 2 + c] = SampleAt(from + static_cast<int64_t>(i), c);
    return v;
  }

  PreviewShared shared;
  PreviewEffects effects{shared};
};

TEST_F(InstallTest, NothingIsInstalledWithoutAPreviewStream) {
  effects.checkgainClick(true, 6);
  effects.chighpassClick(true, 100);
  effects.StartFade(0, true);
  EXPECT_EQ(effects.gainDsp(), 0u);
  EXPECT_EQ(effects.highPassDsp(), 0u);
  EXPECT_EQ(effects.fadeInDsp(), 0u);
  RenderEffects render(shared);
  Handle mixer = Stream(1.0);
  shared.controls.fadeIn = true;
  render.ApplyRenderEffects(mixer, EffectControls{true, 6, true, 100, true, 100});
  EXPECT_EQ(render.renderFadeInDsp(), 0u);
  EXPECT_EQ(Read(mixer, 100), Original(0, 100));
}

TEST_F(InstallTest, CheckingAndUncheckingActsFromTheNextBuffer) {
  Handle h = Stream(2.0);
  shared.playStream = h;
  effects.checkgainClick(true, -12);
  ASSERT_NE(effects.gainDsp(), 0u);
  auto gained = Original(0, 1000);
  FadeState none;
  EffectParams p;
  p.gainFactor = GainFactorFor(-12);
  ProcessEffect(EffectKind::Gain, gained.data(), 4000, kRate, 16, 2, p, none, nullptr);
  EXPECT_EQ(Read(h, 1000), gained);
  const DspHandle old = effects.gainDsp();
  effects.checkgainClick(false, -12);
  EXPECT_EQ(Read(h, 1000), Original(1000, 1000));
  EXPECT_EQ(effects.gainDsp(), old);  // the handle keeps its last value
  EXPECT_FALSE(ChannelRemoveDSP(h, old));
}

TEST_F(InstallTest, FilterMemoryCarriesAcrossBuffersAndRestartsOnReinstall) {
  Handle h = Stream(2.0);
  shared.playStream = h;
  effects.clowpassClick(true, 1000);
  // The reference: one kernel call with fresh memory over the whole stretch.
  auto expect = Original(0, 3000);
  FilterState memory;
  FadeState none;
  EffectParams p;
  p.lowCut = 1000;
  ProcessEffect(EffectKind::LowPass, expect.data(), 12000, kRate, 16, 2, p, none, &memory);
  std::vector<int16_t> got;
  for (size_t block : {450u, 7u, 1u, 2542u}) {
    auto part = Read(h, block);
    got.insert(got.end(), part.begin(), part.end());
  }
  EXPECT_EQ(got, expect);

  // The bar moves under the checked box (a drag calls the handler at every step): the new cut-off
  // acts from the next buffer and the memory carries on; cleared, the filter would click.
  for (int32_t setting : {1500, 2500}) {
    effects.clowpassClick(true, setting);
    p.lowCut = setting;
    const int64_t at = (setting == 1500) ? 3000 : 4000;
    auto moved = Original(at, 1000);
    ProcessEffect(EffectKind::LowPass, moved.data(), 4000, kRate, 16, 2, p, none, &memory);
    EXPECT_EQ(Read(h, 1000), moved) << setting;
  }
  // Checked anew, or on another stream: fresh memory.
  auto Fresh = [&](int64_t at) {
    auto v = Original(at, 1000);
    FilterState zero;
    ProcessEffect(EffectKind::LowPass, v.data(), 4000, kRate, 16, 2, p, none, &zero);
    return v;
  };
  effects.clowpassClick(false, 2500);
  effects.clowpassClick(true, 2500);
  EXPECT_EQ(Read(h, 1000), Fresh(5000));
  Handle next = Stream(1.0);
  shared.playStream = next;
  effects.clowpassClick(true, 2500);
  EXPECT_EQ(Read(next, 1000), Fresh(0));
}

TEST_F(InstallTest, FadeInCoversItsLengthAndRemovesItselfWhenComplete) {
  Handle h = Stream(3.0);
  shared.playStream = h;
  shared.controls.fadeIn = true;
  shared.controls.fadeInSeconds = 1;
  effects.StartFade(h, true);
  const DspHandle dsp = effects.fadeInDsp();
  ASSERT_NE(dsp, 0u);
  EXPECT_DOUBLE_EQ(effects.fade().fadeStep, 1.0 / 1 / 44100 / 2);
  auto first = Read(h, 44100);
  // The first value is scaled by one step; the fade covers 88200 values.
  EXPECT_EQ(first[0], static_cast<int16_t>(std::nearbyint(static_cast<float>(SampleAt(0, 0) * (1.0 / 88200)))));
  EXPECT_GE(effects.fade().fadeGain, 1.0);
  EXPECT_LT(effects.fade().fadeGain, 1.0 + 2.0 / 88200);
  auto next = Read(h, 100);
  EXPECT_EQ(next, Original(44100, 100));
  EXPECT_FALSE(ChannelRemoveDSP(h, dsp));  // FadeDspProc removed it
  EXPECT_EQ(effects.fadeInDsp(), dsp);     // the handle is kept
}

TEST_F(InstallTest, UncheckedFadeBoxStartsNothingAndAStartRemovesTheEarlierFade) {
  Handle h = Stream(3.0);
  shared.playStream = h;
  shared.controls.fadeIn = false;
  effects.StartFade(h, true);
  EXPECT_EQ(effects.fadeInDsp(), 0u);
  shared.controls.fadeIn = true;
  shared.controls.fadeOut = true;
  effects.StartFade(h, true);
  const DspHandle in = effects.fadeInDsp();
  effects.StartFade(h, false);
  EXPECT_FALSE(ChannelRemoveDSP(h, in));  // already removed by the second start
  // One fade effect: the fade-out advances once per value.
  const FadeState start = effects.fade();
  Read(h, 1000);
  EXPECT_NEAR(effects.fade().fadeGain, start.fadeGain + start.fadeStep * 2000, 1e-12);
}

TEST_F(InstallTest, RenderFadeOutEndsInSilenceAndFadeInClearsItsHandle) {
  Handle play = Stream(1.0);
  shared.playStream = play;
  shared.controls.fadeIn = true;
  shared.controls.fadeInSeconds = 1;
  shared.controls.fadeOut = true;
  shared.controls.fadeOutSeconds = 1;
  RenderEffects render(shared);
  Handle mixer = Stream(4.0);
  render.setRenderMixer(mixer);
  render.ApplyRenderEffects(mixer, EffectControls{});
  ASSERT_NE(render.renderFadeInDsp(), 0u);
  Read(mixer, 44100);
  Read(mixer, 10);  // the fade is complete: this buffer removes it
  EXPECT_EQ(render.renderFadeInDsp(), 0u);
  EXPECT_EQ(Read(mixer, 10), Original(44110, 10));
  // A preview fade started meanwhile does not touch the conversion's fade.
  effects.StartFade(play, true);
  render.StartRenderFade(mixer, false);
  auto faded = Read(mixer, 44100 + 500);
  for (size_t i = 88200; i < faded.size(); ++i) ASSERT_EQ(faded[i], 0) << i;
  EXPECT_NE(faded[10], 0);
  EXPECT_EQ(Read(mixer, 1000), std::vector<int16_t>(2000, 0));
}

// A 6-s selection with 5-s fades: the fade-out starts 1 s into the fade-in, at about 0.2, and
// goes down from there to silence at its end, in the preview as in the conversion.
TEST_F(InstallTest, AFadeOutDuringAFadeInGoesOnFromItsLevel) {
  shared.controls.fadeIn = true;
  shared.controls.fadeInSeconds = 5;
  shared.controls.fadeOut = true;
  shared.controls.fadeOutSeconds = 5;
  Handle play = Stream(8.0);
  shared.playStream = play;
  RenderEffects render(shared);
  Handle mixer = Stream(8.0);
  render.setRenderMixer(mixer);
  auto Check = [&](Handle h, const char* which) {
    SCOPED_TRACE(which);
    Read(h, 44100);
    auto v = Read(h, 5 * 44100 + 10);
    const auto orig = Original(44100, v.size() / 2);
    for (size_t i = 0; i < 20; ++i) ASSERT_NEAR(v[i], orig[i] * 0.2, 2.0) << i;
    for (size_t i = 2 * 5 * 44100 - 4; i < 2 * 5 * 44100; ++i) ASSERT_EQ(v[i], 0) << i;
  };
  effects.StartFade(play, true);
  ChannelSetSync(play, SYNC_POS | SYNC_MIXTIME, 44100 * kBpf,
                 [](SyncHandle, Handle h, uint32_t, void* e) { static_cast<PreviewEffects*>(e)->StartFade(h, false); },
                 &effects);
  Check(play, "preview");
  render.ApplyRenderEffects(mixer, EffectControls{});
  ChannelSetSync(mixer, SYNC_POS | SYNC_MIXTIME, 44100 * kBpf,
                 [](SyncHandle, Handle, uint32_t, void* r) { static_cast<RenderEffects*>(r)->StartRenderFade(static_cast<RenderEffects*>(r)->renderMixer(), false); },
                 &render);
  Check(mixer, "conversion");
}

TEST_F(InstallTest, LoopTriggerJumpsBackOnlyWithLoopOnAndAStart) {
  Handle h = Stream(2.0);
  shared.playStream = h;
  Triggers triggers(shared, effects);
  ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, 800 * kBpf, Triggers::LoopSyncProc, &triggers);
  shared.selStart = 200 * kBpf;
  shared.controls.loop = false;
  shared.controls.fadeIn = false;
  EXPECT_EQ(Read(h, 1000), Original(0, 1000));
  ChannelSetPosition(h, 0, POS_BYTE);
  shared.controls.loop = true;
  auto looped = Read(h, 1000);
  auto expect = Original(0, 800);
  auto again = Original(200, 200);
  expect.insert(expect.end(), again.begin(), again.end());
  EXPECT_EQ(looped, expect);
  // With selStart 0 there is no loop.
  ChannelSetPosition(h, 0, POS_BYTE);
  shared.selStart = 0;
  EXPECT_EQ(Read(h, 1000), Original(0, 1000));

  // With the fade-in box on, the jump starts the fade-in at once, and its trigger 0.01 s later
  // (441 frames) lets it run on: one unbroken 1-s ramp from selStart, no stretch at full level.
  shared.selStart = 200 * kBpf;
  shared.controls.fadeIn = true;
  shared.controls.fadeInSeconds = 1;
  ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, (200 + 441) * kBpf, Triggers::FadeInSyncProc, &triggers);
  ChannelSetPosition(h, 700 * kBpf, POS_BYTE);
  auto pass = Read(h, 100 + 550);
  auto ramp = Original(200, 550);
  FadeState fade;
  StartFadeState(fade, true, 1, kRate, 2);
  EffectParams none;
  ProcessEffect(EffectKind::Fade, ramp.data(), 2200, kRate, 16, 2, none, fade, nullptr);
  EXPECT_EQ(std::vector<int16_t>(pass.begin() + 200, pass.end()), ramp);
}

TEST_F(InstallTest, FadeTriggersReadTheBoxesWhenTheyFire) {
  Handle h = Stream(2.0);
  shared.playStream = h;
  Triggers triggers(shared, effects);
  ChannelSetSync(h, SYNC_POS | SYNC_MIXTIME, 500 * kBpf, Triggers::FadeInSyncProc, &triggers);
  shared.controls.fadeIn = false;
  Read(h, 400);
  shared.controls.fadeIn = true;  // changed after the trigger was installed
  auto v = Read(h, 200);
  EXPECT_EQ(v[99 * 2], SampleAt(499, 0));
  EXPECT_NE(effects.fadeInDsp(), 0u);
  EXPECT_LT(std::abs(v[100 * 2]), 5);  // the first value of a 5-s fade-in is tiny
}

}  // namespace
