// postvane-check.exe under Wine against the same POP3 servers as the native postvane-check:
// both must print the same report, exit with the same status and leave the same settings file.
// scripts/test-windows.sh names the .exe and the Wine prefix.
#include <gtest/gtest.h>

#include <QProcessEnvironment>
#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "desktop/cli_process.h"
#include "desktop/wine_paths.h"
#include "fakes/temp_folder.h"
#include "support/dovecot_fixture.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"

namespace postvane::test {
namespace {

const std::vector<std::string> kUids = {"u1", "u2", "u3"};

Pop3Script NewMail() {
  return Pop3Script()
      .LoginThroughUidl("alice", "secret", kUids, "-ERR Unknown command: LAST\r\n")
      .Expect("TOP 2 0")
      .Send(TopReply({"From: Bob <bob@example.org>", "To: alice@example.org",
                      "Subject: Caf\xC3\xA9 \"budget\"", "X-Priority: 1",
                      "Date: Tue, 1 Oct 2024 09:00:00 +0200"}))
      .Expect("TOP 3 0")
      .Send(TopReply({"From: =?ISO-8859-1?Q?J=F6rg?= <j@example.org>", "Subject: Lunch?"}))
      .Quit();
}

Pop3Script NothingNew() { return Pop3Script().LoginThroughUidl("alice", "secret", kUids).Quit(); }

Pop3Script WrongPassword() {
  return Pop3Script()
      .Send("+OK POP3 ready\r\n")
      .Expect("USER alice")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("-ERR [AUTH] Authentication failed.\r\n");
}

Pop3Script Locked() {
  return Pop3Script()
      .Send("+OK POP3 ready\r\n")
      .Expect("USER alice")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("-ERR [IN-USE] Mailbox is locked by another POP3 session.\r\n");
}

struct WineCase {
  const char* name;
  std::function<Pop3Script()> first;   // mailbox 0
  std::function<Pop3Script()> second;  // mailbox 3
  std::vector<std::string> arguments;
};

void PrintTo(const WineCase& row, std::ostream* out) { *out << row.name; }

struct RunOutcome {
  CheckResult result;
  std::string settingsAfter;
  std::vector<std::string> commands;
};

class CliWine : public testing::TestWithParam<WineCase> {
 protected:
  void SetUp() override {
    exe_ = qEnvironmentVariable("POSTVANE_WINDOWS_CHECK_PROGRAM").toStdString();
    if (exe_.empty() || qEnvironmentVariableIsEmpty("WINEPREFIX")) {
      GTEST_SKIP() << "scripts/test-windows.sh runs this with the .exe and a Wine prefix";
    }
  }

  // One run of either program against fresh servers playing the case's scripts.
  RunOutcome Run(bool windows) {
    const WineCase& row = GetParam();
    ScriptedPop3Server first([&](int) { return row.first(); });
    ScriptedPop3Server second([&](int) { return row.second(); });
    TempFolder folder;
    const std::string settings = folder.File("Postvane.ini");
    WriteBytes(settings, SettingsText({Mailbox(0, "Work", first.Port(), "u1"),
                                       Mailbox(3, "Home \xC3\xBC", second.Port(), "u3")}));
    QStringList arguments;
    arguments << "--settings" << QString::fromStdString(windows ? WinePath(settings) : settings);
    for (const std::string& each : row.arguments) arguments << QString::fromStdString(each);

    RunOutcome outcome;
    if (windows) {
      arguments.prepend(QString::fromStdString(exe_));
      outcome.result = RunProgram(QStringLiteral(POSTVANE_WINE_RUN), arguments,
                                  QProcessEnvironment::systemEnvironment(), 120000);
    } else {
      outcome.result = RunCheck(arguments);
    }
    outcome.settingsAfter = WithoutPorts(ReadBytes(settings));
    for (const ScriptedPop3Server* server : {&first, &second}) {
      for (const auto& session : server->Sessions()) {
        for (const std::string& line : session.Received) outcome.commands.push_back(line);
      }
    }
    return outcome;
  }

  std::string exe_;
};

TEST_P(CliWine, SameReportStatusAndSettingsAsTheNativeProgram) {
  const RunOutcome native = Run(false);
  const RunOutcome windows = Run(true);
  ASSERT_TRUE(native.result.Finished);
  ASSERT_TRUE(windows.result.Finished) << windows.result.Err;
  EXPECT_EQ(windows.result.ExitCode, native.result.ExitCode) << windows.result.Err;
  EXPECT_EQ(windows.result.Out, native.result.Out);
  EXPECT_EQ(windows.settingsAfter, native.settingsAfter);
  EXPECT_EQ(windows.commands, native.commands);
  EXPECT_FALSE(native.result.Out.empty() && GetParam().arguments.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliWine,
    testing::Values(WineCase{"PlainText", NewMail, NothingNew, {}},
                    WineCase{"Json", NewMail, WrongPassword, {"--json"}},
                    WineCase{"Ack", NewMail, NothingNew, {"--ack", "--json"}},
                    WineCase{"NothingNew", NothingNew, NothingNew, {}},
                    WineCase{"Failure", WrongPassword, NothingNew, {"--mailbox", "0"}},
                    WineCase{"Locked", NewMail, Locked, {"--json"}},
                    WineCase{"Usage", NothingNew, NothingNew, {"--mailbox", "12"}}),
    [](const testing::TestParamInfo<WineCase>& info) { return std::string(info.param.name); });

TEST(CliWineDovecot, SameJsonThenTheWindowsAckHoldsForTheNativeProgram) {
  const std::string exe = qEnvironmentVariable("POSTVANE_WINDOWS_CHECK_PROGRAM").toStdString();
  if (exe.empty() || qEnvironmentVariableIsEmpty("WINEPREFIX")) {
    GTEST_SKIP() << "scripts/test-windows.sh runs this with the .exe and a Wine prefix";
  }
  DovecotFixture dovecot;
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  ASSERT_TRUE(dovecot.Deliver("From: Bob <bob@example.org>\nSubject: One\n\nBody.\n"));
  ASSERT_TRUE(dovecot.Deliver("From: Carol <carol@example.org>\nSubject: Two\n\nBody.\n"));
  TempFolder folder;
  const std::string settings = folder.File("Postvane.ini");
  WriteBytes(settings, SettingsText({Mailbox(1, "Dovecot", dovecot.Port())}));
  const QString windowsSettings = QString::fromStdString(WinePath(settings));
  auto runWindows = [&](QStringList more) {
    return RunProgram(
        QStringLiteral(POSTVANE_WINE_RUN),
        QStringList{QString::fromStdString(exe), "--settings", windowsSettings} + more,
        QProcessEnvironment::systemEnvironment(), 120000);
  };
  const QStringList nativeArguments{"--settings", QString::fromStdString(settings), "--json"};

  const CheckResult native = RunCheck(nativeArguments);
  const CheckResult windows = runWindows({"--json", "--ack"});
  ASSERT_TRUE(windows.Finished) << windows.Err;
  EXPECT_EQ(native.ExitCode, 0) << native.Err << dovecot.ServerLog();
  EXPECT_EQ(windows.ExitCode, native.ExitCode) << windows.Err;
  EXPECT_EQ(windows.Out, native.Out);

  const CheckResult after = RunCheck(nativeArguments);
  EXPECT_EQ(after.ExitCode, 1) << after.Out << after.Err;
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
