// Asks the session bus and GSettings; a desktop that offers neither is never quiet.
#include "desktop/gui/desktop_do_not_disturb.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

namespace postvane {

namespace {

constexpr int kBusWaitMs = 500;
constexpr int kSettingsWaitMs = 1000;

bool ServiceInhibited() {
  QDBusMessage get = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.freedesktop.Notifications") << QStringLiteral("Inhibited");
  // Asking must not start a notification service that is not running.
  get.setAutoStartService(false);
  const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, kBusWaitMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
  const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
  return value.typeId() == QMetaType::Bool && value.toBool();
}

bool GnomeBannersOff() {
  const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
  if (gsettings.isEmpty()) return false;
  QProcess process;
  process.start(gsettings,
                {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.notifications"),
                 QStringLiteral("show-banners")});
  if (!process.waitForFinished(kSettingsWaitMs)) {
    process.kill();
    process.waitForFinished(kSettingsWaitMs);
    return false;
  }
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
         process.readAllStandardOutput().trimmed() == "false";
}

}  // namespace

bool DesktopDoNotDisturb::Active() { return ServiceInhibited() || GnomeBannersOff(); }

}  // namespace postvane
