#include "wave/scan.h"

namespace wave {

int32_t BarHeight(uint32_t level16) {
  const int64_t product = int64_t{60} * level16;
  return static_cast<int32_t>((product + 16384) / 32768);
}

void ScanPeaks(audio::Handle stream, const ScanTarget& target, const std::atomic<bool>& cancel) {
  PeakBuffers& peaks = *target.peaks;
  const uint32_t columns = static_cast<uint32_t>(peaks.size());
  const int64_t readingBytes = peaks.readingBytes();
  size_t nextReading = 0;
  uint32_t lastColumn = 0;
  int32_t storeCount = 0;
  bool complete = false;
  if (target.observer != nullptr) target.observer->ScanStarted(stream);
  while (!target.scanStop->load(std::memory_order_acquire) &&
         !cancel.load(std::memory_order_acquire)) {
    const uint32_t level = audio::ChannelGetLevel(stream);
    const int32_t left = BarHeight(level & 0xFFFF);
    const int32_t right = BarHeight(level >> 16);
    uint32_t column = 0xFFFFFFFFu;
    // Every reading is kept for the zoomed view, at the 20 ms it ended in; the one that ends the
    // stream after the one before it.
    size_t reading = nextReading;
    if (audio::ChannelIsActive(stream) == audio::ACTIVE_PLAYING) {
      const uint32_t bpp = target.bytesPerPixel->load(std::memory_order_acquire);
      // 0 means the window is closing: there is nothing to scan for any more.
      if (bpp == 0) break;
      const int64_t pos = audio::ChannelGetPosition(stream, audio::POS_BYTE);
      column = static_cast<uint32_t>(pos / static_cast<int64_t>(bpp));
      if (readingBytes > 0 && pos > 0) reading = static_cast<size_t>((pos - 1) / readingBytes);
    }
    if (level != audio::DATA_ERROR && reading < peaks.readingCount()) {
      peaks.setReading(reading, left, right);
      nextReading = reading + 1;
    }
    if (column > lastColumn) {
      ++storeCount;
      if (storeCount >= 0 && static_cast<uint32_t>(storeCount) < columns) {
        peaks.setLeft(static_cast<size_t>(storeCount), static_cast<int16_t>(left));
        peaks.setRight(static_cast<size_t>(storeCount), static_cast<int16_t>(right));
      }
      if (column >= columns) {
        complete = true;
        break;
      }
      lastColumn = column;
    }
  }
  if (target.observer != nullptr) target.observer->ScanEnded(stream, complete);
  audio::StreamFree(stream);
}

TScanThread::TScanThread(audio::Handle stream, ScanTarget target)
    : stream_(stream), target_(target), thread_([this] { Execute(); }) {}

TScanThread::~TScanThread() { Stop(); }

void TScanThread::Execute() {
  ScanPeaks(stream_, target_, cancel_);
  finished_.store(true, std::memory_order_release);
}

void TScanThread::Stop() {
  cancel_.store(true, std::memory_order_release);
  if (thread_.joinable()) thread_.join();
}

}  // namespace wave
