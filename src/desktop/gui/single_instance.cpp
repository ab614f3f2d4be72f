// QLockFile holds the lock for the life of the process and notices locks of dead processes.
#include "desktop/gui/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace postvane {

QString SingleInstanceLockPath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::tempPath();
  return QDir(folder).filePath(QStringLiteral("postvane.lock"));
}

SingleInstanceLock::SingleInstanceLock(const QString& path) : lock_(path) {
  if (lock_.tryLock(0)) return;
  anotherInstance_ = lock_.error() == QLockFile::LockFailedError;
}

}  // namespace postvane
