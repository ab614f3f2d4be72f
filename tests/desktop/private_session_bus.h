// A session bus of the test's own, from a minimal configuration: no service is started on
// demand, so only what the test runs answers. Stopped when the object goes.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>

namespace postvane {

class PrivateSessionBus {
 public:
  PrivateSessionBus() {
    if (!folder_.isValid()) return;
    const QString config = folder_.filePath("session.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type><listen>unix:dir=" +
        folder_.path().toUtf8() +
        "</listen><auth>EXTERNAL</auth>"
        "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
        "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    file.close();
    daemon_.start("dbus-daemon", {"--nofork", "--print-address=1", "--config-file=" + config});
    if (!daemon_.waitForStarted(20000)) return;
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(20000)) {
    }
    address_ = daemon_.readLine().trimmed();
    if (!address_.isEmpty()) setenv("DBUS_SESSION_BUS_ADDRESS", address_.constData(), 1);
  }

  ~PrivateSessionBus() {
    if (daemon_.state() == QProcess::NotRunning) return;
    daemon_.kill();
    daemon_.waitForFinished(20000);
  }

  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  bool Started() const { return !address_.isEmpty(); }

 private:
  QTemporaryDir folder_;
  QProcess daemon_;
  QByteArray address_;
};

}  // namespace postvane
