// QFileInfo's writability asks the system (access()), so group and ACL rights count too.
#include "desktop/net/qt_path_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QtGlobal>

#include "desktop/net/qt_text.h"

namespace postvane {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadUser |
                                                QFileDevice::WriteUser | QFileDevice::ExeUser;

}  // namespace

bool QtPathProbe::IsPlainFile(const std::string& path) {
  const QFileInfo info(ToQt(path));
  return info.exists() && info.isFile();
}

bool QtPathProbe::IsWritableFolder(const std::string& path) {
  const QFileInfo info(ToQt(path));
  return info.isDir() && info.isWritable();
}

std::string QtPathProbe::EnvironmentValue(const std::string& name) {
  const QByteArray value = qgetenv(name.c_str());
  return std::string(value.constData(), static_cast<std::size_t>(value.size()));
}

bool QtPathProbe::MakeOwnerOnlyFolder(const std::string& path) {
  const QString folder = ToQt(path);
  const QFileInfo info(folder);
  // Made owner-only at birth, so there is no moment when others may look in.
  if (!info.exists() && (!QDir().mkpath(info.absolutePath()) ||
                         !QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner))) {
    return false;
  }
  // An existing folder is tightened too: it holds the passwords.
  if (!QFile::setPermissions(folder, kOwnerOnly)) return false;
  const QFileInfo made(folder);
  constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                               QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                               QFileDevice::WriteOther | QFileDevice::ExeOther;
  return made.isDir() && !(made.permissions() & kOthers);
}

bool QtPathProbe::MakeFolder(const std::string& path) { return QDir().mkpath(ToQt(path)); }

bool QtPathProbe::RemoveFile(const std::string& path) {
  const QString file = ToQt(path);
  QFile::remove(file);
  return !QFileInfo::exists(file);
}

}  // namespace postvane
