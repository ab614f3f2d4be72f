// IMAP against scripted servers over real sockets: replies cut into small packets, a literal
// far beyond the bound, untagged responses between tagged ones, and through postvane-check a
// silent server (reply time-out, the next mailbox checked), JSON and the acknowledgement.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <string>
#include <vector>

#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "settings/ini_file.h"
#include "support/qt_check_rig.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"
#include "text/own_text.h"

namespace postvane::test {
namespace {

using namespace std::chrono_literals;

std::string Header(int n) {
  return "From: Sender " + std::to_string(n) + " <s" + std::to_string(n) +
         "@example.org>\r\nSubject: Note " + std::to_string(n) + "\r\n\r\n";
}

std::string FetchReply(int message, int uid) {
  const std::string header = Header(uid);
  return "* " + std::to_string(message) + " FETCH (UID " + std::to_string(uid) +
         " BODY[HEADER.FIELDS (FROM TO SUBJECT X-PRIORITY DATE)] {" +
         std::to_string(header.size()) + "}\r\n" + header + ")\r\n";
}

const char* kFetchLine =
    "a4 UID FETCH 2:3 (UID BODY.PEEK[HEADER.FIELDS (FROM TO SUBJECT X-PRIORITY DATE)])";

// Greeting to the SEARCH reply: three messages, 2 and 3 unseen, UIDVALIDITY 42.
Pop3Script UpToSearch(Pop3Script script = {}) {
  return script.Send("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n")
      .Expect("a1 LOGIN \"alice\" \"secret\"")
      .Send("a1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n")
      .Expect("a2 EXAMINE \"INBOX\"")
      .Send("* 3 EXISTS\r\n* 0 RECENT\r\n* OK [UIDVALIDITY 42] x\r\na2 OK [READ-ONLY] done\r\n")
      .Expect("a3 UID SEARCH UNSEEN")
      .Send("* SEARCH 2 3\r\na3 OK done\r\n");
}

Pop3Script GoodImapScript() {
  std::string fetch = FetchReply(2, 2) + FetchReply(3, 3) + "a4 OK done\r\n";
  return UpToSearch()
      .Expect(kFetchLine)
      .Send(fetch)
      .Expect("a5 LOGOUT")
      .Send("* BYE bye\r\na5 OK out\r\n");
}

MailboxRecord& Imap(QtCheckRig& rig, int index, uint16_t port) {
  MailboxRecord& box = rig.Enable(index, port);
  box.Protocol = 1;
  return box;
}

TEST(ImapScriptedTest, RepliesCutIntoPacketsAnywhereReadTheSame) {
  const std::string fetch =
      FetchReply(2, 2) + "* 2 FETCH (FLAGS ())\r\n" + FetchReply(3, 3) + "a4 OK done\r\n";
  for (const std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{50}}) {
    SCOPED_TRACE(step);
    std::vector<std::size_t> cuts;
    for (std::size_t at = step; at < fetch.size(); at += step) cuts.push_back(at);
    ScriptedPop3Server server([&](int) {
      return UpToSearch()
          .Expect(kFetchLine)
          .SendSplit(fetch, cuts, 0ms)
          .Expect("a5 LOGOUT")
          .Send("a5 OK out\r\n");
    });
    QtCheckRig rig;
    MailboxRecord& box = Imap(rig, 0, server.Port());
    ASSERT_TRUE(rig.RunCycle()) << rig.Log();
    EXPECT_EQ(box.StatusText, "") << rig.Log();
    EXPECT_EQ(box.NewCount, 2);
    ASSERT_EQ(box.Headers.size(), 3u);
    EXPECT_EQ(box.Headers[1].Subject, "Note 3");
    EXPECT_EQ(box.Headers[2].From, "Sender 2 <s2@example.org>");
    server.Stop();
    EXPECT_TRUE(server.Problems().empty());
  }
}

// A literal announced far beyond the header bound: the counts stand, the connection is given up
// at once, and the next mailbox is checked.
TEST(ImapScriptedTest, AHugeLiteralEndsTheFetchButNotTheCount) {
  ScriptedPop3Server flood([](int) {
    return UpToSearch()
        .Expect(kFetchLine)
        .Send("* 2 FETCH (UID 2 BODY[HEADER.FIELDS (FROM)] {900000000}\r\n" +
              std::string(64 * 1024, 'x'))
        .Hold();
  });
  ScriptedPop3Server good([](int) { return GoodImapScript(); });
  QtCheckRig rig;
  MailboxRecord& first = Imap(rig, 0, flood.Port());
  MailboxRecord& second = Imap(rig, 1, good.Port());
  ASSERT_TRUE(rig.RunCycle(10s)) << rig.Log();
  EXPECT_EQ(first.StatusText, "");
  EXPECT_EQ(first.NewCount, 2);
  EXPECT_EQ(second.NewCount, 2);
  EXPECT_EQ(second.Headers.at(1).Subject, "Note 3");
}

// Untagged responses of every kind between the tagged ones, and a tagged reply to a command
// that is not ours, change nothing.
TEST(ImapScriptedTest, UntaggedResponsesBetweenTaggedOnesAreHarmless) {
  ScriptedPop3Server server([](int) {
    return Pop3Script()
        .Send("* OK ready\r\n")
        .Expect("a1 CAPABILITY")
        .Send(
            "* OK [ALERT] Maintenance at 22:00\r\n* CAPABILITY IMAP4rev1\r\n* 9 EXISTS\r\n"
            "a1 OK done\r\n")
        .Expect("a2 LOGIN \"alice\" \"secret\"")
        .Send("* 1 EXPUNGE\r\nb7 OK not yours\r\n+ noise\r\na2 OK in\r\n")
        .Expect("a3 EXAMINE \"INBOX\"")
        .Send(
            "* FLAGS (\\Seen)\r\n* 1 EXISTS\r\n* OK [UIDVALIDITY 3] x\r\n"
            "* 1 FETCH (FLAGS ())\r\na3 OK done\r\n")
        .Expect("a4 UID SEARCH UNSEEN")
        .Send("* 2 EXISTS\r\n* SEARCH\r\na4 OK done\r\n")
        .Expect("a5 LOGOUT")
        .Send("a5 OK out\r\n");
  });
  QtCheckRig rig;
  MailboxRecord& box = Imap(rig, 0, server.Port());
  ASSERT_TRUE(rig.RunCycle()) << rig.Log();
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.NewCount, 0);
  EXPECT_EQ(box.ServerAlert, "Maintenance at 22:00");
  server.Stop();
  EXPECT_TRUE(server.Problems().empty());
}

// postvane-check: a server that stops answering after the login fails its own mailbox after
// the (shortened) reply time-out, the next IMAP mailbox is counted, the JSON names the
// protocol, and --ack saves that mailbox's point and nothing else.
TEST(ImapScriptedTest, PostvaneCheckGoesOnPastASilentServerAndAcknowledges) {
  constexpr int kReplyMs = 1500;
  ScriptedPop3Server silent([](int) {
    return Pop3Script()
        .Send("* OK [CAPABILITY IMAP4rev1] ready\r\n")
        .Expect("a1 LOGIN \"alice\" \"secret\"")
        .Hold();
  });
  ScriptedPop3Server good([](int) { return GoodImapScript(); });
  TempFolder folder;
  const std::string settings = folder.File("Postvane.ini");
  WriteBytes(
      settings,
      SettingsText({{0, "Silent", silent.Port(), "alice", "secret", true, "", "Protocol=1\r\n"},
                    {1, "Work", good.Port(), "alice", "secret", true, "u9",
                     "Protocol=1\r\nImapUidValidity=41\r\nImapLastUid=7\r\n"}}));
  QProcessEnvironment environment = EnglishEnvironment();
  environment.insert("POSTVANE_REPLY_TIMEOUT_MS", QString::number(kReplyMs));
  const CheckResult result =
      RunCheck({"--settings", QString::fromStdString(settings), "--json", "--ack"}, environment);
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_GE(result.Milliseconds, kReplyMs);
  const QJsonArray mailboxes =
      QJsonDocument::fromJson(QByteArray::fromStdString(result.Out))["mailboxes"].toArray();
  ASSERT_EQ(mailboxes.size(), 2) << result.Out;
  EXPECT_EQ(mailboxes[0].toObject()["status"].toString().toStdString(),
            OwnString(900, OwnText::NoAnswerFromServer));
  EXPECT_EQ(mailboxes[1].toObject()["newCount"].toInt(), 2);
  for (const auto& mailbox : mailboxes) {
    EXPECT_EQ(mailbox.toObject()["protocol"].toString(), "imap");
  }
  const IniFile saved(ReadBytes(settings));
  EXPECT_EQ(saved.Read("MailBox1", "ImapUidValidity"), "42");
  EXPECT_EQ(saved.Read("MailBox1", "ImapLastUid"), "3");
  EXPECT_EQ(saved.Read("MailBox1", "UIDL"), "u9") << "the POP3 position stays";
  EXPECT_EQ(saved.Read("MailBox0", "ImapLastUid"), std::nullopt);
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
