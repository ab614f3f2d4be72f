// The command-line check's run over fakes: selection, end of cycle, deadline, connect
// requests that fail at once, acknowledgement, and a settings file that stays untouched.
#include "app/check_run.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/check_finish.h"
#include "app/check_options.h"
#include "app/check_report.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "settings/program_paths.h"
#include "settings/settings_store.h"
#include "text/own_text.h"

namespace postvane {
namespace {

struct MailboxLines {
  int Index;
  std::string Name;
  bool Enabled;
  std::string Uidl;
};

std::string SettingsText(const std::vector<MailboxLines>& boxes, bool receiveLog = false) {
  std::string text = "; kept as it is\r\n";
  for (const MailboxLines& box : boxes) {
    const std::string i = std::to_string(box.Index);
    text += "[MailBox" + i + "]\r\n";
    text += "Name=" + box.Name + "\r\n";
    text += "User=user" + i + "\r\n";
    text += "Password=" + TransformPassword("secret" + i) + "\r\n";
    text += "RemoteHost=pop" + i + ".test\r\n";
    text += "RemotePort=" + std::to_string(110 + box.Index) + "\r\n";
    text += std::string("Enabled=") + (box.Enabled ? "1" : "0") + "\r\n";
    text += "LastMail=0\r\n";
    if (!box.Uidl.empty()) text += "UIDL=" + box.Uidl + "\r\n";
  }
  text += "[General]\r\nInterval=5\r\n";
  if (receiveLog) text += "ReceiveLog=1\r\n";
  return text;
}

std::string Listing(int count) {
  std::string text = "+OK\r\n";
  for (int n = 1; n <= count; ++n) text += std::to_string(n) + " u" + std::to_string(n) + "\r\n";
  return text + ".\r\n";
}

struct CheckRunRig {
  ProgramState State;
  FakeSocket Socket;
  FakeTimer Timeout{kConnectTimeoutMs};
  FakeTimer TimerQuit{kQuitWaitMs};
  FakeTimer Deadline{60000};
  FakeClock Clock;
  FakeFileSystem Files;
  SettingsStore Settings{Files, "pv/Postvane.ini", "pv/NewMail.wav"};
  CheckRun Run{State, Socket, Timeout, TimerQuit, Deadline, Clock, Files, Settings};
  int FinishedCalls = 0;

  explicit CheckRunRig(const std::string& settings) {
    State.Paths = MakeProgramPaths("pv");
    Files.Files["pv/Postvane.ini"] = settings;
    Run.SetFinishedHandler([this] { ++FinishedCalls; });
  }

  const MailboxRecord& Box(int index) const {
    return State.Mailboxes[static_cast<std::size_t>(index)];
  }

  // Answers the current mailbox's dialogue through UIDL with `messages` messages u1..uN.
  void AnswerThroughUidl(int messages, const std::string& pass = "+OK\r\n") {
    Socket.RaiseConnect();
    Socket.Receive("+OK ready\r\n");
    Socket.Receive("+OK\r\n");
    Socket.Receive(pass);
    if (pass.rfind("+OK", 0) != 0) return;
    Socket.Receive("+OK " + std::to_string(messages) + " 100\r\n");
    Socket.Receive("-ERR Unknown command: LAST\r\n");
    Socket.Receive(Listing(messages));
  }

  void AnswerTop(const std::string& from, const std::string& subject) {
    Socket.Receive("+OK\r\nFrom: " + from + "\r\nSubject: " + subject +
                   "\r\nDate: Mon\r\n\r\n.\r\n");
  }

  CheckReport Report() const { return MakeCheckReport(State, Run.Listed(), Run.Results()); }
};

TEST(CheckRun, NewMailIsFoundListedAndEndsTheRun) {
  CheckRunRig rig(SettingsText({{0, "Work", true, "u2"}}));
  rig.Run.Start({}, 900);
  EXPECT_TRUE(rig.Deadline.Running);
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop0.test");
  EXPECT_EQ(rig.Socket.Connects[0].RemotePort, 110);

  rig.AnswerThroughUidl(4);
  EXPECT_EQ(rig.Socket.LastLine(), "TOP 3 0");
  rig.AnswerTop("Alice", "First");
  EXPECT_EQ(rig.Socket.LastLine(), "TOP 4 0");
  rig.AnswerTop("Bob", "Second");
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
  EXPECT_FALSE(rig.Run.Finished());
  rig.Socket.Receive("+OK bye\r\n");

  EXPECT_TRUE(rig.Run.Finished());
  EXPECT_FALSE(rig.Run.EndedByDeadline());
  EXPECT_EQ(rig.FinishedCalls, 1);
  EXPECT_FALSE(rig.Deadline.Running);
  EXPECT_EQ(rig.Run.Listed(), std::vector<int16_t>{0});

  const CheckReport report = rig.Report();
  EXPECT_EQ(CheckExitStatus(report), kExitNewMail);
  ASSERT_EQ(report.Mailboxes.size(), 1u);
  EXPECT_EQ(report.Mailboxes[0].NewCount, 2);
  EXPECT_EQ(report.Mailboxes[0].MessageCount, 4);
  EXPECT_EQ(report.Mailboxes[0].NewestUidl, "u4");
  ASSERT_EQ(report.Mailboxes[0].Headers.size(), 2u);
  EXPECT_EQ(report.Mailboxes[0].Headers[0].From, "Bob");
  EXPECT_EQ(report.Mailboxes[0].Headers[1].From, "Alice");
}

TEST(CheckRun, NothingNewGivesExitOne) {
  CheckRunRig rig(SettingsText({{0, "Work", true, "u3"}}));
  rig.Run.Start({}, 900);
  rig.AnswerThroughUidl(3);
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
  rig.Socket.Receive("+OK\r\n");
  ASSERT_TRUE(rig.Run.Finished());
  EXPECT_EQ(CheckExitStatus(rig.Report()), kExitNoNewMail);
}

TEST(CheckRun, WrongPasswordInTheUsersLanguage) {
  CheckRunRig rig(SettingsText({{0, "Work", true, ""}}));
  rig.Run.Start({}, 700);
  rig.AnswerThroughUidl(0, "-ERR [AUTH] Authentication failed.\r\n");
  ASSERT_TRUE(rig.Run.Finished());
  const CheckReport report = rig.Report();
  EXPECT_EQ(report.Mailboxes[0].StatusText, "Kennwort ist falsch!");
  EXPECT_EQ(CheckExitStatus(report), kExitFailed);
}

TEST(CheckRun, OnlyTheChosenMailboxesAreChecked) {
  CheckRunRig rig(SettingsText(
      {{0, "A", true, ""}, {1, "B", true, ""}, {2, "C", true, ""}, {4, "E", false, ""}}));
  const std::string before = rig.Files.Content("pv/Postvane.ini");
  rig.Run.Start({1, 4}, 900);
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop1.test");
  rig.AnswerThroughUidl(0);
  rig.Socket.Receive("+OK\r\n");
  ASSERT_TRUE(rig.Run.Finished());
  EXPECT_EQ(rig.Socket.Connects.size(), 1u);

  // Mailbox 4 is listed as asked for, but it is switched off in the settings.
  EXPECT_EQ(rig.Run.Listed(), (std::vector<int16_t>{1, 4}));
  const CheckReport report = rig.Report();
  ASSERT_EQ(report.Mailboxes.size(), 2u);
  EXPECT_TRUE(report.Mailboxes[0].Enabled);
  EXPECT_FALSE(report.Mailboxes[1].Enabled);
  // Switching mailboxes off for the run never reaches the file.
  EXPECT_EQ(rig.Files.Content("pv/Postvane.ini"), before);
  EXPECT_EQ(rig.Files.ReplaceCount + rig.Files.WriteCount, 0);
}

TEST(CheckRun, WithoutChoiceTheEnabledMailboxesAreChecked) {
  CheckRunRig rig(SettingsText({{0, "A", false, ""}, {3, "D", true, ""}, {7, "H", true, ""}}));
  rig.Run.Start({}, 900);
  EXPECT_EQ(rig.Run.Listed(), (std::vector<int16_t>{3, 7}));
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop3.test");
}

TEST(CheckRun, NoMailboxEndsAtOnce) {
  CheckRunRig rig("");
  rig.Run.Start({}, 900);
  EXPECT_TRUE(rig.Run.Finished());
  EXPECT_EQ(rig.FinishedCalls, 1);
  EXPECT_TRUE(rig.Run.Listed().empty());
  EXPECT_TRUE(rig.Socket.Connects.empty());
  EXPECT_EQ(CheckExitStatus(rig.Report()), kExitNoNewMail);
  EXPECT_FALSE(rig.Deadline.Running);
}

TEST(CheckRun, DeadlineFailsTheUnfinishedMailboxesAndStopsListening) {
  CheckRunRig rig(SettingsText(
      {{0, "A", true, ""}, {1, "B", true, ""}, {2, "C", false, ""}, {5, "F", true, ""}}));
  rig.Run.Start({}, 900);
  rig.AnswerThroughUidl(0);
  rig.Socket.Receive("+OK\r\n");
  // Mailbox 1 connects and then says nothing.
  ASSERT_EQ(rig.Socket.Connects.size(), 2u);
  rig.Socket.RaiseConnect();
  EXPECT_FALSE(rig.Run.Finished());

  ASSERT_TRUE(rig.Deadline.Fire());
  EXPECT_TRUE(rig.Run.Finished());
  EXPECT_TRUE(rig.Run.EndedByDeadline());
  EXPECT_EQ(rig.FinishedCalls, 1);
  EXPECT_FALSE(rig.Deadline.Running);
  EXPECT_FALSE(rig.Timeout.Running);
  EXPECT_FALSE(rig.TimerQuit.Running);
  EXPECT_FALSE(rig.Socket.Open);

  EXPECT_EQ(rig.Box(0).StatusText, "");
  EXPECT_EQ(rig.Box(1).StatusText, OwnString(900, OwnText::NoAnswerInTimeLimit));
  EXPECT_EQ(rig.Box(1).State, MailboxState::Idle);
  EXPECT_EQ(rig.Box(2).StatusText, "");
  // Never reached is not the same as no answer.
  EXPECT_EQ(rig.Box(5).StatusText, OwnString(900, OwnText::NotReachedInTimeLimit));
  EXPECT_EQ(CheckExitStatus(rig.Report()), kExitFailed);

  // A late greeting is not answered, and nothing more ends the run a second time.
  const std::size_t sent = rig.Socket.Sent.size();
  rig.Socket.Receive("+OK late\r\n");
  rig.Socket.RaiseError(10054, "reset");
  rig.Timeout.Running = true;
  rig.Timeout.Fire();
  EXPECT_EQ(rig.Socket.Sent.size(), sent);
  EXPECT_EQ(rig.Socket.Connects.size(), 2u);
  EXPECT_EQ(rig.Box(1).StatusText, OwnString(900, OwnText::NoAnswerInTimeLimit));
  EXPECT_EQ(rig.FinishedCalls, 1);
}

TEST(CheckRun, DeadlineDuringTheHeaderFetchKeepsWhatWasLearned) {
  CheckRunRig rig(SettingsText({{0, "A", true, "u1"}}));
  rig.Run.Start({}, 900);
  rig.AnswerThroughUidl(3);
  rig.AnswerTop("Old", "x");
  ASSERT_TRUE(rig.Deadline.Fire());
  const CheckReport report = rig.Report();
  EXPECT_EQ(report.Mailboxes[0].StatusText, OwnString(900, OwnText::NoAnswerInTimeLimit));
  EXPECT_EQ(report.Mailboxes[0].NewCount, 2);
  EXPECT_EQ(CheckExitStatus(report), kExitNewMail);
}

TEST(CheckRun, ConnectRequestsThatFailAtOnceMoveOn) {
  CheckRunRig rig(SettingsText({{0, "A", true, ""}, {1, "B", true, ""}}, true));
  rig.Socket.ConnectErrorAlways = {10013, "Permission denied"};
  rig.Run.Start({}, 900);
  EXPECT_TRUE(rig.Run.Finished());
  EXPECT_FALSE(rig.Run.EndedByDeadline());
  EXPECT_EQ(rig.Socket.Connects.size(), 2u);
  EXPECT_EQ(rig.Box(0).StatusText, "Permission denied");
  EXPECT_EQ(rig.Box(1).StatusText, "Permission denied");
  EXPECT_EQ(CheckExitStatus(rig.Report()), kExitFailed);
  // Logged like an error the socket reports later.
  EXPECT_EQ(rig.Files.Content(rig.State.Paths.ReceiveLog),
            "0,#2024-03-05 08:15:00#,\"Permission denied\"\r\n"
            "0,#2024-03-05 08:15:00#,\"Permission denied\"\r\n");
}

TEST(CheckRun, AFailedRetryAfterAnErrorEventMovesOnToo) {
  CheckRunRig rig(SettingsText({{0, "A", true, ""}, {1, "B", true, ""}}));
  rig.Run.Start({}, 900);
  // Address in use: the engine tries the next local port, and that request fails at once.
  rig.Socket.ConnectErrors = {{10049, "Cannot assign requested address"}};
  rig.Socket.RaiseError(kSocketAddressInUse, "in use");
  EXPECT_EQ(rig.Box(0).StatusText, "Cannot assign requested address");
  ASSERT_EQ(rig.Socket.Connects.size(), 3u);
  EXPECT_EQ(rig.Socket.Connects[2].RemoteHost, "pop1.test");
  EXPECT_FALSE(rig.Run.Finished());
}

TEST(CheckRun, AckTakesOverTheNewestUidlAndWritesOnlyThatKey) {
  CheckRunRig rig(SettingsText({{0, "A", true, "u1"}, {1, "B", true, "u2"}}));
  const std::string before = rig.Files.Content("pv/Postvane.ini");
  rig.Run.Start({}, 900);
  rig.AnswerThroughUidl(2);
  rig.AnswerTop("x", "y");
  rig.Socket.Receive("+OK\r\n");
  rig.AnswerThroughUidl(2);
  rig.Socket.Receive("+OK\r\n");
  ASSERT_TRUE(rig.Run.Finished());
  EXPECT_EQ(rig.Files.ReplaceCount + rig.Files.WriteCount, 0);

  EXPECT_TRUE(rig.Run.AcknowledgeNewMail());
  EXPECT_EQ(rig.Box(0).UIDL, "u2");
  EXPECT_EQ(rig.Box(0).NewCount, 0);
  // Mailbox 1 had nothing new, so its section was not written.
  EXPECT_EQ(rig.Files.ReplaceCount + rig.Files.WriteCount, 1);
  std::string expected = before;
  expected.replace(expected.find("UIDL=u1"), 7, "UIDL=u2");
  EXPECT_EQ(rig.Files.Content("pv/Postvane.ini"), expected);
}

TEST(CheckRun, AckWithoutANewestUidlKeepsTheStoredOne) {
  CheckRunRig rig(SettingsText({{0, "A", true, "kept"}}));
  const std::string before = rig.Files.Content("pv/Postvane.ini");
  rig.Run.Start({}, 900);
  rig.Socket.RaiseConnect();
  rig.Socket.Receive("+OK\r\n");
  rig.Socket.Receive("+OK\r\n");
  rig.Socket.Receive("+OK\r\n");
  rig.Socket.Receive("+OK 2 100\r\n");
  rig.Socket.Receive("+OK 0\r\n");
  rig.Socket.Receive("-ERR no UIDL\r\n");  // counts rest on STAT alone
  rig.AnswerTop("a", "b");
  rig.AnswerTop("c", "d");
  rig.Socket.Receive("+OK\r\n");
  ASSERT_TRUE(rig.Run.Finished());
  ASSERT_EQ(rig.Box(0).NewCount, 2);
  EXPECT_EQ(rig.Box(0).NewestUidl, "");

  EXPECT_TRUE(rig.Run.AcknowledgeNewMail());
  EXPECT_EQ(rig.Box(0).UIDL, "kept");
  EXPECT_EQ(rig.Box(0).NewCount, 0);
  EXPECT_EQ(rig.Files.Content("pv/Postvane.ini"), before);
}

TEST(CheckRun, AckReportsASaveThatFailed) {
  CheckRunRig rig(SettingsText({{0, "A", true, ""}}));
  rig.Run.Start({}, 900);
  rig.AnswerThroughUidl(1);
  rig.AnswerTop("x", "y");
  rig.Socket.Receive("+OK\r\n");
  rig.Files.FailWrites = true;
  EXPECT_FALSE(rig.Run.AcknowledgeNewMail());
}

// Someone else holds the settings lock for the whole run: each attempt to take it would wait
// for it, so a run tries at most once, acknowledging or not.
TEST(CheckRun, HeldLockIsWaitedForOncePerRun) {
  for (const bool ack : {false, true}) {
    SCOPED_TRACE(ack ? "--ack" : "no --ack");
    CheckRunRig rig(SettingsText({{0, "A", true, "u1"}, {1, "B", true, "u1"}}));
    rig.Files.FailLocks = true;
    CheckOptions options;
    options.Ack = ack;
    TidySettingsFile(rig.Settings, options);
    rig.Run.Start({}, 900);
    for (int box = 0; box < 2; ++box) {
      rig.AnswerThroughUidl(2);
      rig.AnswerTop("x", "y");
      rig.Socket.Receive("+OK\r\n");
    }
    ASSERT_TRUE(rig.Run.Finished());
    ASSERT_EQ(rig.Box(0).NewCount, 1);
    ASSERT_EQ(rig.Box(1).NewCount, 1);
    std::ostringstream out;
    std::ostringstream err;
    const int status = FinishCheck(rig.Run, rig.State, options, 900, out, err);
    EXPECT_EQ(rig.Files.LockAttempts, 1);
    EXPECT_EQ(status == kExitNotSaved, ack);
    EXPECT_EQ(err.str().empty(), !ack) << err.str();
  }
}

TEST(CheckRun, ReceiveLogFollowsTheSettingsFile) {
  CheckRunRig rig(SettingsText({{0, "A", true, ""}}, true));
  rig.Run.Start({}, 900);
  rig.AnswerThroughUidl(0);
  rig.Socket.Receive("+OK\r\n");
  const std::string log = rig.Files.Content(rig.State.Paths.ReceiveLog);
  EXPECT_NE(log.find("4,#2024-03-05 08:15:00#,\"PASS xxxxx\"\r\n"), std::string::npos);
  EXPECT_EQ(log.find("secret0"), std::string::npos);

  CheckRunRig quiet(SettingsText({{0, "A", true, ""}}, false));
  quiet.Run.Start({}, 900);
  quiet.AnswerThroughUidl(0);
  quiet.Socket.Receive("+OK\r\n");
  EXPECT_FALSE(quiet.Files.Exists(quiet.State.Paths.ReceiveLog));
}

TEST(CheckRun, AStrayDeadlineBeforeTheStartDoesNothing) {
  CheckRunRig rig(SettingsText({{0, "A", true, ""}}));
  rig.Run.OnDeadline();
  EXPECT_FALSE(rig.Run.Finished());
  EXPECT_EQ(rig.FinishedCalls, 0);
}

}  // namespace
}  // namespace postvane
