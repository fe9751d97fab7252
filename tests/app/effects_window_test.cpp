// The effect controls of the real window during playback of a real file: ticking a box installs
// its effect on the playing preview stream, unticking removes it, a bar moved with its box
// unticked changes only its hint. What the stream carries is watched by DSPs of the test's own
// before and after every other effect, and compared with the kernel run over the same data.
#include <QCheckBox>
#include <QSlider>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/ButtonSpinEdit.h"
#include "app/Tfrmmain.h"
#include "preview/effect_kernels.h"
#include "window_probe.h"

namespace {

using apptest::DataProbe;

constexpr size_t kValues = 2 * 44100 / 10;  // 0.1 s of 44100 Hz stereo

// The data through one kernel, with fresh filter memory (as a newly installed effect has).
std::vector<int16_t> Through(preview::EffectKind kind, std::vector<int16_t> data, const preview::EffectParams& p,
                             int32_t rate = 44100, uint8_t channels = 2) {
  preview::FadeState none;
  preview::FilterState memory;
  preview::ProcessEffect(kind, data.data(), static_cast<int32_t>(data.size() * 2), rate, 16, channels, p, none,
                         &memory);
  return data;
}

double Energy(const std::vector<int16_t>& v) {
  double e = 0;
  for (int16_t x : v) e += static_cast<double>(x) * x;
  return e;
}

class EffectsWindowTest : public apptest::PlayerWindowTest {
 protected:
  // Opens `name` with the fade-in switched off, so that only the boxes' effects act.
  void Open(Tfrmmain& w, const char* name) {
    w.show();
    if (w.fadeincheck->isChecked()) QTest::mouseClick(w.fadeincheck, Qt::LeftButton);
    ASSERT_FALSE(w.fadeincheck->isChecked());
    openAnswer = F(name);
    QTest::mouseClick(w.btnselect, Qt::LeftButton);
    ASSERT_NE(playStream.load(), 0u);
    ASSERT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
  }
  // What the stream carries from now on: decoded and after the effects.
  void Next(DataProbe& probe, std::vector<int16_t>& before, std::vector<int16_t>& after) {
    probe.Restart();
    ASSERT_TRUE(probe.Collect(kValues, before, after)) << "the preview stream does not play";
    ASSERT_FALSE(before.empty());
  }
};

TEST_F(EffectsWindowTest, EachBoxInstallsAndRemovesItsEffectDuringPlayback) {
  Tfrmmain w;
  Open(w, "ref.wav");
  DataProbe probe(playStream.load());
  ASSERT_TRUE(probe.installed());
  std::vector<int16_t> before, after;

  // Nothing ticked: the data passes unchanged.
  Next(probe, before, after);
  EXPECT_EQ(after, before);

  // The gain bar moved with its box unticked: only the hint changes.
  const audio::DspHandle gainBefore = w.effects.gainDsp();
  w.gaintrack->setFocus();
  for (int i = 0; i < 6; ++i) QTest::keyClick(w.gaintrack, Qt::Key_Right);
  ASSERT_EQ(w.gaintrack->value(), 6);
  EXPECT_EQ(w.gaintrack->toolTip(), "6 db");
  EXPECT_EQ(w.effects.gainDsp(), gainBefore);
  Next(probe, before, after);
  EXPECT_EQ(after, before);

  // Ticked: +6 dB on every value from the next block on.
  QTest::mouseClick(w.checkgain, Qt::LeftButton);
  ASSERT_TRUE(w.checkgain->isChecked());
  EXPECT_NE(w.effects.gainDsp(), 0u);
  preview::EffectParams gain;
  gain.gainFactor = static_cast<float>(std::pow(10.0, 6 * 0.05));
  Next(probe, before, after);
  EXPECT_EQ(after, Through(preview::EffectKind::Gain, before, gain));
  EXPECT_GT(Energy(after), 3.5 * Energy(before));  // about 2 x the amplitude

  // Moved while ticked: installed again with the new factor.
  QTest::keyClick(w.gaintrack, Qt::Key_Left);
  EXPECT_EQ(w.gaintrack->toolTip(), "5 db");
  gain.gainFactor = static_cast<float>(std::pow(10.0, 5 * 0.05));
  Next(probe, before, after);
  EXPECT_EQ(after, Through(preview::EffectKind::Gain, before, gain));

  // Unticked: removed at once; the handle keeps its value and names no effect any more.
  const audio::DspHandle gainDsp = w.effects.gainDsp();
  QTest::mouseClick(w.checkgain, Qt::LeftButton);
  ASSERT_FALSE(w.checkgain->isChecked());
  Next(probe, before, after);
  EXPECT_EQ(after, before);
  EXPECT_EQ(w.effects.gainDsp(), gainDsp);
  EXPECT_FALSE(audio::ChannelRemoveDSP(playStream.load(), gainDsp));

  // High-pass: the bar at 1000 (2205 Hz at 44100 Hz) while unticked changes only the hint.
  w.barhighcut->setFocus();
  QTest::keyClick(w.barhighcut, Qt::Key_Home);
  EXPECT_EQ(w.barhighcut->value(), 0);
  EXPECT_EQ(w.barhighcut->toolTip(), "1 Hz");  // a cut-off of 0 runs at 1 Hz
  w.barhighcut->setValue(1000);
  EXPECT_EQ(w.barhighcut->toolTip(), "2205 Hz");
  EXPECT_EQ(w.effects.highPassDsp(), 0u);
  Next(probe, before, after);
  EXPECT_EQ(after, before);

  QTest::mouseClick(w.chighpass, Qt::LeftButton);
  ASSERT_TRUE(w.chighpass->isChecked());
  const audio::DspHandle highPassDsp = w.effects.highPassDsp();
  ASSERT_NE(highPassDsp, 0u);
  preview::EffectParams high;
  high.highCut = 1000;
  Next(probe, before, after);
  EXPECT_EQ(after, Through(preview::EffectKind::HighPass, before, high));
  EXPECT_LT(Energy(after), 0.5 * Energy(before));  // the 440 Hz and 1000 Hz tones are cut

  // Moved while ticked: the new cut-off (4410 Hz) for the same filter, whose memory goes on (a
  // restart at every step of a drag clicks). A restarted high-pass would pass its first value
  // unchanged; past its memory's first milliseconds the data is what a 4410 Hz filter gives.
  w.barhighcut->setValue(2000);
  EXPECT_EQ(w.barhighcut->toolTip(), "4410 Hz");
  EXPECT_EQ(w.effects.highPassDsp(), highPassDsp);
  high.highCut = 2000;
  Next(probe, before, after);
  const auto fresh = Through(preview::EffectKind::HighPass, before, high);
  EXPECT_NE(std::vector<int16_t>(after.begin(), after.begin() + 16), std::vector<int16_t>(fresh.begin(), fresh.begin() + 16));
  int apart = 0;
  for (size_t i = 2048; i < after.size(); ++i) apart = std::max(apart, std::abs(after[i] - fresh[i]));
  EXPECT_LE(apart, 1);

  // Low-pass on top: both act, in the order they were ticked.
  w.barlowcut->setValue(500);
  EXPECT_EQ(w.barlowcut->toolTip(), "1102 Hz");
  EXPECT_EQ(w.effects.lowPassDsp(), 0u);
  QTest::mouseClick(w.clowpass, Qt::LeftButton);
  ASSERT_TRUE(w.clowpass->isChecked());
  preview::EffectParams low;
  low.lowCut = 500;
  Next(probe, before, after);
  // A 4410 Hz high-pass and an 1102 Hz low-pass leave little of anything.
  EXPECT_LT(Energy(after), 0.1 * Energy(before));

  // Unticking the high-pass removes it and leaves the low-pass on; unticking that too brings the
  // data back unchanged.
  QTest::mouseClick(w.chighpass, Qt::LeftButton);
  ASSERT_FALSE(w.chighpass->isChecked());
  const audio::DspHandle highDsp = w.effects.highPassDsp();
  EXPECT_FALSE(audio::ChannelRemoveDSP(playStream.load(), highDsp));
  EXPECT_NE(w.effects.lowPassDsp(), 0u);
  QTest::mouseClick(w.clowpass, Qt::LeftButton);
  Next(probe, before, after);
  EXPECT_EQ(after, before);

  // Ticked again alone: a fresh low-pass at 1102 Hz.
  QTest::mouseClick(w.clowpass, Qt::LeftButton);
  Next(probe, before, after);
  EXPECT_EQ(after, Through(preview::EffectKind::LowPass, before, low));
  EXPECT_LT(Energy(after), Energy(before));
}

TEST_F(EffectsWindowTest, TickedBoxesActOnTheNextFileOfTheSameRate) {
  Tfrmmain w;
  Open(w, "ref.wav");
  w.gaintrack->setValue(6);
  QTest::mouseClick(w.checkgain, Qt::LeftButton);
  QTest::mouseClick(w.clowpass, Qt::LeftButton);
  ASSERT_TRUE(w.checkgain->isChecked() && w.clowpass->isChecked());
  QTest::mouseClick(w.clowpass, Qt::LeftButton);  // ticked and unticked again: stays off
  // Same rate: neither bar moves, so no bar handler runs for the next file.
  openAnswer = F("sec60.wav");
  QTest::mouseClick(w.btnselect, Qt::LeftButton);
  const audio::Handle next = playStream.load();
  ASSERT_NE(next, 0u);
  DataProbe probe(next);
  std::vector<int16_t> before, after;
  probe.Restart();
  ASSERT_TRUE(probe.Collect(kValues, before, after));
  preview::EffectParams gain;
  gain.gainFactor = static_cast<float>(std::pow(10.0, 6 * 0.05));
  EXPECT_EQ(after, Through(preview::EffectKind::Gain, before, gain)) << "the next file plays without its gain";
  EXPECT_TRUE(audio::ChannelRemoveDSP(next, w.effects.gainDsp())) << "installed on the next file's stream";
  EXPECT_FALSE(audio::ChannelRemoveDSP(next, w.effects.lowPassDsp())) << "an unticked box stays off";
}

TEST_F(EffectsWindowTest, HintsShowTheRingtonesCutOffAndTheBoxesActOnTheNextFile) {
  Tfrmmain w;
  // Ticked before any file: nothing can be installed yet.
  QTest::mouseClick(w.clowpass, Qt::LeftButton);
  ASSERT_TRUE(w.clowpass->isChecked());
  EXPECT_EQ(w.effects.lowPassDsp(), 0u);
  // An 8000 Hz file: both bars run 0..4000; the low-pass bar moves to 4000 (8820 Hz in the
  // ringtone), which installs the ticked low-pass on the new stream; the high-pass bar at 2000
  // shows the ringtone's 4410 Hz.
  Open(w, "8k.wav");
  EXPECT_EQ(w.barlowcut->maximum(), 4000);
  EXPECT_EQ(w.barhighcut->value(), 2000);
  EXPECT_EQ(w.barhighcut->toolTip(), "4410 Hz");
  EXPECT_EQ(w.barlowcut->toolTip(), "8820 Hz");
  EXPECT_NE(w.effects.lowPassDsp(), 0u);
  DataProbe probe(playStream.load());
  std::vector<int16_t> before, after;
  // Moving the bar to 1000 (2205 Hz) changes the running filter's cut-off, its memory going on;
  // the mono data runs as one channel at 8000 Hz, filtered as the ringtone will be.
  w.barlowcut->setValue(1000);
  EXPECT_EQ(w.barlowcut->toolTip(), "2205 Hz");
  probe.Restart();
  ASSERT_TRUE(probe.Collect(800, before, after));
  preview::EffectParams low;
  low.lowCut = 1000;
  low.cutoffRate = preview::kRingtoneRate;
  const auto fresh = Through(preview::EffectKind::LowPass, before, low, 8000, 1);
  int apart = 0;
  for (size_t i = 400; i < after.size(); ++i) apart = std::max(apart, std::abs(after[i] - fresh[i]));
  EXPECT_LE(apart, 1);

  // The gain bar's hint follows the bar also before its box was ever ticked.
  w.gaintrack->setFocus();
  QTest::keyClick(w.gaintrack, Qt::Key_Home);
  EXPECT_EQ(w.gaintrack->toolTip(), "-12 db");
  EXPECT_EQ(w.effects.gainDsp(), 0u);
  QTest::mouseClick(w.checkgain, Qt::LeftButton);
  EXPECT_NE(w.effects.gainDsp(), 0u);
}

}  // namespace
