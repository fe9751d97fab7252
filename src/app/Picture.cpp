#include "app/Picture.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace app {

bool LoadPicture(const QString& path, QImage& picture, QString& message) {
  const QString shown = QDir::toNativeSeparators(path);
  const QFileInfo info(path);
  if (!info.exists()) {
    message = QStringLiteral("Cannot open file \"%1\". The file does not exist.").arg(shown);
    return false;
  }
  QImageReader reader(path);
  QImage read;
  if (!reader.read(&read)) {
    message = QStringLiteral("Cannot load picture \"%1\": %2.").arg(shown, reader.errorString());
    return false;
  }
  picture = read.convertToFormat(QImage::Format_RGB32);
  return true;
}

}  // namespace app
