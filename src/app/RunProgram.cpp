#include "app/RunProgram.h"

#include <QApplication>

#include "app/Look.h"
#include "app/TerminateWatch.h"
#include "app/Tfrmmain.h"

namespace app {

int RunTonewright(QApplication& application) {
  QApplication::setApplicationName(QStringLiteral("tonewright"));
  QApplication::setApplicationDisplayName(QStringLiteral("Ombrix Tonewright"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));
  ApplyLook(application);

  Tfrmmain window;
  if (window.StartupRefused()) return 0;
  window.show();
  TerminateWatch watch(&window);
  return application.exec();
}

}  // namespace app
