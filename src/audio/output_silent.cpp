// The silent output: an ideal device that plays nothing and asks for a buffer every
// bufferFrames / rate seconds, on a clock that does not drift.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/output.h"

namespace audio::detail {

namespace {

class SilentOutput final : public Output {
 public:
  SilentOutput(uint32_t rate, uint32_t bufferFrames, RenderFn fn, void* user)
      : format_{rate, 2, bufferFrames}, fn_(fn), user_(user), scratch_(bufferFrames * 2) {}
  ~SilentOutput() override { Stop(); }

  const OutputFormat& format() const override { return format_; }
  const char* name() const override { return "silent"; }
  void Start() override {
    if (thread_.joinable()) return;
    running_.store(true);
    thread_ = std::thread([this] { Run(); });
  }
  void Stop() override {
    running_.store(false);
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    uint64_t framesDone = 0;
    while (running_.load(std::memory_order_acquire)) {
      fn_(user_, scratch_.data(), format_.bufferFrames);
      framesDone += format_.bufferFrames;
      const auto due = start + std::chrono::nanoseconds(framesDone * 1000000000ull / format_.rate);
      // Sleep in short steps so that Stop returns quickly.
      while (running_.load(std::memory_order_acquire) && clock::now() < due) {
        std::this_thread::sleep_until(std::min(due, clock::now() + std::chrono::milliseconds(5)));
      }
    }
  }

  const OutputFormat format_;
  const RenderFn fn_;
  void* const user_;
  std::vector<int16_t> scratch_;  // output thread only
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Output> OpenSilentOutput(uint32_t rate, uint32_t bufferFrames, RenderFn fn,
                                         void* user) {
  return std::make_unique<SilentOutput>(rate, bufferFrames, fn, user);
}

}  // namespace audio::detail
