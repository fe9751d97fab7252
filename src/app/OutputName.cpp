#include "app/OutputName.h"

#include <QDir>
#include <QFileInfo>

#include "source/openers.h"

namespace app {

QString RingtoneFileName(const QString& chosen) {
  if (source::LowerExtension(chosen.toStdString()) == ".m4r") return chosen;
  return chosen + QStringLiteral(".m4r");
}

}  // namespace app

namespace app {

QString CommandLineRingtoneFile(const QString& output, const QString& input) {
  if (QFileInfo(output).isDir()) {
    QString folder = output;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder + QFileInfo(input).completeBaseName() + QStringLiteral(".m4r");
  }
  if (output.endsWith(QLatin1Char('/'))) return {};
  return RingtoneFileName(output);
}

}  // namespace app
