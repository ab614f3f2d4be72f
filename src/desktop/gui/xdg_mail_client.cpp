// Starts the mailto: handler detached, without a shell: the entry's arguments go as they are.
#include "desktop/gui/xdg_mail_client.h"

#include <QProcess>
#include <QStringList>

#include "app/mailto_handler.h"

namespace postvane {

std::string XdgMailClient::Name() {
  const auto entry = FindMailtoHandler(files_, environment_, languageBase_);
  return entry ? entry->Name : std::string();
}

bool XdgMailClient::Start() {
  const auto entry = FindMailtoHandler(files_, environment_, languageBase_);
  if (!entry) return false;
  QStringList arguments;
  for (std::size_t i = 1; i < entry->Exec.size(); ++i) {
    arguments << QString::fromStdString(entry->Exec[i]);
  }
  return QProcess::startDetached(QString::fromStdString(entry->Exec.front()), arguments);
}

}  // namespace postvane
