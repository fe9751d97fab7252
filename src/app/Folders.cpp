#include "app/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace app {

namespace {

constexpr QChar kSeparator = u'/';

// The part of a path that names its root: "/" for an absolute path, empty for a relative one.
QString RootPart(const QString& path) {
  return path.startsWith(kSeparator) ? QString(kSeparator) : QString();
}

}  // namespace

QString ProgramFolder() {
  const QFileInfo program(QCoreApplication::applicationFilePath());
  QString folder = program.canonicalPath();
  if (folder.isEmpty()) folder = program.absolutePath();
  return SetTrailingSeparator(folder, true);
}

QString GetDocumentsFolder() {
  QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty()) documents = QDir::homePath();
  return documents;
}

QString DataFolderIn(const QString& documents, const QString& home) {
  const QString base = documents.isEmpty() ? home : documents;
  return SetTrailingSeparator(base, false) + QStringLiteral("/OmbrixDVD/Tonewright/");
}

QString OutputFolderOf(const QString& dataDir) { return dataDir + QStringLiteral("output/"); }

QString SetTrailingSeparator(const QString& path, bool include) {
  if (path.isEmpty()) return path;
  const bool ends = path.endsWith(kSeparator);
  if (include && !ends) return path + kSeparator;
  if (!include && ends) return path.left(path.size() - 1);
  return path;
}

QString PathHead(int index, const QString& path) {
  QString result;
  QString rest = path;
  for (int i = 0; i <= index; ++i) {
    const qsizetype cut = rest.indexOf(kSeparator);
    if (cut < 0) return QString();
    result += rest.left(cut + 1);
    rest.remove(0, cut + 1);
  }
  return result;
}

bool ForceFolderChain(const QString& path) {
  const QString full = SetTrailingSeparator(path, true);
  const QString root = SetTrailingSeparator(RootPart(full), true);
  const QString rest = SetTrailingSeparator(full.mid(root.size()), true);
  if (root.isEmpty() || rest.isEmpty()) return false;
  for (int i = 0;; ++i) {
    const QString head = PathHead(i, rest);
    if (head.isEmpty()) return true;
    const QString level = root + head;
    if (QFileInfo(level).isDir()) continue;
    if (!QDir().mkdir(level)) return false;
  }
}

}  // namespace app
