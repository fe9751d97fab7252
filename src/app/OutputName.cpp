#include "app/OutputName.h"

#include "source/openers.h"

namespace app {

QString RingtoneFileName(const QString& chosen) {
  if (source::LowerExtension(chosen.toStdString()) == ".m4r") return chosen;
  return chosen + QStringLiteral(".m4r");
}

}  // namespace app
