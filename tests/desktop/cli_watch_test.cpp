// postvane-check --watch as a process against a private Dovecot IMAP server: it prints the
// first count, a new line within seconds of a delivery, and ends with status 0 on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <iostream>
#include <string>

#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "support/dovecot_fixture.h"
#include "support/qt_test_main.h"

namespace postvane::test {
namespace {

constexpr int kDeadlineMs = 30000;

DovecotOptions ImapOptions() {
  DovecotOptions options;
  options.Imap = true;
  return options;
}

class CliWatch : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dovecot_.Running()) << dovecot_.Failure();
    MailboxSettings box = Mailbox(0, "Imap", dovecot_.ImapPort());
    box.Extra = "Protocol=1\r\nSecurity=0\r\n";
    WriteBytes(folder_.File("Postvane.ini"), SettingsText({box}, true));
    watch_.setProcessEnvironment(EnglishEnvironment());
    watch_.start(CheckProgram(),
                 {QStringLiteral("--settings"),
                  QString::fromStdString(folder_.File("Postvane.ini")), QStringLiteral("--watch")});
    ASSERT_TRUE(watch_.waitForStarted(10000));
  }

  void TearDown() override {
    if (watch_.state() != QProcess::NotRunning) {
      watch_.kill();
      watch_.waitForFinished(5000);
    }
  }

  // The next whole line the watch prints; empty when none came within the deadline.
  std::string NextLine() {
    QElapsedTimer clock;
    clock.start();
    while (!watch_.canReadLine() && clock.elapsed() < kDeadlineMs) {
      watch_.waitForReadyRead(static_cast<int>(kDeadlineMs - clock.elapsed()));
    }
    return watch_.canReadLine() ? watch_.readLine().trimmed().toStdString() : std::string();
  }

  // Waits until the receive log shows the watch's IDLE command.
  bool WatchIdles() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kDeadlineMs) {
      if (ReadBytes(folder_.File("receive.log")).find("IDLE: W3 IDLE") != std::string::npos) {
        return true;
      }
      watch_.waitForReadyRead(50);
    }
    return false;
  }

  DovecotFixture dovecot_{ImapOptions()};
  TempFolder folder_;
  QProcess watch_;
};

TEST_F(CliWatch, PrintsALineWhenMailArrivesAndEndsCleanlyOnSigterm) {
  EXPECT_EQ(NextLine().rfind("0 Imap: 0 new message(s)", 0), 0u)
      << watch_.readAllStandardError().toStdString();
  ASSERT_TRUE(WatchIdles()) << ReadBytes(folder_.File("receive.log"));

  QElapsedTimer delay;
  delay.start();
  ASSERT_TRUE(dovecot_.Deliver(
      "From: Bob <bob@example.org>\nTo: alice@example.org\nSubject: Hello\n\nHi.\n"));
  const std::string line = NextLine();
  const qint64 milliseconds = delay.elapsed();
  EXPECT_EQ(line.rfind("0 Imap: 1 new message(s), 1 message(s) in mailbox", 0), 0u)
      << line << ReadBytes(folder_.File("receive.log"));
  std::cout << "--watch printed the new count " << milliseconds << " ms after the delivery\n";
  RecordProperty("watch_line_delay_ms", static_cast<int>(milliseconds));

  ::kill(static_cast<pid_t>(watch_.processId()), SIGTERM);
  ASSERT_TRUE(watch_.waitForFinished(10000));
  EXPECT_EQ(watch_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(watch_.exitCode(), 0);
  EXPECT_EQ(watch_.readAllStandardError().toStdString(), "");
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
