// One long session of the real window (offscreen, SDL's dummy audio driver): 500 files opened in
// turn through LoadInputFile, each while the previous file's scan and preview still run, with a
// conversion through the real encoder after every ninth. Memory, open descriptors and threads are
// measured with nothing running after a warm-up of 50 files and at the end; the run fails when
// memory grew by more than 5 MB or a descriptor or a thread was left behind.
// Usage: tw_long_run [FIXTURE_FOLDER [FILES]]   (run by scripts/long_run.sh)
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Hooks.h"
#include "app/Tfrmmain.h"
#include "audio/engine.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Figures {
  long rssKb = 0;
  long heapKb = 0;  // bytes malloc hands out (in use), in KiB
  int fds = 0;
  int threads = 0;
  std::string threadNames;
  std::string fdTargets;
};

long StatusField(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
  return -1;
}

Figures Measure() {
  Figures f;
  f.rssKb = StatusField("VmRSS");
  f.threads = static_cast<int>(StatusField("Threads"));
  const struct mallinfo2 m = mallinfo2();
  f.heapKb = static_cast<long>((m.uordblks + m.hblkhd) / 1024);
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    ++f.fds;
    f.fdTargets += " " + fs::read_symlink(e.path(), ec).string();
  }
  for (const auto& t : fs::directory_iterator("/proc/self/task")) {
    std::ifstream comm(t.path() / "comm");
    std::string name;
    std::getline(comm, name);
    f.threadNames += " " + name;
  }
  return f;
}

void Pump(int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  do {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (Clock::now() < until);
}

std::vector<std::string> ManifestNames(const std::string& dir) {
  std::vector<std::string> names;
  std::ifstream in(dir + "/manifest.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line))
    if (const auto tab = line.find('\t'); tab != std::string::npos) names.push_back(line.substr(0, tab));
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const std::string fixtures = argc > 1 ? argv[1] : TW_FIXTURES;
  const int files = argc > 2 ? std::atoi(argv[2]) : 500;
  QTemporaryDir home;
  qputenv("HOME", home.path().toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
  QApplication app(argc, argv);
  // Qt's pooled threads would otherwise linger 30 s after their work, and be counted or not
  // depending on when the figures are taken.
  QThreadPool::globalInstance()->setExpiryTimeout(0);

  int messages = 0;
  app::Hooks& hooks = app::hooks();
  hooks.programFolder = [] { return QStringLiteral(TW_PROGRAM_DIR "/"); };
  hooks.messageBox = [&messages](QWidget*, QMessageBox::Icon, const QString&, const QString&) { ++messages; };
  hooks.openUrl = [](const QUrl&) { return true; };

  const auto names = ManifestNames(fixtures);
  if (names.size() < 20) {
    std::fprintf(stderr, "no fixture manifest in %s\n", fixtures.c_str());
    return 2;
  }
  const std::vector<std::string> convertible = {"ref.mp3", "ref.ogg", "ref.flac", "ref.m4a", "ref.wav", "ref.wma"};

  Figures warm, last;
  std::vector<long> rssSeries;
  int conversions = 0, written = 0;
  const auto t0 = Clock::now();
  {
    Tfrmmain w;
    w.show();
    Pump(100);
    const QString nothing = QString::fromStdString(fixtures + "/no-such-file.mp3");
    for (int i = 0; i < files; ++i) {
      const std::string name = names[static_cast<size_t>(i) % names.size()];
      w.LoadInputFile(QString::fromStdString(fixtures + "/" + name));
      Pump(5 + i % 5 * 4);  // the scan and the preview run meanwhile
      if (i % 10 == 9) {
        // A conversion: a good file, a selection made with the mouse, the real encoder.
        const std::string input = fixtures + "/" + convertible[static_cast<size_t>(conversions) % convertible.size()];
        w.LoadInputFile(QString::fromStdString(input));
        Pump(5);
        w.PBMouseDown(Qt::LeftButton, QPoint(18, 70));
        w.PBMouseUp();
        w.PBMouseDown(Qt::RightButton, QPoint(200, 70));
        w.PBMouseUp();
        const fs::path out = fs::path(home.path().toStdString()) / ("ring" + std::to_string(i) + ".m4r");
        w.ConvertToRingtone(QString::fromStdString(input), QString::fromStdString(out.string()));
        ++conversions;
        if (fs::exists(out) && fs::file_size(out) > 1000) ++written;
        fs::remove(out);
      }
      if (i == 49 || i == files - 1 || (i + 1) % 50 == 0) {
        // Nothing running: the scan stopped, the preview freed, as after a file that does not open.
        w.LoadInputFile(nothing);
        Pump(300);
        QThreadPool::globalInstance()->waitForDone();
        const Figures f = Measure();
        rssSeries.push_back(f.rssKb);
        if (i == 49) warm = f;
        last = f;
      }
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("long run: %d files, %d conversions (%d ringtones written), %d message boxes, %.0f s\n", files,
              conversions, written, messages, seconds);
  std::printf("RSS every 50 files (KiB):");
  for (long r : rssSeries) std::printf(" %ld", r);
  std::printf("\n");
  std::printf("after warm-up (50 files): RSS %ld KiB, heap %ld KiB, %d descriptors, %d threads\n", warm.rssKb,
              warm.heapKb, warm.fds, warm.threads);
  std::printf("at the end (%d files):   RSS %ld KiB, heap %ld KiB, %d descriptors, %d threads\n", files,
              last.rssKb, last.heapKb, last.fds, last.threads);
  if (warm.threads != last.threads)
    std::printf("threads after warm-up:%s\nthreads at the end:   %s\n", warm.threadNames.c_str(), last.threadNames.c_str());
  if (warm.fds != last.fds)
    std::printf("descriptors after warm-up:%s\ndescriptors at the end:   %s\n", warm.fdTargets.c_str(), last.fdTargets.c_str());
  const long growthKb = last.rssKb - warm.rssKb;
  std::printf("growth: RSS %+ld KiB, heap %+ld KiB, descriptors %+d, threads %+d\n", growthKb,
              last.heapKb - warm.heapKb, last.fds - warm.fds, last.threads - warm.threads);
  const bool ok = growthKb < 5 * 1024 && last.fds == warm.fds && last.threads == warm.threads &&
                  written == conversions;
  std::printf("%s\n", ok ? "long run: OK" : "long run: FAILED");
  return ok ? 0 : 1;
}
