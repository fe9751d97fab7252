#include "cli/output_name.h"

#include <QFileInfo>
#include <QString>

#include "convert/ringtone_kind.h"

namespace cli {

std::string CommandLineRingtoneFile(const std::string& outputName, const std::string& inputName) {
  const QString output = QString::fromStdString(outputName);
  if (QFileInfo(output).isDir()) {
    QString folder = output;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return (folder + QFileInfo(QString::fromStdString(inputName)).completeBaseName() + QStringLiteral(".m4r")).toStdString();
  }
  if (output.endsWith(QLatin1Char('/'))) return {};
  return convert::RingtoneFileName(outputName, convert::KindOfName(outputName));
}

}  // namespace cli
