// Editing the selection: ordering, what the controls show, the convert button, and where the
// loop and fade triggers sit (observed by decoding through them).
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_state.h"
#include "preview/preview_effects.h"
#include "preview/triggers.h"
#include "support/synthetic_source.h"
#include "wave/seconds_text.h"
#include "wave/selection.h"

namespace {

using namespace audio;
using twtest::SampleAt;

constexpr uint32_t kRate = 44100;
constexpr int64_t kSecond = 176400;       // bytes of one second, 16-bit stereo
constexpr uint32_t kBpp = kSecond / 10;   // one column is 0.1 s

struct RecordingView : wave::SelectionView {
  std::optional<int64_t> start, end;
  std::optional<std::string> length;
  std::optional<bool> convert;
  void ShowStartSeconds(int64_t s) override { start = s; }
  void ShowEndSeconds(int64_t s) override { end = s; }
  void ShowLengthText(const std::string& t) override { length = t; }
  void EnableConvert(bool e) override { convert = e; }
};

class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Init(-1, kRate, 0, nullptr));
    detail::Format f{kRate, 2, false};
    stream = detail::AddChannel(f, STREAM_DECODE, std::make_unique<twtest::SyntheticSource>(2, 60 * kRate));
    shared.playStream = stream;
  }
  void TearDown() override { Free(); }

  // Decodes from `from` (bytes) for `frames` frames and returns the source frame numbers read.
  std::vector<int64_t> FramesFrom(int64_t from, size_t frames) {
    ChannelSetPosition(stream, from, POS_BYTE);
    std::vector<int16_t> v(frames * 2);
    ChannelGetData(stream, v.data(), static_cast<uint32_t>(frames * 4));
    std::vector<int64_t> numbers;
    int64_t guess = from / 4;
    for (size_t i = 0; i < frames; ++i) {
      int64_t found = -1;
      for (int64_t g : {guess, guess + 1}) {
        if (v[i * 2] == SampleAt(g, 0) && v[i * 2 + 1] == SampleAt(g, 1)) found = g;
      }
      if (found < 0) {  // a jump: search the whole stream
        for (int64_t g = 0; g < 60 * kRate && found < 0; ++g)
          if (v[i * 2] == SampleAt(g, 0) && v[i * 2 + 1] == SampleAt(g, 1)) found = g;
      }
      numbers.push_back(found);
      guess = found + 1;
    }
    return numbers;
  }

  Handle stream = 0;
  preview::PreviewShared shared;
  preview::PreviewEffects effects{shared};
  preview::Triggers triggers{shared, effects};
  RecordingView view;
  wave::Selection sel{shared, triggers, view};
};

TEST_F(SelectionTest, BoundsAreExchangedAndTheTriggersFollowThem) {
  shared.controls.loop = true;
  shared.controls.fadeIn = false;  // the jump would start it: frames are read unfaded here
  sel.PBMouseDown(wave::MouseButton::Left, 300, kBpp);
  sel.PBMouseUp();
  sel.PBMouseDown(wave::MouseButton::Right, 100, kBpp);
  sel.PBMouseUp();
  EXPECT_EQ(shared.selStart.load(), 100 * int64_t{kBpp});
  EXPECT_EQ(shared.selEnd.load(), 300 * int64_t{kBpp});
  EXPECT_EQ(view.start, 10);
  EXPECT_EQ(view.end, 30);
  EXPECT_EQ(view.length, "20 sec");
  EXPECT_EQ(view.convert, true);
  // Decoding through 30 s jumps back to 10 s.
  const auto frames = FramesFrom(30 * kSecond - 40, 20);
  EXPECT_EQ(frames[9], 30 * kRate - 1);
  EXPECT_EQ(frames[10], 10 * kRate);
  EXPECT_NE(sel.fadeInSync(), 0u);
  EXPECT_NE(sel.fadeOutSync(), 0u);
}

TEST_F(SelectionTest, AnEndAloneInstallsItsTriggersButShowsNothing) {
  shared.controls.loop = true;
  sel.PBMouseDown(wave::MouseButton::Right, 200, kBpp);
  EXPECT_EQ(sel.dragMode(), 2);
  EXPECT_FALSE(view.end.has_value());
  EXPECT_FALSE(view.length.has_value());
  EXPECT_NE(sel.endSync(), 0u);
  EXPECT_NE(sel.fadeOutSync(), 0u);  // 20 s is later than the 5-s fade-out
  // With no start set nothing loops.
  const auto frames = FramesFrom(20 * kSecond - 40, 20);
  EXPECT_EQ(frames[10], 20 * kRate);
}

TEST_F(SelectionTest, AStartInColumnZeroCountsAsNotSet) {
  sel.PBMouseDown(wave::MouseButton::Left, 0, kBpp);
  EXPECT_EQ(shared.selStart.load(), 0);
  EXPECT_FALSE(view.start.has_value());
  EXPECT_EQ(sel.fadeInSync(), 0u);
}

TEST_F(SelectionTest, EqualBoundsAndTheTwoSecondRule) {
  sel.SetSelStart(10 * kSecond);
  sel.SetSelEnd(10 * kSecond);
  EXPECT_EQ(view.length, "0 sec");
  EXPECT_EQ(view.convert, false);
  EXPECT_EQ(sel.fadeOutSync(), 0u);
  sel.SetSelEnd(10 * kSecond + 19 * kSecond / 10);  // 1.9 s, shown as it is
  EXPECT_EQ(view.length, "1.9 sec");
  EXPECT_EQ(view.convert, false);
  sel.SetSelEnd(12 * kSecond);
  EXPECT_EQ(view.length, "2 sec");
  EXPECT_EQ(view.convert, true);
  sel.SetSelEnd(12 * kSecond - 4);  // a frame short (a part that starts a frame in): still 2 s
  EXPECT_EQ(view.length, "2 sec");
  EXPECT_EQ(view.convert, true);
  sel.SetSelEnd(12 * kSecond - 8);
  EXPECT_EQ(view.convert, false);
}

// Lengths are shown exactly: whole seconds as they are, others with their tenths cut, never
// rounded up to a whole second they do not reach.
TEST(SecondsTextTest, WholeSecondsOrTenths) {
  const struct {
    double seconds;
    const char* text;
  } cases[] = {{0, "0"}, {30, "30"}, {29.44, "29.4"}, {29.99, "29.9"}, {30.02, "30.0"},
               {1323000.0 / 44100, "30"}, {(220500.0 - 1) / 44100, "5"}, {4.998, "4.9"}, {-1, "0"}};
  for (const auto& c : cases) EXPECT_EQ(wave::SecondsText(c.seconds), c.text) << c.seconds;
}

TEST_F(SelectionTest, SpinStepsGoFromTheShownWholeSecond) {
  sel.seditDownClick(1);  // shows 1: the start becomes 0, which changes no control
  EXPECT_EQ(shared.selStart.load(), 0);
  EXPECT_FALSE(view.start.has_value());
  sel.seditUpClick(12, 60);
  EXPECT_EQ(shared.selStart.load(), 13 * kSecond);
  EXPECT_EQ(view.start, 13);
  sel.seditUpClick(60, 60);  // at the maximum: refused
  EXPECT_EQ(shared.selStart.load(), 13 * kSecond);
  sel.eeditUpClick(29, 60);
  EXPECT_EQ(shared.selEnd.load(), 30 * kSecond);
  EXPECT_EQ(view.length, "17 sec");
  const SyncHandle fadeOut = sel.fadeOutSync();
  sel.eeditDownClick(1);  // the end becomes 0: the loop trigger moves to 0, the fade-out stays
  EXPECT_EQ(shared.selEnd.load(), 0);
  EXPECT_EQ(sel.fadeOutSync(), fadeOut);
  sel.eeditDownClick(0);  // refused
  EXPECT_EQ(shared.selEnd.load(), 0);
}

// The fade-out's trigger fits the selection: a selection shorter than the fades gets them shortened
// (each to half of it with the fade-in on), and a change of the boxes moves it at once.
TEST_F(SelectionTest, TheFadeOutTriggerFitsTheSelection) {
  shared.controls.fadeOut = true;
  sel.SetSelStart(10 * kSecond);
  sel.SetSelEnd(30 * kSecond);
  const SyncHandle earlier = sel.fadeOutSync();
  ASSERT_NE(earlier, 0u);
  // The first frame the fade-out changes, decoding from `from` (past the fade-in's trigger when
  // the fade-in is on).
  const auto fadeOutFrom = [&](int64_t from) -> int64_t {
    ChannelSetPosition(stream, from, POS_BYTE);
    std::vector<int16_t> v(static_cast<size_t>(21 * kRate) * 2);
    const uint32_t got = ChannelGetData(stream, v.data(), static_cast<uint32_t>(v.size() * 2));
    for (int64_t i = 0; i < got / 4; ++i)
      if (std::abs(v[i * 2] - SampleAt(from / 4 + i, 0)) > 1) return from / 4 + i;
    return -1;
  };
  const struct {
    bool fadeIn;
    int32_t fadeOutSeconds;
    int64_t end;
    double fadeFrom;  // seconds
  } cases[] = {
      {true, 5, 30 * kSecond, 25},   // fits: as the box gives it
      {true, 5, 14 * kSecond, 12},   // 4 s with 5-s fades: each 2 s
      {false, 5, 14 * kSecond, 10},  // alone: the whole part
      {true, 1, 14 * kSecond, 13},   // the fade-in is cut to 2 s, the 1-s fade-out stays
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fadeFrom);
    shared.controls.fadeIn = c.fadeIn;
    shared.controls.fadeOutSeconds = c.fadeOutSeconds;
    sel.SetSelEnd(c.end);
    ASSERT_NE(sel.fadeOutSync(), 0u);
    const int64_t from = c.fadeIn ? 10 * kSecond + kSecond / 2 : 10 * kSecond;
    EXPECT_NEAR(fadeOutFrom(from), c.fadeFrom * kRate, kRate / 100);
  }
  EXPECT_FALSE(ChannelRemoveSync(stream, earlier));  // the earlier one was removed
  shared.controls.fadeIn = false;
  shared.controls.fadeOutSeconds = 3;
  sel.PlaceFadeOut();
  EXPECT_NEAR(fadeOutFrom(10 * kSecond), 11 * kRate, kRate / 100);
}

TEST_F(SelectionTest, MiddleDragMovesThePlayPositionAndDragsAreClamped) {
  sel.PBMouseDown(wave::MouseButton::Middle, 50, kBpp);
  EXPECT_EQ(ChannelGetPosition(stream, POS_BYTE), 50 * int64_t{kBpp});
  sel.PBMouseMove(70, kBpp);
  EXPECT_EQ(ChannelGetPosition(stream, POS_BYTE), 70 * int64_t{kBpp});
  sel.PBMouseMove(-30, kBpp);
  EXPECT_EQ(ChannelGetPosition(stream, POS_BYTE), 0);
  sel.PBMouseUp();
  EXPECT_EQ(sel.dragMode(), 0);
  sel.PBMouseMove(90, kBpp);  // no drag: nothing moves
  EXPECT_EQ(ChannelGetPosition(stream, POS_BYTE), 0);
  sel.PBMouseDown(wave::MouseButton::Left, 100, kBpp);
  sel.PBMouseMove(100000, kBpp);  // beyond the end: clamped to the stream's length
  EXPECT_EQ(shared.selStart.load(), 60 * kSecond);
}

}  // namespace
