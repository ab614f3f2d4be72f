// QProcess::startDetached: the new process outlives us and we keep no handle.
#include "desktop/gui/qt_program_starter.h"

#include <QProcess>

namespace postvane {

QStringList SplitCommandLine(const std::string& commandLine) {
  return QProcess::splitCommand(QString::fromStdString(commandLine));
}

bool QtProgramStarter::StartDetached(const std::string& commandLine) {
  QStringList parts = SplitCommandLine(commandLine);
  if (parts.isEmpty() || parts.front().isEmpty()) return false;
  const QString program = parts.takeFirst();
  return QProcess::startDetached(program, parts);
}

}  // namespace postvane
