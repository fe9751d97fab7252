// The worker that measures the marked part for the window, driven with a stand-in measurement:
// the latest request wins, a repeated request is not measured again, a newer request cancels a
// running measurement and a clear hides whatever finishes after it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/loudness_worker.h"

namespace {

using analysis::LoudnessWorker;
using analysis::PartLoudness;
using analysis::PartRequest;
using namespace std::chrono_literals;

PartRequest Part(double start) {
  PartRequest r;
  r.inputPath = "song.mp3";
  r.startSeconds = start;
  r.endSeconds = start + 30;
  return r;
}

// Measures a part as loud as its start time; with `hold` set, waits until cancelled.
struct StandIn {
  std::mutex lock;
  std::vector<double> started;
  std::vector<double> cancelled;
  std::atomic<bool> hold{false};

  LoudnessWorker::Measure Function() {
    return [this](const PartRequest& r, const std::atomic<bool>* cancel) -> std::optional<PartLoudness> {
      {
        std::lock_guard<std::mutex> g(lock);
        started.push_back(r.startSeconds);
      }
      while (hold.load() && !cancel->load()) std::this_thread::sleep_for(1ms);
      if (cancel->load()) {
        std::lock_guard<std::mutex> g(lock);
        cancelled.push_back(r.startSeconds);
        return std::nullopt;
      }
      PartLoudness l;
      l.bare.integrated = -r.startSeconds;
      l.shown = l.bare;
      return l;
    };
  }
  size_t Started() {
    std::lock_guard<std::mutex> g(lock);
    return started.size();
  }
};

template <typename P>
bool Eventually(P done) {
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

bool Shows(const LoudnessWorker& w, double start) {
  const LoudnessWorker::Reading r = w.Latest();
  return !r.measuring && r.loudness && r.request.startSeconds == start && r.loudness->bare.integrated == -start;
}

TEST(LoudnessWorkerTest, TheLatestRequestIsWhatIsShown) {
  StandIn m;
  LoudnessWorker w(m.Function());
  EXPECT_FALSE(w.Latest().loudness);
  for (double s : {10.0, 20.0, 30.0}) w.Request(Part(s));
  ASSERT_TRUE(Eventually([&] { return Shows(w, 30); }));
  // Whatever of the earlier ones started was cancelled, not shown.
  std::lock_guard<std::mutex> g(m.lock);
  EXPECT_EQ(m.started.back(), 30);
}

TEST(LoudnessWorkerTest, TheSameRequestIsMeasuredOnce) {
  StandIn m;
  LoudnessWorker w(m.Function(), 0ms);
  w.Request(Part(10));
  ASSERT_TRUE(Eventually([&] { return Shows(w, 10); }));
  const uint64_t serial = w.Latest().serial;
  w.Request(Part(10));
  EXPECT_FALSE(w.Latest().measuring);
  w.Request(Part(20));
  ASSERT_TRUE(Eventually([&] { return Shows(w, 20); }));
  EXPECT_EQ(m.Started(), 2u);
  EXPECT_GT(w.Latest().serial, serial);
}

TEST(LoudnessWorkerTest, ANewerRequestCancelsTheRunningMeasurement) {
  StandIn m;
  m.hold = true;
  LoudnessWorker w(m.Function(), 0ms);
  w.Request(Part(10));
  ASSERT_TRUE(Eventually([&] { return m.Started() == 1; }));
  // The first measurement is held until the newer request cancels it (released before, it could
  // finish first under load), then the newer one is let through.
  w.Request(Part(20));
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> g(m.lock);
    return !m.cancelled.empty();
  }));
  m.hold = false;
  ASSERT_TRUE(Eventually([&] { return Shows(w, 20); }));
  std::lock_guard<std::mutex> g(m.lock);
  EXPECT_EQ(m.cancelled, std::vector<double>{10});
}

TEST(LoudnessWorkerTest, AClearHidesWhatFinishesAfterIt) {
  StandIn m;
  m.hold = true;
  LoudnessWorker w(m.Function(), 0ms);
  w.Request(Part(10));
  ASSERT_TRUE(Eventually([&] { return m.Started() == 1; }));
  w.Clear();
  const LoudnessWorker::Reading cleared = w.Latest();
  EXPECT_FALSE(cleared.measuring);
  EXPECT_FALSE(cleared.loudness);
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> g(m.lock);
    return m.cancelled.size() == 1;
  }));
  EXPECT_EQ(w.Latest().serial, cleared.serial);
  EXPECT_FALSE(w.Latest().loudness);
  // After a clear the same part is measured again.
  m.hold = false;
  w.Request(Part(10));
  ASSERT_TRUE(Eventually([&] { return Shows(w, 10); }));
}

TEST(LoudnessWorkerTest, StopEndsARunningMeasurement) {
  StandIn m;
  m.hold = true;
  LoudnessWorker w(m.Function(), 0ms);
  w.Request(Part(10));
  ASSERT_TRUE(Eventually([&] { return m.Started() == 1; }));
  w.Stop();
  EXPECT_EQ(m.cancelled.size(), 1u);
  w.Request(Part(20));
  EXPECT_FALSE(w.Latest().measuring);
}

}  // namespace
