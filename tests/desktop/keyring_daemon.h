// gnome-keyring-daemon on the test's private session bus, with a home of its own and its login
// keyring unlocked by a known password. Stopped, and its files removed, when the object goes.
#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QTemporaryDir>

#include "desktop/gui_test_support.h"

namespace postvane {

class KeyringDaemon {
 public:
  KeyringDaemon() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home_.path());
    environment.insert("XDG_DATA_HOME", home_.filePath("data"));
    environment.insert("XDG_RUNTIME_DIR", home_.path());
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"});
    if (process_.waitForStarted(20000)) {
      process_.write("known-password");
      process_.closeWriteChannel();
    }
  }

  ~KeyringDaemon() {
    process_.kill();
    process_.waitForFinished(20000);
    WaitFor([] { return !Registered(); }, 20000);
  }

  static bool Registered() {
    return QDBusConnection::sessionBus()
        .interface()
        ->isServiceRegistered("org.freedesktop.secrets")
        .value();
  }

  // The service is on the bus and its login collection exists.
  bool WaitUntilReady() {
    return WaitFor([] { return Registered(); }, 30000) &&
           WaitFor(
               [] {
                 return !ReadAlias("default").path().isEmpty() &&
                        ReadAlias("default").path() != "/";
               },
               30000);
  }

  // Locks the default collection, as a screen lock or a user would.
  bool Lock() {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                       "org.freedesktop.Secret.Service", "Lock");
    call << QVariant::fromValue(QList<QDBusObjectPath>{ReadAlias("default")});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    return reply.type() == QDBusMessage::ReplyMessage;
  }

 private:
  static QDBusObjectPath ReadAlias(const QString& name) {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                       "org.freedesktop.Secret.Service", "ReadAlias");
    call << name;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().at(0).value<QDBusObjectPath>();
  }

  QTemporaryDir home_;
  QProcess process_;
};

}  // namespace postvane
