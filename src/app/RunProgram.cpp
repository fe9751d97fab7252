#include "app/RunProgram.h"

#include <QApplication>
#include <QFileInfo>
#include <QUrl>

#include "app/Look.h"
#include "cli/command_line.h"
#include "app/TerminateWatch.h"
#include "app/Tfrmmain.h"
#include "source/input_choice.h"

namespace app {

int RunTonewright(QApplication& application) {
  // No display name: Qt appends one to every window's title, the dialogs' and message boxes' too.
  QApplication::setApplicationName(QStringLiteral("tonewright"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tonewright"));  // the desktop entry's icon and name
  QApplication::setApplicationVersion(QString::fromLatin1(cli::kProgramVersion));
  ApplyLook(application);

  Tfrmmain window;
  if (window.StartupRefused()) return 0;
  // A file named on the command line (a path or a file:// URI, as a file manager's "Open With"
  // passes it) opens as a drop or the dialog would open it; a name they refuse is reported once
  // the window shows.
  const QStringList arguments = application.arguments();
  if (arguments.size() > 1) {
    const QString& given = arguments.at(1);
    const QUrl url(given);
    const QString path = url.isLocalFile() ? url.toLocalFile() : QFileInfo(given).absoluteFilePath();
    if (source::IsAcceptedName(path.toStdString())) window.LoadInputFile(path);
    else window.ShowCannotOpen(path, QString::fromLatin1(source::kRefusedNameReason));
  }
  window.show();
  TerminateWatch watch(&window);
  return application.exec();
}

}  // namespace app
