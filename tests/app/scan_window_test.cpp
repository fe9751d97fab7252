// Opening files one after another in the real window while the earlier file's waveform scan is
// still running: the earlier scan ends (its stream freed) before the next file's starts, and
// the peak buffers end up holding the last file's peaks only, as a scan of that file alone
// writes them. Closing the window in the middle of a scan ends it too.
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/Tfrmmain.h"
#include "source/openers.h"
#include "wave/peak_buffers.h"
#include "wave/scan.h"
#include "window_probe.h"

namespace {

using apptest::WaitFor;

// Installed on a running scan's stream: counts the readings it still makes after the preview
// stream it was opened with has been replaced (the next file is being opened).
struct LateReadings {
  audio::Handle play = 0;
  std::atomic<int> count{0};
  static void Dsp(audio::DspHandle, audio::Handle, void*, uint32_t, void* user) {
    auto& self = *static_cast<LateReadings*>(user);
    if (playStream.load() != self.play) self.count.fetch_add(1);
  }
};

// Installed on a scan's stream as soon as the scan has started: each of its readings (20 ms of
// audio) takes a millisecond at least, so that a 240-s file's scan lasts ten seconds or more and
// is still running when the test interrupts it, however a loaded machine schedules the two.
void Paced(audio::DspHandle, audio::Handle, void*, uint32_t, void*) {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class ScanWindowTest : public apptest::PlayerWindowTest {
 protected:
  void Open(Tfrmmain& w, const char* name) {
    openAnswer = F(name);
    QTest::mouseClick(w.btnselect, Qt::LeftButton);
    ASSERT_NE(playStream.load(), 0u) << name;
  }
  // Opens one of the 240-s files with its scan paced.
  void OpenPaced(Tfrmmain& w, const char* name) {
    ASSERT_NO_FATAL_FAILURE(Open(w, name));
    ASSERT_NE(audio::ChannelSetDSP(w.loader.scanStream(), &Paced, nullptr, 0), 0u);
  }
  // True while a scan stream is alive and short of its end.
  static bool Scanning(audio::Handle scan) {
    const int64_t pos = audio::ChannelGetPosition(scan, audio::POS_BYTE);
    return pos >= 0 && pos < audio::ChannelGetLength(scan, audio::POS_BYTE);
  }
  static bool Freed(audio::Handle scan) {
    return audio::ChannelGetPosition(scan, audio::POS_BYTE) < 0 && audio::ErrorGetCode() == audio::ERROR_HANDLE;
  }
};

TEST_F(ScanWindowTest, EachOpeningEndsTheRunningScanAndTheBuffersHoldTheLastFileOnly) {
  Tfrmmain w;
  w.show();
  // Two 240-s files, each interrupted in its scan.
  OpenPaced(w, "song.flac");
  const audio::Handle first = w.loader.scanStream();
  ASSERT_NE(first, 0u);
  ASSERT_TRUE(WaitFor([&] { return w.peaks.left(10) != 0; }));
  LateReadings late;
  late.play = playStream.load();
  ASSERT_NE(audio::ChannelSetDSP(first, &LateReadings::Dsp, &late, 0), 0u);
  ASSERT_TRUE(Scanning(first)) << "the first scan ended before the test could interrupt it";
  OpenPaced(w, "song.mp3");
  EXPECT_TRUE(Freed(first)) << "the first scan still runs while the second file's has started";
  EXPECT_EQ(late.count.load(), 0) << "the first scan read on while the next file was opened";
  const audio::Handle second = w.loader.scanStream();
  ASSERT_NE(second, first);
  ASSERT_TRUE(WaitFor([&] { return audio::ChannelGetPosition(second, audio::POS_BYTE) > 0; }));
  ASSERT_TRUE(Scanning(second)) << "the second scan ended before the test could interrupt it";
  Open(w, "sec60.wav");
  EXPECT_TRUE(Freed(second));
  const audio::Handle third = w.loader.scanStream();
  ASSERT_TRUE(WaitFor([&] { return Freed(third); }, 20000)) << "the last scan does not end";

  // What a scan of sec60.wav alone writes, with the same scale, into buffers of the same size.
  const uint32_t bpp = w.bytesPerPixel.load();
  ASSERT_EQ(bpp, static_cast<uint32_t>((2646000LL * 4 + 518) / 519));
  const std::string path = twtest::Fixture("sec60.wav");
  const audio::Handle alone = source::SourceOpener(".wav")(path.c_str(), 0, 0, source::kScanFlags);
  ASSERT_NE(alone, 0u);
  wave::PeakBuffers expected(w.peaks.size());
  std::atomic<uint32_t> scale{bpp};
  std::atomic<bool> stop{false}, cancel{false};
  wave::ScanPeaks(alone, wave::ScanTarget{&expected, &scale, &stop}, cancel);
  ASSERT_EQ(w.peaks.size(), 537u);
  int differing = 0;
  for (size_t i = 0; i < w.peaks.size(); ++i) {
    differing += w.peaks.left(i) != expected.left(i) || w.peaks.right(i) != expected.right(i);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(w.peaks.left(0), 0);
  // The file ends on the view's last pixel, not in columns past the view's edge.
  EXPECT_NE(w.peaks.left(Tfrmmain::kViewWidth - 1), 0);
  EXPECT_EQ(w.peaks.left(Tfrmmain::kViewWidth), 0);
}

TEST_F(ScanWindowTest, ClosingTheWindowEndsARunningScan) {
  audio::Handle scan = 0;
  {
    auto w = std::make_unique<Tfrmmain>();
    w->show();
    OpenPaced(*w, "song.flac");
    scan = w->loader.scanStream();
    ASSERT_TRUE(WaitFor([&] { return w->peaks.left(3) != 0; }));
    ASSERT_TRUE(Scanning(scan));
    w->close();
    w.reset();  // waits for the scan before the engine and the buffers go
  }
  EXPECT_EQ(frmmain, nullptr);
  // A new window afterwards starts from empty buffers and scans its own file.
  Tfrmmain again;
  EXPECT_EQ(again.peaks.left(100), 0);
  Open(again, "ref.wav");
  EXPECT_TRUE(WaitFor([&] { return again.peaks.left(100) != 0; }));
}

}  // namespace
