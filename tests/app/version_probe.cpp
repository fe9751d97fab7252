// A test double of the program: runs the real entry (app::RunTonewright) with an engine version
// taken from TW_PROBE_VERSION (hex) and message boxes printed to standard output instead of
// shown. Prints "shown" (with the input box's text) and leaves with exit code 7 if the main window ever appears, so a test
// can tell "ended before the window showed" from "started normally".
//
//   version_probe                          run the program as described
//   version_probe --print-program-folder   print app::ProgramFolder() and end
#include <QApplication>
#include <QLineEdit>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "app/Folders.h"
#include "app/Hooks.h"
#include "app/RunProgram.h"
#include "app/Tfrmmain.h"
#include "lsan_suppressions.h"

namespace {

class ShowWatcher : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && qobject_cast<Tfrmmain*>(watched) != nullptr) {
      // What the window opened from the command line, and the name Qt would append to titles.
      std::printf("shown input=%s display-name=%s\n",
                  static_cast<Tfrmmain*>(watched)->sEdit1->text().toUtf8().constData(),
                  QGuiApplication::applicationDisplayName().toUtf8().constData());
      std::fflush(stdout);
      QTimer::singleShot(0, [] { QCoreApplication::exit(7); });
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--print-program-folder") == 0) {
    QCoreApplication core(argc, argv);
    std::printf("%s\n", app::ProgramFolder().toLocal8Bit().constData());
    return 0;
  }
  QApplication application(argc, argv);
  bool ok = false;
  const uint32_t version = qEnvironmentVariable("TW_PROBE_VERSION").toUInt(&ok, 16);
  app::Hooks& h = app::hooks();
  if (ok) h.engineVersion = [version] { return version; };
  h.programFolder = [] { return QStringLiteral(TW_PROGRAM_DIR "/"); };
  h.messageBox = [](QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text) {
    std::printf("message owner=%s icon=%d title=%s text=%s\n", owner == nullptr ? "none" : "window",
                static_cast<int>(icon), title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stdout);
  };
  ShowWatcher watcher;
  application.installEventFilter(&watcher);
  return app::RunTonewright(application);
}
