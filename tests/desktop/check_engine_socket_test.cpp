// Whole check cycles through the engine and the Qt socket against a scripted POP3 server on
// 127.0.0.1: replies in pieces, stalls, drops, refusals, a taken local port, connects that
// never complete and a server that never answers QUIT.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <chrono>
#include <string>
#include <vector>

#include "check/new_mail_rules.h"
#include "support/loopback_sockets.h"
#include "support/qt_check_rig.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using namespace std::chrono_literals;
using test::Pop3Script;
using test::QtCheckRig;
using test::QtCheckRigOptions;
using test::ScriptedPop3Server;

const std::vector<std::string> kUids = {"uid-a", "uid-b", "uid-c"};

std::vector<std::string> HeaderLines(int message) {
  const std::string n = std::to_string(message);
  return {"Return-Path: <sender" + n + "@example.org>",
          "From: Sender " + n + " <sender" + n + "@example.org>",
          "To: Alice <alice@example.org>",
          "Subject: Message number " + n,
          "Date: Mon, 7 Dec 2026 08:0" + n + ":00 +0000",
          "X-Priority: " + n + " (Test)",
          "Message-ID: <" + n + "@example.org>"};
}

std::string Top(int message) { return test::TopReply(HeaderLines(message)); }

std::string TopLine(int message) { return "TOP " + std::to_string(message) + " 0"; }

// Login, listing, the TOPs of messages first..last, QUIT.
Pop3Script FullScript(int first = 1, int last = 3) {
  Pop3Script script;
  script.LoginThroughUidl("alice", "secret", kUids);
  for (int m = first; m <= last; ++m) script.Expect(TopLine(m)).Send(Top(m));
  return script.Quit();
}

void ExpectHeadersOf(const MailboxRecord& box, int element, int message) {
  SCOPED_TRACE("element " + std::to_string(element));
  ASSERT_LT(static_cast<std::size_t>(element), box.Headers.size());
  const MessageHeader& h = box.Headers[static_cast<std::size_t>(element)];
  const std::string n = std::to_string(message);
  EXPECT_EQ(h.From, "Sender " + n + " <sender" + n + "@example.org>");
  EXPECT_EQ(h.To, "Alice <alice@example.org>");
  EXPECT_EQ(h.Subject, "Message number " + n);
  EXPECT_EQ(h.Priority, n + " (Test)");
  EXPECT_EQ(h.Date, "Mon, 7 Dec 2026 08:0" + n + ":00 +0000");
}

// Forgets what earlier checks found, as at program start.
void Forget(MailboxRecord& box) {
  box.UIDL.clear();
  box.NewestUidl.clear();
  box.MessageCount = 0;
  box.NewCount = 0;
  box.LastAccessed = 0;
  box.StatusText = "earlier outcome";
  box.Headers.assign(1, MessageHeader{});
}

void ExpectNoProblems(ScriptedPop3Server& server) {
  for (const std::string& problem : server.Problems()) ADD_FAILURE() << problem;
}

// The first cycles of a test may come from 20000 or, when a parallel test holds that port,
// from one of the next ones.
constexpr uint16_t kFirstLocalPortU = 20000;
constexpr uint16_t kLocalPortSlack = 200;

TEST(CheckEngineSocketTest, CompleteCheckFetchesTheNewHeadersNewestFirst) {
  ScriptedPop3Server server([](int) { return FullScript(); });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  Forget(box);
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.State, MailboxState::QuitSent);
  EXPECT_EQ(box.MessageCount, 3);
  EXPECT_EQ(box.NewCount, 3);
  EXPECT_EQ(box.LastAccessed, 0);
  EXPECT_EQ(box.NewestUidl, "uid-c");
  ASSERT_EQ(box.Headers.size(), 4u);
  ExpectHeadersOf(box, 1, 3);
  ExpectHeadersOf(box, 2, 2);
  ExpectHeadersOf(box, 3, 1);
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_EQ(rig.Hooks.Calls, (std::vector<std::string>{"RefreshTray", "NotifyNewMail"}));
  server.Stop();
  ExpectNoProblems(server);
  const auto sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].Received,
            (std::vector<std::string>{"USER alice", "PASS secret", "STAT", "LAST", "UIDL",
                                      "TOP 1 0", "TOP 2 0", "TOP 3 0", "QUIT"}));
  EXPECT_GE(sessions[0].PeerPort, kFirstLocalPortU);
  EXPECT_LT(sessions[0].PeerPort, kFirstLocalPortU + kLocalPortSlack);
}

TEST(CheckEngineSocketTest, TwoMailboxesOnOneServerAreCheckedOneAfterTheOther) {
  ScriptedPop3Server server([](int connection) {
    Pop3Script script;
    script.Send("+OK ready\r\n")
        .Expect(connection == 0 ? "USER alice" : "USER bob")
        .Send("+OK\r\n")
        .Expect(connection == 0 ? "PASS secret" : "PASS hidden")
        .Send("+OK\r\n")
        .Expect("STAT")
        .Send("+OK 3 3000\r\n")
        .Expect("LAST")
        .Send("+OK 0\r\n")
        .Expect("UIDL")
        .Send(test::UidlListing(kUids));
    if (connection == 1) script.Expect(TopLine(3)).Send(Top(3));
    return script.Quit();
  });
  QtCheckRig rig;
  MailboxRecord& first = rig.Enable(4, server.Port(), "alice", "secret");
  MailboxRecord& second = rig.Enable(6, server.Port(), "bob", "hidden");
  Forget(first);
  Forget(second);
  first.UIDL = "uid-c";
  second.UIDL = "uid-b";
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(first.StatusText, "");
  EXPECT_EQ(first.NewCount, 0);
  EXPECT_EQ(second.StatusText, "");
  EXPECT_EQ(second.NewCount, 1);
  ExpectHeadersOf(second, 1, 3);
  server.Stop();
  ExpectNoProblems(server);
  const auto sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), 2u);
  // The first connection may still be winding down: then the second takes the next port.
  EXPECT_GE(sessions[1].PeerPort, kFirstLocalPortU);
}

TEST(CheckEngineSocketTest, GreetingSplitAtEveryByteIsDecidedByItsFirstPiece) {
  const std::string greeting = "+OK POP3 ready\r\n";
  ScriptedPop3Server server([&](int connection) {
    const std::size_t cut = static_cast<std::size_t>(connection) + 1;
    // The second piece goes only once the client has answered the first (or hung up), so
    // each piece is a block of its own.
    return Pop3Script()
        .Send(greeting.substr(0, cut))
        .Expect("USER alice")
        .Send(greeting.substr(cut))
        .Expect("PASS secret");
  });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  for (std::size_t cut = 1; cut < greeting.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Forget(box);
    ASSERT_TRUE(rig.RunCycle());
    EXPECT_EQ(box.State, MailboxState::Idle);
    // The first piece is the whole greeting; a rest that is no "+OK" rejects the user.
    EXPECT_EQ(box.StatusText, cut < 3 ? "Mailserver not ready!" : "Username unknown!");
  }
  server.Stop();
  ExpectNoProblems(server);
  const auto sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), greeting.size() - 1);
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    EXPECT_EQ(sessions[i].Received.size(), i + 1 < 3 ? 0u : 1u) << "cut at " << i + 1;
    EXPECT_TRUE(sessions[i].ClientClosed);
  }
}

TEST(CheckEngineSocketTest, StatReplySplitAtEveryByteIsDecidedByItsFirstPiece) {
  const std::string stat = "+OK 3 3000\r\n";
  auto countOf = [](const std::string& piece) {
    MailboxRecord scratch;
    UpdateNewCountFromStat(scratch, piece);
    return static_cast<int>(scratch.MessageCount);
  };
  ScriptedPop3Server server([&](int connection) {
    const std::size_t cut = static_cast<std::size_t>(connection) + 1;
    Pop3Script script;
    script.Send("+OK ready\r\n")
        .Expect("USER alice")
        .Send("+OK\r\n")
        .Expect("PASS secret")
        .Send("+OK\r\n")
        .Expect("STAT")
        .Send(stat.substr(0, cut))
        // The rest of the STAT reply is what the client takes as the reply to LAST.
        .Expect("LAST")
        .Send(stat.substr(cut))
        .Expect("UIDL")
        .Send(test::UidlListing(kUids));
    for (int m = 1; m <= countOf(stat.substr(0, cut)); ++m) script.Expect(TopLine(m)).Send(Top(m));
    return script.Quit();
  });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  for (std::size_t cut = 1; cut < stat.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Forget(box);
    ASSERT_TRUE(rig.RunCycle());
    if (cut < 3) {
      EXPECT_EQ(box.StatusText, "Mailserver don't know STAT command!");
      EXPECT_EQ(box.State, MailboxState::Idle);
      continue;
    }
    const int count = countOf(stat.substr(0, cut));
    EXPECT_EQ(box.StatusText, "");
    EXPECT_EQ(box.State, MailboxState::QuitSent);
    EXPECT_EQ(box.LastAccessed, -1);
    EXPECT_EQ(box.MessageCount, count);
    EXPECT_EQ(box.NewCount, count);
    if (count == 3) ExpectHeadersOf(box, 1, 3);
  }
  server.Stop();
  ExpectNoProblems(server);
}

TEST(CheckEngineSocketTest, UidlListingInPiecesGivesTheSameResultForEverySplit) {
  const std::string listing = test::UidlListing(kUids);
  // Connection i < size - 1 cuts at i + 1; the last one comes byte by byte.
  ScriptedPop3Server server([&](int connection) {
    const std::size_t cut = static_cast<std::size_t>(connection) + 1;
    Pop3Script script;
    script.LoginUntilUidl("alice", "secret", "+OK 3 3000\r\n", "-ERR Unknown command: LAST\r\n");
    if (cut < listing.size()) {
      script.SendSplit(listing, {cut});
    } else {
      script.SendBytewise(listing);
    }
    return script.Expect(TopLine(3)).Send(Top(3)).Quit();
  });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  for (std::size_t cut = 1; cut <= listing.size(); ++cut) {
    SCOPED_TRACE(cut < listing.size() ? "cut at " + std::to_string(cut) : "byte by byte");
    Forget(box);
    box.UIDL = "uid-b";
    ASSERT_TRUE(rig.RunCycle());
    EXPECT_EQ(box.StatusText, "");
    EXPECT_EQ(box.State, MailboxState::QuitSent);
    EXPECT_EQ(box.LastAccessed, -1);
    EXPECT_EQ(box.NewCount, 1);
    EXPECT_EQ(box.NewestUidl, "uid-c");
    ASSERT_EQ(box.Headers.size(), 2u);
    ExpectHeadersOf(box, 1, 3);
  }
  server.Stop();
  ExpectNoProblems(server);
  EXPECT_EQ(server.Sessions().size(), listing.size());
}

TEST(CheckEngineSocketTest, TopReplyInPiecesGivesTheSameHeadersForEverySplit) {
  const std::string top = Top(3);
  ScriptedPop3Server server([&](int connection) {
    const std::size_t cut = static_cast<std::size_t>(connection) + 1;
    Pop3Script script;
    script.LoginThroughUidl("alice", "secret", kUids).Expect(TopLine(3));
    if (cut < top.size()) {
      script.SendSplit(top, {cut}, 1ms);
    } else {
      script.SendBytewise(top, 0ms);
    }
    return script.Quit();
  });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  for (std::size_t cut = 1; cut <= top.size(); ++cut) {
    SCOPED_TRACE(cut < top.size() ? "cut at " + std::to_string(cut) : "byte by byte");
    Forget(box);
    box.UIDL = "uid-b";
    ASSERT_TRUE(rig.RunCycle());
    EXPECT_EQ(box.StatusText, "");
    EXPECT_EQ(box.State, MailboxState::QuitSent);
    ASSERT_EQ(box.Headers.size(), 2u);
    ExpectHeadersOf(box, 1, 3);
  }
  server.Stop();
  ExpectNoProblems(server);
}

TEST(CheckEngineSocketTest, StallsInsideRepliesChangeNothing) {
  const std::string listing = test::UidlListing(kUids);
  const std::string top = Top(2);
  ScriptedPop3Server server([&](int) {
    return Pop3Script()
        .Stall(150ms)
        .Send("+OK ready\r\n")
        .Expect("USER alice")
        .Send("+OK\r\n")
        .Expect("PASS secret")
        .Stall(150ms)
        .Send("+OK\r\n")
        .Expect("STAT")
        .Send("+OK 3 3000\r\n")
        .Expect("LAST")
        .Send("+OK 1\r\n")
        .Expect("UIDL")
        .SendSplit(listing, {7, 12}, 150ms)
        .Expect(TopLine(2))
        .SendSplit(top, {top.size() / 2}, 200ms)
        .Expect(TopLine(3))
        .Send(Top(3))
        .Quit();
  });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  Forget(box);
  box.UIDL = "uid-a";
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.LastAccessed, 1);
  EXPECT_EQ(box.NewCount, 2);
  ASSERT_EQ(box.Headers.size(), 3u);
  ExpectHeadersOf(box, 1, 3);
  ExpectHeadersOf(box, 2, 2);
  server.Stop();
  ExpectNoProblems(server);
}

TEST(CheckEngineSocketTest, SilentServerHoldsTheCycleUntilTheNextStart) {
  ScriptedPop3Server server([](int connection) {
    if (connection == 0) return Pop3Script().Hold();
    return FullScript(3, 3);
  });
  QtCheckRigOptions options;
  options.TimeoutMs = 200;
  QtCheckRig rig(options);
  MailboxRecord& box = rig.Enable(0, server.Port());
  Forget(box);
  box.UIDL = "uid-b";
  rig.Engine.StartCycle();
  ASSERT_TRUE(rig.SpinUntil([&] { return box.State == MailboxState::Connected; }, 10s));
  // Connected and waiting for a greeting that never comes: no time-out applies any more, not
  // even one that would have run out twice over.
  ASSERT_TRUE(rig.SpinPast(2 * std::chrono::milliseconds(options.TimeoutMs)));
  EXPECT_EQ(box.State, MailboxState::Connected);
  EXPECT_EQ(rig.CyclesEnded(), 0);
  EXPECT_TRUE(rig.Engine.DialogueRunning());
  // The next start abandons the silent connection and checks again.
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.NewCount, 1);
  ExpectHeadersOf(box, 1, 3);
  server.Stop();
  ExpectNoProblems(server);
  const auto sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_TRUE(sessions[0].ClientClosed);
  EXPECT_TRUE(sessions[0].Received.empty());
}

TEST(CheckEngineSocketTest, ServerDroppingMidListingEndsThatMailboxAndTheCycleGoesOn) {
  const std::string listing = test::UidlListing(kUids);
  for (const bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset" : "close");
    ScriptedPop3Server server([&](int connection) {
      if (connection == 1) return FullScript();
      Pop3Script script;
      script.LoginUntilUidl("alice", "secret", "+OK 3 3000\r\n").Send(listing.substr(0, 14));
      return reset ? script.Reset() : script.Drop();
    });
    QtCheckRig rig;
    MailboxRecord& dropped = rig.Enable(2, server.Port());
    MailboxRecord& next = rig.Enable(5, server.Port());
    Forget(dropped);
    Forget(next);
    ASSERT_TRUE(rig.RunCycle());
    EXPECT_EQ(dropped.StatusText, OwnString(900, OwnText::ConnectionClosedByServer));
    EXPECT_EQ(dropped.State, MailboxState::Idle);
    EXPECT_EQ(next.StatusText, "");
    EXPECT_EQ(next.State, MailboxState::QuitSent);
    EXPECT_EQ(next.NewCount, 3);
    // The log shows the dialogue up to the partial listing, then the close with state 0.
    const std::string log = rig.Log();
    const std::size_t partial = log.find("7,#");
    const std::size_t closed = log.find("\r\n0,#");
    ASSERT_NE(partial, std::string::npos);
    ASSERT_NE(closed, std::string::npos);
    EXPECT_LT(partial, closed);
    EXPECT_NE(log.find(OwnString(900, OwnText::ConnectionClosedByServer) + "\"\r\n", closed),
              std::string::npos);
    EXPECT_EQ(rig.Hooks.Calls,
              (std::vector<std::string>{"RefreshTray", "RefreshTray", "NotifyNewMail"}));
    server.Stop();
    ExpectNoProblems(server);
  }
}

TEST(CheckEngineSocketTest, ServerClosingInsteadOfAnsweringQuitEndsTheWaitAtOnce) {
  ScriptedPop3Server server([](int) {
    return Pop3Script().LoginThroughUidl("alice", "secret", kUids).Expect("QUIT").Drop();
  });
  // A quit wait far longer than the watchdog: only the close can end this cycle in time.
  QtCheckRigOptions options;
  options.QuitWaitMs = 600000;
  QtCheckRig rig(options);
  MailboxRecord& box = rig.Enable(0, server.Port());
  Forget(box);
  box.UIDL = "uid-c";
  ASSERT_TRUE(rig.RunCycle(10s));
  EXPECT_EQ(box.State, MailboxState::QuitSent);
  EXPECT_EQ(box.StatusText, "earlier outcome");
  EXPECT_EQ(box.NewCount, 0);
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  server.Stop();
  ExpectNoProblems(server);
}

TEST(CheckEngineSocketTest, QuitUnansweredForOneSecondClosesAndMovesOn) {
  ScriptedPop3Server server([](int) {
    return Pop3Script().LoginThroughUidl("alice", "secret", kUids).Expect("QUIT").Hold();
  });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  Forget(box);
  box.UIDL = "uid-c";
  QElapsedTimer elapsed;
  elapsed.start();
  ASSERT_TRUE(rig.RunCycle(10s));
  // The real 1000 ms quit timer ended the wait, not anything the server did.
  EXPECT_GE(elapsed.elapsed(), 900);
  EXPECT_EQ(box.State, MailboxState::QuitSent);
  EXPECT_EQ(box.StatusText, "earlier outcome");
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  ASSERT_TRUE(rig.SpinUntil(
      [&] { return !server.Sessions().empty() && server.Sessions()[0].ClientClosed; }, 5s));
  server.Stop();
  ExpectNoProblems(server);
}

TEST(CheckEngineSocketTest, RefusedConnectionShowsTheSocketTextAndIsLoggedWithStateZero) {
  test::RefusingPort refusing;
  ASSERT_NE(refusing.Port(), 0);
  ScriptedPop3Server server([](int) { return FullScript(3, 3); });
  QtCheckRig rig;
  MailboxRecord& refused = rig.Enable(1, refusing.Port());
  MailboxRecord& good = rig.Enable(3, server.Port());
  Forget(refused);
  Forget(good);
  good.UIDL = "uid-b";
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(refused.StatusText, "Connection refused");
  EXPECT_EQ(refused.State, MailboxState::Idle);
  EXPECT_EQ(good.StatusText, "");
  EXPECT_EQ(good.NewCount, 1);
  const std::string log = rig.Log();
  const std::string firstRecord = log.substr(0, log.find("\r\n"));
  EXPECT_TRUE(firstRecord.starts_with("0,#")) << log;
  EXPECT_TRUE(firstRecord.ends_with("#,\"Connection refused\"")) << log;
  EXPECT_EQ(rig.Hooks.Calls,
            (std::vector<std::string>{"RefreshTray", "RefreshTray", "NotifyNewMail"}));
  server.Stop();
  ExpectNoProblems(server);
}

TEST(CheckEngineSocketTest, TakenLocalPort20000MakesTheConnectionComeFrom20001) {
  test::PortOccupier occupier(20000);
  if (!occupier.Taken()) GTEST_SKIP() << "local port 20000 is in use by something else";
  ScriptedPop3Server server([](int) { return FullScript(3, 3); });
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  Forget(box);
  box.UIDL = "uid-b";
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.NewCount, 1);
  // The address-in-use retry leaves no trace in the log: the dialogue starts at once.
  EXPECT_TRUE(rig.Log().starts_with("2,#")) << rig.Log();
  server.Stop();
  ExpectNoProblems(server);
  const auto sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].PeerPort, 20001);
}

TEST(CheckEngineSocketTest, Port20000AlreadyConnectedToTheServerMakesTheCheckComeFrom20001) {
  // The first session is the other program's, holding 20000 (the server plays one session at
  // a time, so it hangs up on it at once; the holder keeps its end open); the check gets the
  // second.
  ScriptedPop3Server server(
      [](int session) { return session == 0 ? Pop3Script().Drop() : FullScript(3, 3); });
  test::PortHolder holder(20000, server.Port());
  if (!holder.Held()) GTEST_SKIP() << "local port 20000 is in use by something else";
  QtCheckRig rig;
  MailboxRecord& box = rig.Enable(0, server.Port());
  Forget(box);
  box.UIDL = "uid-b";
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.NewCount, 1);
  EXPECT_TRUE(rig.Log().starts_with("2,#")) << rig.Log();
  server.Stop();
  ExpectNoProblems(server);
  const auto sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(sessions[0].PeerPort, 20000);
  EXPECT_EQ(sessions[1].PeerPort, 20001);
}

TEST(CheckEngineSocketTest, ConnectThatNeverCompletesTimesOut) {
  test::FullBacklogListener silent;
  ASSERT_TRUE(silent.Full()) << "the kernel completed every connection to a full backlog";
  ScriptedPop3Server server([](int) { return FullScript(3, 3); });
  // The cycle's own 15 s time-out, shortened: the behaviour does not depend on its length.
  QtCheckRigOptions options;
  options.TimeoutMs = 300;
  QtCheckRig rig(options);
  MailboxRecord& hanging = rig.Enable(0, silent.Port());
  MailboxRecord& good = rig.Enable(1, server.Port());
  Forget(hanging);
  Forget(good);
  good.UIDL = "uid-b";
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(hanging.StatusText, "Mailserver not avaiable!");
  EXPECT_EQ(hanging.State, MailboxState::Idle);
  EXPECT_EQ(good.StatusText, "");
  EXPECT_EQ(good.NewCount, 1);
  EXPECT_FALSE(rig.Timeout.IsRunning());
  // No record for the time-out: the log begins with the good mailbox's greeting.
  EXPECT_TRUE(rig.Log().starts_with("2,#")) << rig.Log();
  server.Stop();
  ExpectNoProblems(server);
}

TEST(CheckEngineSocketTest, GarbageFromTheServerEndsInDefinedOutcomes) {
  ScriptedPop3Server server([](int connection) {
    switch (connection) {
      case 0:
        return Pop3Script().SendGarbage(5000, 7).Expect("USER alice");
      case 1:
        // Binary junk inside the listing, then its end.
        return Pop3Script()
            .LoginUntilUidl("alice", "secret", "+OK 0 0\r\n")
            .Send("+OK\r\n")
            .SendGarbage(2000, 9)
            .Send("\r\n.\r\n")
            .Expect("QUIT")
            .Send("+OK\r\n");
      default:
        // A header block far past the bound the test sets.
        return Pop3Script()
            .LoginThroughUidl("alice", "secret", kUids)
            .Expect(TopLine(3))
            .Send("+OK\r\n")
            .SendGarbage(3000, 11)
            .Send("\r\n.\r\n")
            .Expect("QUIT")
            .Send("+OK\r\n");
    }
  });
  QtCheckRig rig;
  rig.Engine.SetBufferLimits(kUidlBufferLimit, 1024);
  MailboxRecord& box = rig.Enable(0, server.Port());

  Forget(box);
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "Mailserver not ready!");

  Forget(box);
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.NewCount, 0);

  Forget(box);
  box.UIDL = "uid-b";
  ASSERT_TRUE(rig.RunCycle());
  EXPECT_EQ(box.StatusText, "");
  EXPECT_EQ(box.NewCount, 1);
  ASSERT_EQ(box.Headers.size(), 2u);
  server.Stop();
  ExpectNoProblems(server);
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
