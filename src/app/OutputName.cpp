#include "app/OutputName.h"

namespace app {

QString LowerExtension(const QString& path) {
  const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
  const qsizetype dot = path.lastIndexOf(u'.');
  if (dot < nameStart) return QString();
  QString ext = path.mid(dot);
  for (QChar& c : ext) {
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
  }
  return ext;
}

QString RingtoneFileName(const QString& chosen) {
  if (LowerExtension(chosen) == QStringLiteral(".m4r")) return chosen;
  return chosen + QStringLiteral(".m4r");
}

}  // namespace app
