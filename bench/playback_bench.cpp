// Playback costs: CPU per second of playback with two DSPs on the stream, and the time from
// ChannelSetDSP to the changed samples reaching the device.
//
// Both figures are held against fixed budgets rather than against another program: CPU against
// 2 % of one core, the DSP latency against 100 ms (what a user still hears as "at once"). The
// budget is the baseline of each line, so a ratio below 1.00x is within target.
// Runs on SDL's dummy driver (or the silent output when no driver opens): both consume at
// real-time pace, so the playback thread does exactly the work it does on a sound card.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_state.h"
#include "audio/playback.h"

using namespace audio;
using Clock = std::chrono::steady_clock;

namespace {

// An endless 16-bit stereo stream of a constant level: no file decoding, so that the figure is
// the engine's own cost (the decoder has its own benchmark).
class LevelSource : public detail::Source {
 public:
  explicit LevelSource(int16_t level) : level_(level) {}
  size_t Read(void* out, size_t frames) override {
    auto* s = static_cast<int16_t*>(out);
    std::fill(s, s + frames * 2, level_);
    return frames;
  }
  bool AtEnd() override { return false; }
  bool Seek(int64_t) override { return true; }
  int64_t LengthFrames() const override { return -1; }

 private:
  int16_t level_;
};

// Two DSPs of the preview's kind: a gain and a one-pole low-pass, per sample.
struct Filter {
  float state[2] = {0, 0};
};
void GainDsp(DspHandle, Handle, void* buffer, uint32_t length, void*) {
  auto* s = static_cast<int16_t*>(buffer);
  for (uint32_t i = 0; i < length / 2; ++i) {
    s[i] = static_cast<int16_t>(std::clamp(s[i] * 0.9f, -32768.0f, 32767.0f));
  }
}
void LowPassDsp(DspHandle, Handle, void* buffer, uint32_t length, void* user) {
  auto* f = static_cast<Filter*>(user);
  auto* s = static_cast<int16_t*>(buffer);
  for (uint32_t i = 0; i < length / 2; ++i) {
    float& y = f->state[i & 1];
    y += 0.2f * (s[i] - y);
    s[i] = static_cast<int16_t>(y);
  }
}

double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// CPU share of one core used by the whole process over `seconds` of wall time.
double CpuShare(double seconds) {
  const double c0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  return (ProcessCpuSeconds() - c0) / wall;
}

constexpr int16_t kMark = 7777;
std::atomic<int64_t> markSeenAt{0};  // steady-clock ns when the marked samples reached the device

void Probe(void*, const int16_t* data, size_t frames, uint32_t chans) {
  if (markSeenAt.load(std::memory_order_relaxed) != 0) return;
  for (size_t i = 0; i < frames * chans; ++i) {
    if (data[i] == kMark) {
      markSeenAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
      return;
    }
  }
}
void MarkDsp(DspHandle, Handle, void* buffer, uint32_t length, void*) {
  auto* s = static_cast<int16_t*>(buffer);
  std::fill(s, s + length / 2, kMark);
}

void Line(const char* name, double ours, double baseline, const char* unit, double target) {
  std::printf("%s: %.3f%s vs BUDGET %.3f%s = %.2fx (target %.2fx)\n", name, ours, unit, baseline,
              unit, ours / baseline, target);
}

}  // namespace

int main() {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!Init(-1, 44100, 0, nullptr)) {
    std::fprintf(stderr, "Init failed: %d\n", ErrorGetCode());
    return 1;
  }
  detail::OutputInfo info;
  detail::CurrentOutputInfo(&info);
  std::fprintf(stderr, "output: %s, %u Hz, %u channels, %u frames per buffer\n", info.name.c_str(),
               info.rate, info.chans, info.bufferFrames);

  detail::Format format;
  format.rate = 44100;
  format.chans = 2;

  // 1. CPU per second of playback with two DSPs.
  const double idle = CpuShare(2.0);
  Filter filter;
  const Handle h = detail::AddChannel(format, 0, std::make_unique<LevelSource>(1000));
  ChannelSetDSP(h, &GainDsp, nullptr, 0);
  ChannelSetDSP(h, &LowPassDsp, &filter, 0);
  ChannelPlay(h, false);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const double playing = CpuShare(4.0);
  std::fprintf(stderr, "idle engine: %.3f%% of a core, playing: %.3f%%\n", idle * 100, playing * 100);
  Line("playback_cpu_percent_two_dsps", playing * 100, 2.0, "%", 1.0);
  StreamFree(h);

  // 2. From ChannelSetDSP to the change reaching the device.
  const Handle level = detail::AddChannel(format, 0, std::make_unique<LevelSource>(1000));
  ChannelPlay(level, false);
  detail::SetOutputProbe(&Probe, nullptr);
  std::vector<double> ms;
  for (int round = 0; round < 20; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + 7 * round));  // vary the phase
    markSeenAt.store(0);
    const auto t0 = Clock::now();
    const DspHandle d = ChannelSetDSP(level, &MarkDsp, nullptr, 0);
    while (markSeenAt.load(std::memory_order_acquire) == 0 && Clock::now() - t0 < std::chrono::seconds(2)) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const int64_t seen = markSeenAt.load();
    ChannelRemoveDSP(level, d);
    if (seen == 0) {
      ms.push_back(2000.0);
      continue;
    }
    ms.push_back(static_cast<double>(seen - t0.time_since_epoch().count()) / 1e6);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the mark leaves the buffers
  }
  detail::SetOutputProbe(nullptr, nullptr);
  std::sort(ms.begin(), ms.end());
  double mean = 0;
  for (double v : ms) mean += v;
  mean /= static_cast<double>(ms.size());
  std::fprintf(stderr, "DSP latency over %zu changes: min %.1f, mean %.1f, max %.1f ms\n", ms.size(),
               ms.front(), mean, ms.back());
  Line("dsp_change_to_device_ms_max", ms.back(), 100.0, " ms", 1.0);
  Line("dsp_change_to_device_ms_mean", mean, 100.0, " ms", 1.0);
  Free();
  return 0;
}
