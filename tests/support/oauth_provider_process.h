// The tests' OAuth provider (oauth_provider.py) as a child process: started with its options,
// its ports read from its first line, stopped by closing its input when the object goes.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

namespace postvane::test {

class OAuthProviderProcess {
 public:
  OAuthProviderProcess(const std::string& script, const std::string& certificate,
                       const std::string& key, const std::string& user, QStringList options = {}) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) return;
    process_.start(python,
                   QStringList{QString::fromStdString(script), QString::fromStdString(certificate),
                               QString::fromStdString(key), QString::fromStdString(user)} +
                       options);
    if (!process_.waitForStarted(10000)) return;
    while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
    }
    const QStringList ports = QString::fromUtf8(process_.readLine()).split(QLatin1Char(' '));
    if (ports.size() != 2) return;
    httpsPort_ = static_cast<uint16_t>(ports[0].trimmed().toUInt());
    introspectionPort_ = static_cast<uint16_t>(ports[1].trimmed().toUInt());
  }
  ~OAuthProviderProcess() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  OAuthProviderProcess(const OAuthProviderProcess&) = delete;
  OAuthProviderProcess& operator=(const OAuthProviderProcess&) = delete;

  bool Running() const { return httpsPort_ != 0 && introspectionPort_ != 0; }
  std::string Issuer() const { return "https://127.0.0.1:" + std::to_string(httpsPort_); }
  std::string IntrospectionUrl() const {
    return "http://127.0.0.1:" + std::to_string(introspectionPort_) + "/introspect";
  }
  std::string Errors() { return process_.readAllStandardError().toStdString(); }

 private:
  QProcess process_;
  uint16_t httpsPort_ = 0;
  uint16_t introspectionPort_ = 0;
};

}  // namespace postvane::test
