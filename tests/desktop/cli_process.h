// Runs the built postvane-check as a child process and writes settings files for it.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_store.h"

namespace postvane::test {

struct CheckResult {
  bool Finished = false;
  int ExitCode = -1;
  std::string Out;
  std::string Err;
  qint64 Milliseconds = 0;
};

inline QString CheckProgram() { return QString::fromUtf8(POSTVANE_CHECK_PROGRAM_FILE); }

// The child's language comes from these variables alone; no display, no platform plug-in.
inline QProcessEnvironment LanguageEnvironment(const QString& locale) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name :
       {"LANGUAGE", "LC_MESSAGES", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment.remove(QString::fromLatin1(name));
  }
  environment.insert(QStringLiteral("LC_ALL"), locale);
  environment.insert(QStringLiteral("LANG"), locale);
  return environment;
}

inline QProcessEnvironment EnglishEnvironment() {
  return LanguageEnvironment(QStringLiteral("en_US.UTF-8"));
}

inline QProcessEnvironment GermanEnvironment() {
  return LanguageEnvironment(QStringLiteral("de_DE.UTF-8"));
}

inline CheckResult RunProgram(const QString& program, const QStringList& arguments,
                              const QProcessEnvironment& environment = EnglishEnvironment(),
                              int waitMs = 60000, const QByteArray& input = {}) {
  CheckResult result;
  QProcess process;
  process.setProcessEnvironment(environment);
  QElapsedTimer clock;
  clock.start();
  process.start(program, arguments);
  if (!process.waitForStarted(10000)) return result;
  if (!input.isEmpty()) process.write(input);
  process.closeWriteChannel();
  result.Finished = process.waitForFinished(waitMs);
  if (!result.Finished) {
    process.kill();
    process.waitForFinished(5000);
  }
  result.Milliseconds = clock.elapsed();
  if (result.Finished && process.exitStatus() == QProcess::NormalExit) {
    result.ExitCode = process.exitCode();
  }
  result.Out = process.readAllStandardOutput().toStdString();
  result.Err = process.readAllStandardError().toStdString();
  return result;
}

inline CheckResult RunCheck(const QStringList& arguments,
                            const QProcessEnvironment& environment = EnglishEnvironment(),
                            int waitMs = 60000) {
  return RunProgram(CheckProgram(), arguments, environment, waitMs);
}

// Parses with Python's own JSON reader, which takes nothing but a valid document; prints
// what the script asked for.
inline CheckResult RunPython(const std::string& script, const std::string& input) {
  const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
  if (python.isEmpty()) return {};
  return RunProgram(python, {QStringLiteral("-c"), QString::fromStdString(script)},
                    QProcessEnvironment::systemEnvironment(), 30000,
                    QByteArray::fromStdString(input));
}

struct MailboxSettings {
  int Index = 0;
  std::string Name;
  uint16_t Port = 0;
  std::string User = "alice";
  std::string Password = "secret";
  bool Enabled = true;
  std::string Uidl;  // no UIDL line when empty
  std::string Extra;  // further lines of the section, CR LF each
};

inline MailboxSettings Mailbox(int index, std::string name, uint16_t port, std::string uidl = {},
                               std::string password = "secret", bool enabled = true) {
  MailboxSettings box;
  box.Index = index;
  box.Name = std::move(name);
  box.Port = port;
  box.Uidl = std::move(uidl);
  box.Password = std::move(password);
  box.Enabled = enabled;
  return box;
}

inline std::string SettingsText(const std::vector<MailboxSettings>& boxes,
                                bool receiveLog = false) {
  std::string text = "; written by the test\r\n[General]\r\nInterval=5\r\nNotifyType=1\r\n";
  if (receiveLog) text += "ReceiveLog=1\r\n";
  for (const MailboxSettings& box : boxes) {
    text += "[MailBox" + std::to_string(box.Index) + "]\r\n";
    text += "Name=" + box.Name + "\r\n";
    text += "User=" + box.User + "\r\n";
    text += "Password=" + TransformPassword(box.Password) + "\r\n";
    text += "RemoteHost=127.0.0.1\r\n";
    text += "RemotePort=" + std::to_string(box.Port) + "\r\n";
    text += std::string("Enabled=") + (box.Enabled ? "1" : "0") + "\r\n";
    text += "LastMail=0\r\n";
    if (!box.Uidl.empty()) text += "UIDL=" + box.Uidl + "\r\n";
    text += box.Extra;
  }
  return text;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace postvane::test
