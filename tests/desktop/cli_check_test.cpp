// postvane-check as a user runs it: the built executable against scripted POP3 servers on
// 127.0.0.1, with no display, checked by its output, exit status and settings file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QProcess>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "check/connection_security.h"
#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"
#include "text/own_text.h"
#include "text/text_encoding.h"

namespace postvane::test {
namespace {

const std::vector<std::string> kUids = {"u1", "u2", "u3"};

// Keeps the event loop going until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

Pop3Script NewMailScript() {
  return Pop3Script()
      .LoginThroughUidl("alice", "secret", kUids, "-ERR Unknown command: LAST\r\n")
      .Expect("TOP 2 0")
      .Send(TopReply({"Return-Path: <bob@example.org>", "From: Bob <bob@example.org>",
                      "To: alice@example.org", "Subject: Budget", "X-Priority: 3",
                      "Date: Tue, 1 Oct 2024 09:00:00 +0200"}))
      .Expect("TOP 3 0")
      .Send(TopReply({"From: Carol <carol@example.org>", "To: alice@example.org", "Subject: Lunch?",
                      "Date: Tue, 1 Oct 2024 11:30:00 +0200"}))
      .Quit();
}

Pop3Script NothingNewScript() {
  return Pop3Script().LoginThroughUidl("alice", "secret", kUids).Quit();
}

Pop3Script WrongPasswordScript() {
  return Pop3Script()
      .Send("+OK POP3 ready\r\n")
      .Expect("USER alice")
      .Send("+OK\r\n")
      .Expect("PASS wrong")
      .Send("-ERR [AUTH] Authentication failed.\r\n");
}

class CliCheck : public testing::Test {
 protected:
  std::string Settings() const { return folder_.File("Postvane.ini"); }
  QString SettingsArgument() const { return QString::fromStdString(Settings()); }
  void WriteSettings(const std::vector<MailboxSettings>& boxes, bool receiveLog = false) {
    WriteBytes(Settings(), SettingsText(boxes, receiveLog));
  }

  TempFolder folder_;
};

TEST_F(CliCheck, NewMailIsFoundAndListed) {
  ScriptedPop3Server server([](int) { return NewMailScript(); });
  ASSERT_NE(server.Port(), 0);
  WriteSettings({Mailbox(0, "Work", server.Port(), "u1")});
  const std::string before = ReadBytes(Settings());

  const CheckResult result = RunCheck({"--settings", SettingsArgument()});
  ASSERT_TRUE(result.Finished) << result.Err;
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_EQ(result.Out,
            "0 Work: 2 new message(s), 3 message(s) in mailbox - no Error\n"
            "    From: Carol <carol@example.org> | Subject: Lunch? | Date: Tue, 1 Oct 2024 "
            "11:30:00 +0200\n"
            "    From: Bob <bob@example.org> | Subject: Budget | Date: Tue, 1 Oct 2024 09:00:00 "
            "+0200\n");
  EXPECT_TRUE(server.Problems().empty()) << server.Problems().front();
  // Without --ack the settings file is only read.
  EXPECT_EQ(ReadBytes(Settings()), before);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("receive.log")));
}

TEST_F(CliCheck, NothingNewGivesExitOne) {
  ScriptedPop3Server server([](int) { return NothingNewScript(); });
  WriteSettings({Mailbox(0, "Work", server.Port(), "u3")});
  const CheckResult result = RunCheck({"--settings", SettingsArgument()});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 1) << result.Err;
  EXPECT_EQ(result.Out, "0 Work: 0 new message(s), 3 message(s) in mailbox - no Error\n");
}

TEST_F(CliCheck, WrongPasswordInEnglish) {
  ScriptedPop3Server server([](int) { return WrongPasswordScript(); });
  WriteSettings({Mailbox(0, "Work", server.Port(), "", "wrong")});
  const CheckResult result = RunCheck({"--settings", SettingsArgument()});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 2);
  EXPECT_EQ(result.Out, "0 Work: 0 new message(s), 0 message(s) in mailbox - Password is wrong!\n");
}

TEST_F(CliCheck, WrongPasswordInGerman) {
  ScriptedPop3Server server([](int) { return WrongPasswordScript(); });
  WriteSettings({Mailbox(0, "Arbeit", server.Port(), "", "wrong")});
  const CheckResult result = RunCheck({"--settings", SettingsArgument()}, GermanEnvironment());
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 2);
  EXPECT_EQ(result.Out,
            "0 Arbeit: 0 neue(s) mail(s), 0 mail(s) im Postfach - Kennwort ist falsch!\n");
}

TEST_F(CliCheck, AckWritesOnlyTheUidlKeyAndTheNextRunFindsNothingNew) {
  ScriptedPop3Server server(
      [](int connection) { return connection == 0 ? NewMailScript() : NothingNewScript(); });
  WriteSettings(
      {Mailbox(0, "Work", server.Port(), "u1"), Mailbox(3, "Other", 1, "keep-me", "pw", false)});
  const std::string before = ReadBytes(Settings());

  const CheckResult first = RunCheck({"--settings", SettingsArgument(), "--ack"});
  ASSERT_TRUE(first.Finished);
  EXPECT_EQ(first.ExitCode, 0) << first.Err;
  EXPECT_NE(first.Out.find("2 new message(s)"), std::string::npos);

  std::string expected = before;
  expected.replace(expected.find("UIDL=u1"), 7, "UIDL=u3");
  EXPECT_EQ(ReadBytes(Settings()), expected);

  const CheckResult second = RunCheck({"--settings", SettingsArgument(), "--ack"});
  ASSERT_TRUE(second.Finished);
  EXPECT_EQ(second.ExitCode, 1) << second.Err;
  EXPECT_EQ(second.Out, "0 Work: 0 new message(s), 3 message(s) in mailbox - no Error\n");
  // Nothing new: nothing to acknowledge, so the file stays as the first run left it.
  EXPECT_EQ(ReadBytes(Settings()), expected);
  EXPECT_EQ(server.Sessions().size(), 2u);
}

TEST_F(CliCheck, JsonStaysValidWhateverTheHeadersHold) {
  const std::string subject = "\"quoted\" back\\slash \x01\x1b[31m\ttab caf\xE9 \xFF end";
  const std::string from = "line\nbreak <x@example.org>";
  const std::string priority = std::string("1\0z", 3);
  ScriptedPop3Server server([&](int) {
    return Pop3Script()
        .LoginThroughUidl("alice", "secret", {"a\"b"})
        .Expect("TOP 1 0")
        .Send(TopReply({"From: " + from, "To: \xC3\xBC@example.org", "Subject: " + subject,
                        "X-Priority: " + priority, "Date: today"}))
        .Quit();
  });
  WriteSettings({Mailbox(0, "Work \"home\"", server.Port())});

  const CheckResult result = RunCheck({"--settings", SettingsArgument(), "--json"});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_TRUE(IsValidUtf8(result.Out));

  // Python's reader: the document parses, and the subject comes back as the server's bytes
  // read as Windows-1252 (they are not UTF-8). A bare LF ends the From line; the tab is
  // white space, which becomes one blank.
  const CheckResult python = RunPython(
      "import json,sys\n"
      "d=json.load(sys.stdin)\n"
      "h=d['mailboxes'][0]['headers'][0]\n"
      "assert h['subject']=='\"quoted\" back\\\\slash \\x01\\x1b[31m tab caf\\u00e9 \\u00ff end'"
      ", ascii(h['subject'])\n"
      "assert h['from']=='line', ascii(h['from'])\n"
      "assert h['priority']=='1\\x00z', ascii(h['priority'])\n"
      "assert h['to']=='\\u00fc@example.org', ascii(h['to'])\n"
      "print(d['newTotal'], d['mailboxes'][0]['name'], d['mailboxes'][0]['newestUidl'])\n",
      result.Out);
  ASSERT_TRUE(python.Finished) << "python3 is needed";
  EXPECT_EQ(python.ExitCode, 0) << python.Err << "\n" << result.Out;
  EXPECT_EQ(python.Out, "1 Work \"home\" a\"b\n");

  // Qt's strict reader agrees.
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  const QJsonObject mailbox = document.object()["mailboxes"].toArray()[0].toObject();
  EXPECT_EQ(mailbox["index"].toInt(-1), 0);
  EXPECT_TRUE(mailbox["enabled"].toBool());
  EXPECT_EQ(mailbox["newCount"].toInt(), 1);
  EXPECT_EQ(mailbox["messageCount"].toInt(), 1);
  EXPECT_EQ(mailbox["status"].toString(), QStringLiteral("no Error"));
  EXPECT_FALSE(mailbox["error"].toBool(true));
  const QJsonObject header = mailbox["headers"].toArray()[0].toObject();
  EXPECT_EQ(header["subject"].toString().toStdString(),
            "\"quoted\" back\\slash \x01\x1b[31m tab caf\xC3\xA9 \xC3\xBF end");
  EXPECT_EQ(header["date"].toString(), QStringLiteral("today"));
}

// Another client holds a mailbox: the run says it was not checked and counts it as failed,
// beside a healthy mailbox with and without new mail.
TEST_F(CliCheck, LockedMailboxIsNotCheckedAndCountsAsFailed) {
  struct Row {
    const char* Name;
    Pop3Script (*Locked)();
  };
  const Row rows[] = {
      {"locked at PASS",
       [] {
         return Pop3Script()
             .Send("+OK POP3 ready\r\n")
             .Expect("USER alice")
             .Send("+OK\r\n")
             .Expect("PASS secret")
             .Send("-ERR [IN-USE] Mailbox in use\r\n");
       }},
      {"locked at USER",
       [] {
         return Pop3Script()
             .Send("+OK POP3 ready\r\n")
             .Expect("USER alice")
             .Send("-ERR maildrop lock busy\r\n");
       }},
  };
  const std::string inUse = "Mailbox in use by another program";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ScriptedPop3Server healthy(
        [](int connection) { return connection == 0 ? NothingNewScript() : NewMailScript(); });
    ScriptedPop3Server locked([&](int) { return row.Locked(); });
    WriteSettings({Mailbox(0, "Work", healthy.Port(), "u3"), Mailbox(1, "Home", locked.Port())});

    const CheckResult text = RunCheck({"--settings", SettingsArgument()});
    ASSERT_TRUE(text.Finished) << text.Err;
    EXPECT_EQ(text.ExitCode, 2) << text.Out;
    EXPECT_EQ(text.Out,
              "0 Work: 0 new message(s), 3 message(s) in mailbox - no Error\n"
              "1 Home: not checked - " +
                  inUse + "\n");

    // The healthy mailbox's new mail decides the status; the locked one still says why.
    WriteSettings({Mailbox(0, "Work", healthy.Port(), "u1"), Mailbox(1, "Home", locked.Port())});
    const CheckResult json = RunCheck({"--settings", SettingsArgument(), "--json"});
    ASSERT_TRUE(json.Finished) << json.Err;
    EXPECT_EQ(json.ExitCode, 0) << json.Out;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.Out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.Out;
    const QJsonArray boxes = document.object()["mailboxes"].toArray();
    ASSERT_EQ(boxes.size(), 2);
    const QJsonObject work = boxes[0].toObject();
    EXPECT_TRUE(work["checked"].toBool(false));
    EXPECT_FALSE(work["error"].toBool(true));
    EXPECT_EQ(work["newCount"].toInt(), 2);
    const QJsonObject home = boxes[1].toObject();
    EXPECT_FALSE(home["checked"].toBool(true));
    EXPECT_TRUE(home["error"].toBool(false));
    EXPECT_EQ(home["status"].toString().toStdString(), inUse);
    EXPECT_EQ(document.object()["newTotal"].toInt(), 2);
    EXPECT_TRUE(locked.Problems().empty()) << locked.Problems().front();
  }
}

TEST_F(CliCheck, TheDeadlineEndsARunAgainstASilentServer) {
  ScriptedPop3Server silent([](int) { return Pop3Script().Hold(); });
  ScriptedPop3Server later([](int) { return NothingNewScript(); });
  WriteSettings({Mailbox(0, "Silent", silent.Port()), Mailbox(1, "Later", later.Port())});

  const CheckResult result = RunCheck(
      {"--settings", SettingsArgument(), "--timeout", "2", "--json"}, EnglishEnvironment(), 30000);
  ASSERT_TRUE(result.Finished) << "the run did not end on its own";
  EXPECT_EQ(result.ExitCode, 2);
  EXPECT_GE(result.Milliseconds, 1900);
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << result.Out;
  const QJsonArray mailboxes = document.object()["mailboxes"].toArray();
  ASSERT_EQ(mailboxes.size(), 2);
  // The silent one had no answer in time; the later one was never reached.
  EXPECT_EQ(mailboxes[0].toObject()["status"].toString().toStdString(),
            OwnString(900, OwnText::NoAnswerInTimeLimit));
  EXPECT_EQ(mailboxes[1].toObject()["status"].toString().toStdString(),
            OwnString(900, OwnText::NotReachedInTimeLimit));
  for (const QJsonValue& mailbox : mailboxes) EXPECT_TRUE(mailbox.toObject()["error"].toBool());
  EXPECT_EQ(silent.Sessions().size(), 1u);
  // The cycle never got past the silent server.
  EXPECT_TRUE(later.Sessions().empty());
}

// A server that accepts and then says nothing fails its own mailbox after the reply time-out
// (shortened for the test); the next mailbox is checked in the same run.
TEST_F(CliCheck, ASilentServerFailsItsMailboxAndTheNextIsChecked) {
  constexpr int kReplyMs = 1500;
  ScriptedPop3Server silent([](int) { return Pop3Script().Hold(); });
  ScriptedPop3Server later([](int) { return NewMailScript(); });
  WriteSettings({Mailbox(0, "Silent", silent.Port()), Mailbox(1, "Later", later.Port(), "u1")});
  QProcessEnvironment environment = EnglishEnvironment();
  environment.insert("POSTVANE_REPLY_TIMEOUT_MS", QString::number(kReplyMs));

  const CheckResult result = RunCheck({"--settings", SettingsArgument(), "--json"}, environment);
  ASSERT_TRUE(result.Finished) << "the run did not end on its own";
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_GE(result.Milliseconds, kReplyMs);
  // The time-out, plus a generous second for start-up and the healthy mailbox.
  EXPECT_LT(result.Milliseconds, kReplyMs + 1000 + 4000);
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << result.Out;
  const QJsonArray mailboxes = document.object()["mailboxes"].toArray();
  ASSERT_EQ(mailboxes.size(), 2);
  EXPECT_EQ(mailboxes[0].toObject()["status"].toString().toStdString(),
            OwnString(900, OwnText::NoAnswerFromServer));
  EXPECT_TRUE(mailboxes[0].toObject()["error"].toBool());
  EXPECT_EQ(mailboxes[1].toObject()["newCount"].toInt(), 2);
  EXPECT_FALSE(mailboxes[1].toObject()["error"].toBool());
  EXPECT_EQ(later.Sessions().size(), 1u);
}

// A process the system may not dump has the files of its /proc entry owned by root whoever runs
// it: run the check as another user and look while it waits on a silent server.
TEST_F(CliCheck, TheRunningCheckCannotBeDumped) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the check as another user";
  ScriptedPop3Server silent([](int) { return Pop3Script().Hold(); });
  WriteSettings({Mailbox(0, "Silent", silent.Port())});
  std::filesystem::permissions(folder_.Path(), std::filesystem::perms::owner_all |
                                                   std::filesystem::perms::others_exec |
                                                   std::filesystem::perms::others_read);
  QProcess process;
  process.setProcessEnvironment(EnglishEnvironment());
  process.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", CheckProgram(),
                            "--settings", SettingsArgument(), "--timeout", "30"});
  ASSERT_TRUE(process.waitForStarted(10000));
  ASSERT_TRUE(WaitUntil([&] { return !silent.Sessions().empty(); }, 20000))
      << process.readAllStandardError().toStdString();
  struct stat info {};
  ASSERT_EQ(::stat(("/proc/" + std::to_string(process.processId()) + "/status").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u) << "a dumpable process of uid 65534 owns its /proc entry";
  process.kill();
  process.waitForFinished(10000);
}

TEST_F(CliCheck, OnlyTheChosenMailboxesAreChecked) {
  ScriptedPop3Server first([](int) { return NothingNewScript(); });
  ScriptedPop3Server second([](int) { return NewMailScript(); });
  WriteSettings({Mailbox(0, "First", first.Port()), Mailbox(1, "Second", second.Port(), "u1")});
  const CheckResult result = RunCheck({"--settings", SettingsArgument(), "--mailbox", "1"});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_EQ(result.Out.rfind("1 Second: 2 new message(s)", 0), 0u) << result.Out;
  EXPECT_EQ(result.Out.find("First"), std::string::npos);
  EXPECT_TRUE(first.Sessions().empty());
  EXPECT_EQ(second.Sessions().size(), 1u);
}

TEST_F(CliCheck, QuietPrintsNothingButKeepsTheStatus) {
  ScriptedPop3Server server([](int) { return NewMailScript(); });
  WriteSettings({Mailbox(0, "Work", server.Port(), "u1")});
  const CheckResult result = RunCheck({"--settings", SettingsArgument(), "--quiet"});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0);
  EXPECT_EQ(result.Out, "");
}

TEST_F(CliCheck, ReceiveLogGoesBesideTheSettingsFile) {
  ScriptedPop3Server server([](int) { return NothingNewScript(); });
  WriteSettings({Mailbox(0, "Work", server.Port(), "u3")}, true);
  const CheckResult result = RunCheck({"--settings", SettingsArgument()});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 1);
  const std::string log = ReadBytes(folder_.File("receive.log"));
  EXPECT_NE(log.find(",\"USER alice\"\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",\"PASS xxxxx\"\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("secret"), std::string::npos);
}

TEST_F(CliCheck, DefaultSettingsFileIsBesideTheProgram) {
  ScriptedPop3Server server([](int) { return NothingNewScript(); });
  const std::filesystem::path program = folder_.Path() / "postvane-check";
  std::filesystem::copy_file(CheckProgram().toStdString(), program);
  WriteSettings({Mailbox(4, "Beside", server.Port(), "u3")});
  const CheckResult result = RunProgram(QString::fromStdString(program.string()), {});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 1) << result.Err;
  EXPECT_EQ(result.Out, "4 Beside: 0 new message(s), 3 message(s) in mailbox - no Error\n");
}

TEST_F(CliCheck, MissingSettingsFileIsSaidAndNothingIsChecked) {
  const CheckResult result = RunCheck({"--settings", SettingsArgument()});
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_EQ(result.Out, "");
  EXPECT_NE(result.Err.find("no settings file"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Settings()));
}

struct UsageCase {
  const char* Name;
  std::vector<const char*> Arguments;
};

class CliUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, GivesSixtyFourAndOneLine) {
  QStringList arguments;
  for (const char* argument : GetParam().Arguments) arguments << QString::fromUtf8(argument);
  const CheckResult result = RunCheck(arguments);
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 64);
  EXPECT_EQ(result.Out, "");
  ASSERT_FALSE(result.Err.empty());
  EXPECT_EQ(result.Err.find('\n'), result.Err.size() - 1) << result.Err;
  EXPECT_EQ(result.Err.rfind("postvane-check: ", 0), 0u) << result.Err;
}

const UsageCase kUsageCases[] = {
    {"UnknownOption", {"--bogus"}},      {"MissingValue", {"--settings"}},
    {"BadMailbox", {"--mailbox", "10"}}, {"MailboxNotANumber", {"--mailbox", "x"}},
    {"ZeroTimeout", {"--timeout", "0"}}, {"StrayArgument", {"now"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CliUsage, testing::ValuesIn(kUsageCases),
                         [](const testing::TestParamInfo<UsageCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST(CliInfo, VersionAndHelp) {
  const CheckResult version = RunCheck({"--version"});
  ASSERT_TRUE(version.Finished);
  EXPECT_EQ(version.ExitCode, 0);
  // The version, then the settings file a run would use.
  const std::string number = std::to_string(POSTVANE_VERSION_MAJOR) + "." +
                             std::to_string(POSTVANE_VERSION_MINOR) + "." +
                             std::to_string(POSTVANE_VERSION_PATCH);
  EXPECT_EQ(version.Out.rfind("postvane-check " + number + "\n", 0), 0u);
  EXPECT_NE(version.Out.find("Postvane.ini"), std::string::npos);

  const CheckResult help = RunCheck({"--help"});
  ASSERT_TRUE(help.Finished);
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_EQ(help.Out.rfind("Usage: postvane-check [--settings FILE]", 0), 0u);
}

// Secure mailboxes: the same settings keys as the tray program; the command never asks.

TEST_F(CliCheck, RefusedCertificateFailsWithItsDetailsAndTrustingItByHandWorks) {
  static const TestCertificates certificates;
  if (!certificates.Ready()) GTEST_SKIP() << certificates.Failure();
  const TlsServerSide side{certificates.SelfSigned().Certificate, certificates.SelfSigned().Key};
  ScriptedPop3Server server([&side](int connection) {
    Pop3Script script = Pop3Script().StartTls(side);
    // The first run refuses the certificate; the second trusts it.
    if (connection == 0) return script.Hold();
    return script.Send("+OK POP3 ready\r\n")
        .Expect("CAPA")
        .Send("-ERR\r\n")
        .LoginAfterGreeting("alice", "secret", kUids)
        .Quit();
  });
  ASSERT_NE(server.Port(), 0);
  MailboxSettings box = Mailbox(0, "Own", server.Port(), "u3");
  box.Extra = "Security=1\r\n";
  WriteSettings({box});

  const CheckResult refused = RunCheck({"--settings", SettingsArgument(), "--json"});
  ASSERT_TRUE(refused.Finished) << refused.Err;
  EXPECT_EQ(refused.ExitCode, 2) << refused.Out;
  const QJsonObject mailbox =
      QJsonDocument::fromJson(QByteArray::fromStdString(refused.Out))["mailboxes"][0].toObject();
  EXPECT_EQ(mailbox["security"].toString(), "tls");
  EXPECT_TRUE(mailbox["error"].toBool());
  const QJsonObject certificate = mailbox["certificate"].toObject();
  EXPECT_EQ(NormalizeFingerprint(certificate["sha256"].toString().toStdString()),
            NormalizeFingerprint(certificates.SelfSigned().Fingerprint));
  EXPECT_TRUE(certificate["subject"].toString().contains("localhost"));
  EXPECT_FALSE(certificate["validUntil"].toString().isEmpty());

  // The fingerprint as the openssl tool prints it, written into the file by hand.
  box.Extra += "CertFingerprint=" + certificates.SelfSigned().Fingerprint + "\r\n";
  WriteSettings({box});
  const CheckResult trusted = RunCheck({"--settings", SettingsArgument()});
  ASSERT_TRUE(trusted.Finished) << trusted.Err;
  EXPECT_EQ(trusted.ExitCode, 1) << trusted.Out;
  EXPECT_EQ(trusted.Out, "0 Own: 0 new message(s), 3 message(s) in mailbox - no Error\n");
  for (const ScriptedPop3Server::Session& session : server.Sessions()) {
    EXPECT_EQ(session.ReceivedInClear.find("PASS"), std::string::npos);
  }
  EXPECT_TRUE(server.Problems().empty());
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
