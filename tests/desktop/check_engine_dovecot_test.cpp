// Whole check cycles through the engine and the Qt socket against a private Dovecot POP3
// server: new mail and its headers, acknowledgement, a wrong password, a locked maildrop and
// the receive log of a real dialogue.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "fakes/temp_folder.h"
#include "settings/program_paths.h"
#include "settings/std_file_system.h"
#include "support/dovecot_fixture.h"
#include "support/pop3_raw_client.h"
#include "support/qt_check_rig.h"
#include "support/qt_test_main.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using namespace std::chrono_literals;
using test::DovecotFixture;
using test::DovecotOptions;
using test::Pop3RawClient;
using test::QtCheckRig;
using test::QtCheckRigOptions;

struct Seed {
  std::string From;
  std::string To;
  std::string Subject;
  std::string Date;
  std::string Priority;
};

Seed SeedFor(int message) {
  const std::string n = std::to_string(message);
  return {"Sender " + n + " <sender" + n + "@example.org>", "Alice <alice@example.org>",
          "Report number " + n, "Tue, " + n + " Dec 2026 09:15:00 +0100",
          std::to_string(1 + message % 5) + " (Priority " + n + ")"};
}

// Header lines in a mixed order and letter case, a body that mentions header names.
std::string Message(int message) {
  const Seed s = SeedFor(message);
  return "Return-Path: <sender" + std::to_string(message) +
         "@example.org>\n"
         "Message-ID: <" +
         std::to_string(message) +
         "@example.org>\n"
         "DATE: " +
         s.Date + "\nfrom: " + s.From + "\nTo: " + s.To + "\nSubject:   " + s.Subject +
         "  \nX-Priority: " + s.Priority +
         "\nMIME-Version: 1.0\nContent-Type: text/plain\n\n"
         "Body of message " +
         std::to_string(message) + ".\nFrom: not a header\n";
}

void ExpectHeadersOf(const MailboxRecord& box, int element, int message) {
  SCOPED_TRACE("element " + std::to_string(element) + ", message " + std::to_string(message));
  ASSERT_LT(static_cast<std::size_t>(element), box.Headers.size());
  const MessageHeader& h = box.Headers[static_cast<std::size_t>(element)];
  const Seed s = SeedFor(message);
  EXPECT_EQ(h.From, s.From);
  EXPECT_EQ(h.To, s.To);
  EXPECT_EQ(h.Subject, s.Subject);
  EXPECT_EQ(h.Date, s.Date);
  EXPECT_EQ(h.Priority, s.Priority);
}

// The unique-id Dovecot gives a message, asked over a plain session.
std::string UidOf(const DovecotFixture& dovecot, int message) {
  Pop3RawClient client;
  if (!client.Connect(dovecot.Port()) || !client.ReadLine().starts_with("+OK")) return {};
  client.Command("USER " + dovecot.Options().User);
  client.Command("PASS " + dovecot.Options().Password);
  std::string reply = client.Command("UIDL " + std::to_string(message));
  client.Command("QUIT");
  // "+OK n uid" CR LF
  const std::size_t blank = reply.rfind(' ');
  if (!reply.starts_with("+OK") || blank == std::string::npos) return {};
  return reply.substr(blank + 1, reply.size() - blank - 3);
}

class CheckEngineDovecotTest : public testing::Test {
 protected:
  void StartDovecot(DovecotOptions options = {}) {
    dovecot_ = std::make_unique<DovecotFixture>(std::move(options));
    ASSERT_TRUE(dovecot_->Running()) << dovecot_->Failure();
  }

  void Deliver(int first, int last) {
    for (int m = first; m <= last; ++m) {
      ASSERT_TRUE(dovecot_->Deliver(Message(m))) << "message " << m;
    }
  }

  std::unique_ptr<DovecotFixture> dovecot_;
};

TEST_F(CheckEngineDovecotTest, FirstCheckFindsEveryMessageNewAndFetchesTheirHeaders) {
  StartDovecot();
  Deliver(1, 3);
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, dovecot_->Port());
  ASSERT_TRUE(rig.RunCycle()) << dovecot_->ServerLog();
  EXPECT_EQ(box.StatusText, "") << rig.Log();
  EXPECT_EQ(box.State, MailboxState::QuitSent);
  EXPECT_EQ(box.MessageCount, 3);
  EXPECT_EQ(box.NewCount, 3);
  // Dovecot has no LAST.
  EXPECT_EQ(box.LastAccessed, -1);
  EXPECT_EQ(box.NewestUidl, UidOf(*dovecot_, 3));
  EXPECT_FALSE(box.NewestUidl.empty());
  ASSERT_EQ(box.Headers.size(), 4u) << rig.Log();
  EXPECT_EQ(rig.Hooks.Calls, (std::vector<std::string>{"RefreshTray", "NotifyNewMail"}));
  ExpectHeadersOf(box, 1, 3);
  ExpectHeadersOf(box, 2, 2);
  ExpectHeadersOf(box, 3, 1);
}

TEST_F(CheckEngineDovecotTest, AfterAcknowledgingTwoMoreDeliveriesAreExactlyTwoNew) {
  StartDovecot();
  Deliver(1, 3);
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, dovecot_->Port());
  ASSERT_TRUE(rig.RunCycle()) << dovecot_->ServerLog();
  ASSERT_EQ(box.NewCount, 3) << rig.Log();

  // What a click on the tray does.
  box.UIDL = box.NewestUidl;
  box.NewCount = 0;
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.NewCount, 0);
  EXPECT_EQ(box.MessageCount, 3);

  Deliver(4, 5);
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "") << rig.Log();
  EXPECT_EQ(box.MessageCount, 5);
  EXPECT_EQ(box.NewCount, 2);
  EXPECT_EQ(box.NewestUidl, UidOf(*dovecot_, 5));
  ASSERT_EQ(box.Headers.size(), 3u);
  ExpectHeadersOf(box, 1, 5);
  ExpectHeadersOf(box, 2, 4);
}

TEST_F(CheckEngineDovecotTest, WrongPasswordSaysSo) {
  StartDovecot();
  Deliver(1, 1);
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, dovecot_->Port(), "alice", "not-the-password");
  ASSERT_TRUE(rig.RunCycle()) << dovecot_->ServerLog();
  EXPECT_EQ(box.StatusText, "Password is wrong!");
  EXPECT_EQ(box.State, MailboxState::Idle);
  EXPECT_EQ(box.MessageCount, 0);
  EXPECT_NE(rig.Log().find("4,#"), std::string::npos);
  EXPECT_NE(rig.Log().find("-ERR [AUTH]"), std::string::npos) << rig.Log();
  EXPECT_EQ(rig.Log().find("not-the-password"), std::string::npos);
}

TEST_F(CheckEngineDovecotTest, MaildropLockedByAnotherSessionKeepsTheCountsAndSaysWhy) {
  DovecotOptions options;
  options.LockSession = true;
  StartDovecot(options);
  Deliver(1, 2);
  Pop3RawClient holder;
  ASSERT_TRUE(holder.Connect(dovecot_->Port()));
  ASSERT_TRUE(holder.ReadLine().starts_with("+OK"));
  ASSERT_TRUE(holder.Command("USER alice").starts_with("+OK"));
  ASSERT_TRUE(holder.Command("PASS secret").starts_with("+OK"));

  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, dovecot_->Port());
  box.StatusText = "earlier outcome";
  // Dovecot waits about ten seconds for the other session before it answers PASS.
  ASSERT_TRUE(rig.RunCycle(40s)) << dovecot_->ServerLog();
  EXPECT_EQ(box.StatusText, OwnString(900, OwnText::MailboxInUse));
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Reason, NotCheckedReason::MaildropLocked);
  EXPECT_EQ(box.State, MailboxState::Idle);
  EXPECT_EQ(box.MessageCount, 0);
  const std::string log = rig.Log();
  EXPECT_NE(log.find("4,#"), std::string::npos);
  EXPECT_NE(log.find("[IN-USE]"), std::string::npos) << log;

  // Once the other session is gone the mailbox is checked as usual.
  EXPECT_TRUE(holder.Command("QUIT").starts_with("+OK"));
  holder.Close();
  ASSERT_TRUE(rig.RunCycle(40s));
  EXPECT_EQ(box.StatusText, "") << rig.Log();
  EXPECT_EQ(box.NewCount, 2);
}

struct LogRecord {
  int State = -1;
  std::string When;
  std::string Text;
};

// Records are "state,#when#,"text"" CR LF; the text may hold line breaks of its own, so a
// record ends only where CR LF is followed by the next record's start or the end.
std::vector<LogRecord> ParseLog(const std::string& log) {
  static const std::regex start(R"(^(\d+),(#[^#]*#),")");
  std::vector<LogRecord> records;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::smatch match;
    const std::string rest = log.substr(pos);
    if (!std::regex_search(rest, match, start)) {
      ADD_FAILURE() << "no record starts at " << pos << ": " << rest.substr(0, 80);
      break;
    }
    LogRecord record;
    record.State = std::stoi(match[1]);
    record.When = match[2];
    const std::size_t textStart = pos + static_cast<std::size_t>(match.length(0));
    std::size_t end = textStart;
    for (;;) {
      end = log.find("\"\r\n", end);
      if (end == std::string::npos) {
        ADD_FAILURE() << "unterminated record at " << pos;
        return records;
      }
      const std::size_t next = end + 3;
      std::smatch following;
      const std::string after = log.substr(next, 40);
      if (next == log.size() || std::regex_search(after, following, start)) break;
      end += 1;
    }
    record.Text = log.substr(textStart, end - textStart);
    records.push_back(record);
    pos = end + 3;
  }
  return records;
}

TEST_F(CheckEngineDovecotTest, ReceiveLogTracesTheWholeDialogueInOrder) {
  StartDovecot();
  Deliver(1, 1);
  TempFolder folder;
  ASSERT_FALSE(folder.Path().empty());
  StdFileSystem disk;
  QtCheckRigOptions options;
  options.Files = &disk;
  QtCheckRig rig(options);
  rig.State.Paths = MakeProgramPaths(folder.Path().string());
  MailboxRecord& box = rig.Enable(0, dovecot_->Port());
  ASSERT_TRUE(rig.RunCycle()) << dovecot_->ServerLog();
  ASSERT_EQ(box.StatusText, "");

  std::string log;
  ASSERT_TRUE(disk.ReadFile(rig.State.Paths.ReceiveLog, log));
  EXPECT_EQ(log.find("secret"), std::string::npos);
  const std::vector<LogRecord> records = ParseLog(log);
  ASSERT_GE(records.size(), 15u) << log;

  static const std::regex when(R"(#\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})?#)");
  for (const LogRecord& record : records) EXPECT_TRUE(std::regex_match(record.When, when));

  // One record per block: the listing and the TOP reply may come in several, so runs of
  // state 7 and of state 8 records count once.
  std::vector<int> states;
  for (const LogRecord& record : records) {
    const bool collecting = record.State == 7 || record.State == 8;
    if (!collecting || states.empty() || states.back() != record.State) {
      states.push_back(record.State);
    }
  }
  EXPECT_EQ(states, (std::vector<int>{2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 8, 9, 9}));
  std::string listing;
  std::string top;

  ASSERT_GE(records.size(), 10u);
  EXPECT_EQ(records[0].Text, "+OK Dovecot (Debian) ready.\r\n");
  EXPECT_EQ(records[1].Text, "USER alice");
  EXPECT_TRUE(records[2].Text.starts_with("+OK")) << records[2].Text;
  EXPECT_EQ(records[3].Text, "PASS xxxxx");
  EXPECT_TRUE(records[4].Text.starts_with("+OK Logged in.")) << records[4].Text;
  EXPECT_EQ(records[5].Text, "STAT");
  EXPECT_TRUE(records[6].Text.starts_with("+OK 1 ")) << records[6].Text;
  EXPECT_EQ(records[7].Text, "LAST");
  EXPECT_EQ(records[8].Text, "-ERR Unknown command: LAST\r\n");
  EXPECT_EQ(records[9].Text, "UIDL");

  std::size_t i = 10;
  for (; i < records.size() && records[i].State == 7; ++i) listing += records[i].Text;
  EXPECT_EQ(listing, "+OK\r\n1 " + box.NewestUidl + "\r\n.\r\n");
  ASSERT_LT(i, records.size());
  EXPECT_EQ(records[i].State, 8);
  // Dovecot refuses a blank after the 0 ("-ERR Noise after size").
  EXPECT_EQ(records[i].Text, "TOP 1 0");
  for (++i; i < records.size() && records[i].State == 8; ++i) top += records[i].Text;
  ASSERT_EQ(records.size(), i + 2);
  EXPECT_EQ(records[i].State, 9);
  EXPECT_EQ(records[i].Text, "QUIT");
  EXPECT_EQ(records[i + 1].State, 9);
  EXPECT_TRUE(records[i + 1].Text.starts_with("+OK Logging out")) << records[i + 1].Text;
  EXPECT_TRUE(top.starts_with("+OK")) << top;
  EXPECT_TRUE(top.ends_with("\r\n\r\n.\r\n")) << top;
  EXPECT_NE(top.find("Subject:   Report number 1"), std::string::npos) << top;
  EXPECT_EQ(top.find("Body of message"), std::string::npos);
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
