// The POP3 dialogue: every state's replies, the collected UIDL and TOP replies, QUIT.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "check/new_mail_rules.h"
#include "fakes/check_engine_rig.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

// A reply saying another session holds the mailbox.
constexpr std::optional<StringId> kLocked;

std::string Listing(int count) {
  std::string text = "+OK " + std::to_string(count) + " messages\r\n";
  for (int n = 1; n <= count; ++n) text += std::to_string(n) + " u" + std::to_string(n) + "\r\n";
  return text + ".\r\n";
}

std::string TopReply(int n) {
  return "+OK\r\nReturn-Path: <x@test>\r\nFrom: sender" + std::to_string(n) +
         "\r\nSubject: subject" + std::to_string(n) + "\r\n\r\n.\r\n";
}

class Pop3DialogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.Enable(0);
    rig.Enable(1);
    rig.LogOn();
  }

  MailboxRecord& box0() { return rig.Box(0); }

  // Lines sent since the mailbox connected.
  Lines Sent() const { return rig.SentLines(); }

  CheckEngineRig rig;
};

TEST_F(Pop3DialogueTest, GreetingAcceptedSendsUserInOneWrite) {
  rig.StartAndConnect();
  ASSERT_EQ(box0().State, MailboxState::Connected);
  rig.Socket.Receive("+OK POP3 ready\r\n");
  EXPECT_EQ(box0().State, MailboxState::UserSent);
  ASSERT_EQ(rig.Socket.Sent.size(), 1u);
  EXPECT_EQ(rig.Socket.Sent[0], "USER user0\r\n");
}

TEST_F(Pop3DialogueTest, EmptyUserIsSentUnchanged) {
  box0().User.clear();
  rig.StartAndConnect();
  rig.Socket.Receive("+OK\r\n");
  ASSERT_EQ(rig.Socket.Sent.size(), 1u);
  EXPECT_EQ(rig.Socket.Sent[0], "USER \r\n");
}

TEST_F(Pop3DialogueTest, UserAcceptedSendsPassword) {
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::UserSent);
  rig.Socket.Receive("+OK send password\r\n");
  EXPECT_EQ(box0().State, MailboxState::PassSent);
  EXPECT_EQ(rig.Socket.Sent.back(), "PASS secret0\r\n");
}

TEST_F(Pop3DialogueTest, PassAcceptedSendsStat) {
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::PassSent);
  rig.Socket.Receive("+OK logged in\r\n");
  EXPECT_EQ(box0().State, MailboxState::StatSent);
  EXPECT_EQ(rig.Socket.Sent.back(), "STAT\r\n");
}

TEST_F(Pop3DialogueTest, StatAcceptedUpdatesCountsAndSendsLast) {
  box0().MessageCount = 5;
  box0().NewCount = 1;
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::StatSent);
  rig.Socket.Receive("+OK 7 2000\r\n");
  EXPECT_EQ(box0().State, MailboxState::LastSent);
  EXPECT_EQ(box0().MessageCount, 7);
  EXPECT_EQ(box0().NewCount, 3);
  EXPECT_EQ(rig.Socket.Sent.back(), "LAST\r\n");
}

TEST_F(Pop3DialogueTest, LastAcceptedIsReadAndUidlFollows) {
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::LastSent, 4);
  rig.Socket.Receive("+OK 3\r\n");
  EXPECT_EQ(box0().LastAccessed, 3);
  EXPECT_EQ(box0().State, MailboxState::UidlSent);
  EXPECT_EQ(rig.Socket.Sent.back(), "UIDL\r\n");
}

TEST_F(Pop3DialogueTest, LastRefusedGivesMinusOneAndUidlFollows) {
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::LastSent, 4);
  rig.Socket.Receive("-ERR unknown command\r\n");
  EXPECT_EQ(box0().LastAccessed, -1);
  EXPECT_EQ(box0().State, MailboxState::UidlSent);
  EXPECT_EQ(rig.Socket.Sent.back(), "UIDL\r\n");
}

TEST_F(Pop3DialogueTest, GreetingInTwoBlocksSecondIsTakenAsUserReply) {
  rig.StartAndConnect();
  box0().StatusText = "earlier";
  rig.Socket.Receive("+OK POP3 ");
  EXPECT_EQ(box0().State, MailboxState::UserSent);
  rig.Socket.Receive("server ready\r\n");
  EXPECT_EQ(box0().State, MailboxState::Idle);
  EXPECT_EQ(box0().StatusText, LocalString(rig.State.LanguageBase, StringId::UserNameUnknown));
  EXPECT_EQ(Sent(), (Lines{"USER user0"}));
}

// Rejections that end the check: the state reached, the reply, the StatusText that follows.
struct RejectionRow {
  const char* Name;
  MailboxState At;
  const char* Reply;
  std::optional<StringId> Text;  // the new StatusText, or kLocked
};

class Pop3RejectionTest : public Pop3DialogueTest,
                          public ::testing::WithParamInterface<RejectionRow> {};

TEST_P(Pop3RejectionTest, EndsTheCheckAndMovesOn) {
  const RejectionRow& row = GetParam();
  rig.StartAndConnect();
  rig.DriveTo(row.At);
  ASSERT_EQ(box0().State, row.At);
  box0().StatusText = "earlier outcome";
  const std::size_t sentBefore = rig.Socket.Sent.size();
  const int closesBefore = rig.Socket.CloseCount;

  rig.Socket.Receive(row.Reply);

  EXPECT_EQ(box0().State, MailboxState::Idle);
  if (!row.Text) {
    // The counts stay, but the check-result line no longer shows the earlier outcome.
    EXPECT_EQ(box0().StatusText, OwnString(rig.State.LanguageBase, OwnText::MailboxInUse));
  } else {
    EXPECT_EQ(box0().StatusText, LocalString(rig.State.LanguageBase, *row.Text));
    EXPECT_FALSE(box0().StatusText.empty());
  }
  EXPECT_EQ(rig.Socket.Sent.size(), sentBefore);
  EXPECT_EQ(rig.Socket.CloseCount, closesBefore + 1);
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray"}));
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  ASSERT_EQ(rig.Socket.Connects.size(), 2u);
  EXPECT_EQ(rig.Socket.Connects.back().RemoteHost, "pop1.test");
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Pop3RejectionTest,
    ::testing::Values(
        RejectionRow{"GreetingRefused", MailboxState::Connected, "-ERR busy\r\n",
                     StringId::MailServerNotReady},
        RejectionRow{"GreetingLowerCaseOk", MailboxState::Connected, "+ok ready\r\n",
                     StringId::MailServerNotReady},
        RejectionRow{"GreetingShort", MailboxState::Connected, "+O", StringId::MailServerNotReady},
        RejectionRow{"UserRefused", MailboxState::UserSent, "-ERR no such user\r\n",
                     StringId::UserNameUnknown},
        RejectionRow{"UserLocked", MailboxState::UserSent, "-ERR maildrop lock busy\r\n", kLocked},
        RejectionRow{"UserCapitalLock", MailboxState::UserSent, "-ERR Lock busy\r\n",
                     StringId::UserNameUnknown},
        RejectionRow{"PassRefused", MailboxState::PassSent, "-ERR authentication failed\r\n",
                     StringId::PasswordWrong},
        RejectionRow{"PassLowerCaseOk", MailboxState::PassSent, "+ok\r\n", StringId::PasswordWrong},
        RejectionRow{"PassInUse", MailboxState::PassSent, "-ERR [IN-USE] Internal error\r\n",
                     kLocked},
        RejectionRow{"PassLocked", MailboxState::PassSent,
                     "-ERR [IN-USE] Mailbox is locked, try again later\r\n", kLocked},
        RejectionRow{"PassMaildropLock", MailboxState::PassSent, "-ERR maildrop lock held\r\n",
                     kLocked},
        RejectionRow{"StatRefused", MailboxState::StatSent, "-ERR\r\n", StringId::NoStatCommand}),
    [](const ::testing::TestParamInfo<RejectionRow>& info) { return info.param.Name; });

TEST_F(Pop3DialogueTest, EnglishTextsOfTheRejections) {
  rig.State.LanguageBase = 900;
  rig.StartAndConnect();
  rig.Socket.Receive("-ERR\r\n");
  EXPECT_EQ(box0().StatusText, "Mailserver not ready!");
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::PassSent);
  rig.Socket.Receive("-ERR\r\n");
  EXPECT_EQ(rig.Box(1).StatusText, "Password is wrong!");
}

TEST_F(Pop3DialogueTest, GermanTextFollowsTheLanguage) {
  rig.State.LanguageBase = 700;
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::StatSent);
  rig.Socket.Receive("-ERR\r\n");
  EXPECT_EQ(box0().StatusText, LocalString(700, StringId::NoStatCommand));
  EXPECT_NE(box0().StatusText, LocalString(900, StringId::NoStatCommand));
}

class UidlTest : public Pop3DialogueTest {
 protected:
  // Connects mailbox 0 and answers up to LAST; STAT reports `messages`.
  void ReachUidl(int messages) {
    rig.StartAndConnect();
    rig.DriveTo(MailboxState::UidlSent, messages);
    ASSERT_EQ(box0().State, MailboxState::UidlSent);
  }
};

TEST_F(UidlTest, IncompleteListingIsCollected) {
  ReachUidl(2);
  const std::size_t sent = rig.Socket.Sent.size();
  rig.Socket.Receive("+OK\r\n1 u1\r\n");
  rig.Socket.Receive("2 u2\r\n");
  EXPECT_EQ(box0().State, MailboxState::UidlSent);
  EXPECT_EQ(rig.Socket.Sent.size(), sent);
  EXPECT_TRUE(box0().NewestUidl.empty());
  rig.Socket.Receive(".\r\n");
  EXPECT_EQ(box0().NewestUidl, "u2");
  EXPECT_EQ(box0().State, MailboxState::TopSent);
}

// A listing cut short by a new cycle leaves nothing behind: the next listing is read alone.
TEST_F(UidlTest, ListingCutShortByANewCycleIsNotReadIntoTheNext) {
  box0().UIDL = "left-from-before";
  ReachUidl(4);
  rig.Socket.Receive("+OK\r\n1 left-from-before\r\n");
  ReachUidl(4);
  rig.Socket.Receive(Listing(4));
  // With the old lines the acknowledged id would be message 1, and only three would be new.
  EXPECT_EQ(box0().NewCount, 4);
  EXPECT_EQ(rig.Socket.Sent.back(), "TOP 1 0\r\n");
}

TEST_F(UidlTest, ErrWithLineEndCompletesWithoutEvaluating) {
  box0().NewestUidl = "kept";
  ReachUidl(0);
  rig.Socket.Receive("-ERR not supported\r\n");
  EXPECT_EQ(box0().NewestUidl, "kept");
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
}

TEST_F(UidlTest, LowerCaseErrCompletes) {
  ReachUidl(0);
  rig.Socket.Receive("-err\r\n");
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
}

TEST_F(UidlTest, ErrWithoutLineEndWaits) {
  ReachUidl(0);
  rig.Socket.Receive("-ERR no");
  EXPECT_EQ(box0().State, MailboxState::UidlSent);
  rig.Socket.Receive(" such command\r\n");
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
}

TEST_F(UidlTest, ErrAndLineEndSplitOverBlocksComplete) {
  ReachUidl(0);
  rig.Socket.Receive("-E");
  rig.Socket.Receive("Rr x\r");
  EXPECT_EQ(box0().State, MailboxState::UidlSent);
  rig.Socket.Receive("\n");
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
}

// A refusal can only begin a line: inside an entry the same letters are part of an id.
TEST_F(UidlTest, LineEndBeforeErrInLaterBlockCompletesOnlyAtALineStart) {
  struct Row {
    const char* later;
    MailboxState state;
  };
  for (const Row& row : {Row{"-ERR", MailboxState::QuitSent}, Row{"-err", MailboxState::QuitSent},
                         Row{"1 -ERR", MailboxState::UidlSent}}) {
    CheckEngineRig local;
    local.Enable(0);
    local.StartAndConnect();
    local.DriveTo(MailboxState::UidlSent, 0);
    local.Socket.Receive("+OK\r\n");
    EXPECT_EQ(local.Box(0).State, MailboxState::UidlSent) << row.later;
    local.Socket.Receive(row.later);
    EXPECT_EQ(local.Box(0).State, row.state) << row.later;
  }
}

TEST_F(UidlTest, TerminatorSplitAtEveryByteCompletesOnTheSecondBlock) {
  const std::string listing = Listing(2);
  // The terminator is the last five bytes; split it and everything before it at each place.
  for (std::size_t cut = 1; cut < listing.size(); ++cut) {
    CheckEngineRig local;
    local.Enable(0);
    local.StartAndConnect();
    local.DriveTo(MailboxState::UidlSent, 2);
    local.Socket.Receive(listing.substr(0, cut));
    ASSERT_EQ(local.Box(0).State, MailboxState::UidlSent) << "cut " << cut;
    local.Socket.Receive(listing.substr(cut));
    EXPECT_EQ(local.Box(0).NewestUidl, "u2") << "cut " << cut;
    EXPECT_EQ(local.Box(0).State, MailboxState::TopSent) << "cut " << cut;
  }
}

TEST_F(UidlTest, SameNewCountAsHeaderBoundSendsNoTop) {
  box0().MessageCount = 5;
  box0().NewCount = 2;
  box0().UIDL = "u3";
  box0().Headers.assign(3, MessageHeader{"old", "", "", "", ""});
  ReachUidl(5);
  rig.Socket.Receive(Listing(5));
  EXPECT_EQ(box0().NewCount, 2);
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
  ASSERT_EQ(box0().Headers.size(), 3u);
  EXPECT_EQ(box0().Headers[1].From, "old");
  EXPECT_TRUE(rig.TimerQuit.IsRunning());
}

TEST_F(UidlTest, NoNewMessagesSendsNoTop) {
  box0().UIDL = "u4";
  box0().Headers.assign(3, MessageHeader{"old", "", "", "", ""});
  ReachUidl(4);
  rig.Socket.Receive(Listing(4));
  EXPECT_EQ(box0().NewCount, 0);
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  for (const std::string& line : Sent()) EXPECT_NE(line.rfind("TOP", 0), 0u) << line;
  EXPECT_EQ(box0().Headers.size(), 3u);
}

class TopTest : public UidlTest {
 protected:
  // Ten messages of which the last three are new: the first TOP asks for message 8.
  void ReachFirstTop() {
    box0().MessageCount = 10;
    box0().UIDL = "u7";
    ReachUidl(10);
    rig.Socket.Receive(Listing(10));
    ASSERT_EQ(box0().State, MailboxState::TopSent);
  }
};

TEST_F(TopTest, ThreeNewOfTenFetchedOldestFirstStoredFromTheTop) {
  ReachFirstTop();
  EXPECT_EQ(box0().NewCount, 3);
  EXPECT_EQ(rig.Socket.Sent.back(), "TOP 8 0\r\n");
  ASSERT_EQ(box0().Headers.size(), 4u);
  rig.Socket.Receive(TopReply(8));
  rig.Socket.Receive(TopReply(9));
  rig.Socket.Receive(TopReply(10));
  EXPECT_EQ(Sent(), (Lines{"USER user0", "PASS secret0", "STAT", "LAST", "UIDL", "TOP 8 0",
                           "TOP 9 0", "TOP 10 0", "QUIT"}));
  EXPECT_EQ(box0().Headers[3].From, "sender8");
  EXPECT_EQ(box0().Headers[2].From, "sender9");
  EXPECT_EQ(box0().Headers[1].From, "sender10");
  EXPECT_EQ(box0().Headers[1].Subject, "subject10");
  EXPECT_TRUE(box0().Headers[0].From.empty());
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  EXPECT_TRUE(rig.TimerQuit.IsRunning());
}

TEST_F(TopTest, HeaderFetchReplacesOldHeaders) {
  box0().Headers.assign(2, MessageHeader{"old", "old", "old", "old", "old"});
  ReachFirstTop();
  ASSERT_EQ(box0().Headers.size(), 4u);
  for (const MessageHeader& header : box0().Headers) EXPECT_TRUE(header.From.empty());
}

TEST_F(TopTest, ErrOnTheSecondTopSendsQuit) {
  ReachFirstTop();
  rig.Socket.Receive(TopReply(8));
  rig.Socket.Receive("-ERR no such message\r\n");
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  EXPECT_EQ(box0().Headers[3].From, "sender8");
  EXPECT_TRUE(box0().Headers[2].From.empty());
  EXPECT_TRUE(box0().Headers[1].From.empty());
  EXPECT_EQ(box0().NewCount, 3);
  EXPECT_EQ(box0().MessageCount, 10);
}

TEST_F(TopTest, ErrIsCaseSensitiveInTopReplies) {
  ReachFirstTop();
  rig.Socket.Receive("+OK\r\nSubject: -err here\r\n\r\n.\r\n");
  EXPECT_EQ(rig.Socket.Sent.back(), "TOP 9 0\r\n");
  EXPECT_EQ(box0().Headers[3].Subject, "-err here");
}

TEST_F(TopTest, ErrAnywhereInTheReplyEndsTheFetch) {
  ReachFirstTop();
  rig.Socket.Receive("+OK\r\nSubject: about -");
  EXPECT_EQ(box0().State, MailboxState::TopSent);
  rig.Socket.Receive("ERR codes\r\n\r\n.\r\n");
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
  EXPECT_TRUE(box0().Headers[3].Subject.empty());
}

TEST_F(TopTest, IncompleteReplyIsCollected) {
  ReachFirstTop();
  const std::size_t sent = rig.Socket.Sent.size();
  rig.Socket.Receive("+OK\r\nFrom: sender8\r\n");
  rig.Socket.Receive("\r\n.");
  EXPECT_EQ(rig.Socket.Sent.size(), sent);
  EXPECT_TRUE(box0().Headers[3].From.empty());
  rig.Socket.Receive("\r\n");
  EXPECT_EQ(rig.Socket.Sent.back(), "TOP 9 0\r\n");
  EXPECT_EQ(box0().Headers[3].From, "sender8");
  // The next reply is read on its own.
  rig.Socket.Receive(TopReply(9));
  EXPECT_EQ(box0().Headers[2].From, "sender9");
}

TEST_F(TopTest, EveryCommandIsOneWriteEndingInOneLineBreak) {
  ReachFirstTop();
  rig.Socket.Receive(TopReply(8));
  for (const std::string& bytes : rig.Socket.Sent) {
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(bytes.find("\r\n"), bytes.size() - 2) << bytes;
  }
}

class QuitTest : public Pop3DialogueTest {
 protected:
  void ReachQuit() {
    rig.StartAndConnect();
    rig.DriveTo(MailboxState::UidlSent, 0);
    rig.Socket.Receive("+OK\r\n.\r\n");
    ASSERT_EQ(box0().State, MailboxState::QuitSent);
    ASSERT_TRUE(rig.TimerQuit.IsRunning());
    box0().StatusText = "earlier";
  }
};

TEST_F(QuitTest, AcceptedClearsStatusTextAndMovesOn) {
  ReachQuit();
  const int closes = rig.Socket.CloseCount;
  rig.Socket.Receive("+OK bye\r\n");
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_TRUE(box0().StatusText.empty());
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  EXPECT_EQ(rig.Socket.CloseCount, closes + 1);
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Socket.Connects.back().RemoteHost, "pop1.test");
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

TEST_F(QuitTest, RefusedKeepsStatusTextAndMovesOn) {
  ReachQuit();
  rig.Socket.Receive("-ERR\r\n");
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_EQ(box0().StatusText, "earlier");
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
}

TEST_F(QuitTest, RefusedOnTheLastMailboxEndsTheCycle) {
  rig.Box(1).Enabled = kFalse;
  ReachQuit();
  rig.Socket.Receive("-ERR\r\n");
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_EQ(box0().StatusText, "earlier");
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "NotifyNewMail"}));
  EXPECT_FALSE(rig.Socket.Open);
}

TEST_F(QuitTest, QuitTimerClosesAndMovesOn) {
  ReachQuit();
  const int closes = rig.Socket.CloseCount;
  EXPECT_TRUE(rig.TimerQuit.Fire());
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_EQ(box0().StatusText, "earlier");
  EXPECT_EQ(box0().State, MailboxState::QuitSent);
  EXPECT_EQ(rig.Socket.CloseCount, closes + 1);
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
}

TEST_F(QuitTest, NextConnectionStopsTheQuitTimer) {
  ReachQuit();
  rig.Socket.Receive("+OK\r\n");
  EXPECT_GE(rig.TimerQuit.StopCount, 2);
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
}

TEST_F(Pop3DialogueTest, DataWhileConnectingIsOnlyLogged) {
  rig.Engine.StartCycle();
  ASSERT_EQ(box0().State, MailboxState::Connecting);
  rig.Socket.Receive("+OK early\r\n");
  EXPECT_EQ(box0().State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Socket.Sent.empty());
  EXPECT_NE(rig.Log().find("1,#"), std::string::npos);
}

TEST_F(Pop3DialogueTest, FailedReadChangesNothing) {
  rig.StartAndConnect();
  rig.Socket.FailGetData = true;
  rig.Socket.Receive("+OK\r\n");
  EXPECT_EQ(box0().State, MailboxState::Connected);
  EXPECT_TRUE(rig.Socket.Sent.empty());
  EXPECT_EQ(rig.Files.AppendCount, 0);
}

TEST_F(Pop3DialogueTest, OversizedListingEndsLikeErr) {
  rig.Engine.SetBufferLimits(64, 48);
  box0().NewestUidl = "kept";
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::UidlSent, 3);
  ASSERT_EQ(box0().NewCount, 3);
  rig.Socket.Receive("+OK\r\n1 aaaaaaaaaaaaaaaaaaaa\r\n");
  EXPECT_EQ(box0().State, MailboxState::UidlSent);
  // Still no terminator, and now past the bound: the listing is dropped unread.
  rig.Socket.Receive("2 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\r\n3 c\r\n.\r\n");
  EXPECT_TRUE(rig.Engine.UidlBuffer().empty());
  EXPECT_EQ(rig.Engine.UidlBuffer().capacity(), std::string().capacity());
  EXPECT_EQ(box0().NewestUidl, "kept");
  // The counts rest on STAT, and the header fetch goes ahead on them.
  EXPECT_EQ(box0().NewCount, 3);
  EXPECT_EQ(rig.Socket.Sent.back(), "TOP 1 0\r\n");
}

TEST_F(Pop3DialogueTest, ListingExactlyAtTheBoundIsEvaluated) {
  const std::string listing = Listing(2);
  rig.Engine.SetBufferLimits(listing.size(), 48);
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::UidlSent, 2);
  rig.Socket.Receive(listing);
  EXPECT_EQ(box0().NewestUidl, "u2");
}

struct HugeHeaderCase {
  const char* name;
  std::size_t chunk;  // bytes per block of the huge reply; 0: one block
  std::size_t tail;   // bytes of the end mark held back for a block of their own
};

class HugeHeaderTest : public Pop3DialogueTest,
                       public ::testing::WithParamInterface<HugeHeaderCase> {};

// The huge reply keeps what fits of its headers, and the newer messages still get theirs.
TEST_P(HugeHeaderTest, KeepsTheLinesThatFitSkipsTheRestAndGoesOn) {
  const HugeHeaderCase& c = GetParam();
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::UidlSent, 3);
  rig.Socket.Receive(Listing(3));
  ASSERT_EQ(rig.Socket.Sent.back(), "TOP 1 0\r\n");
  const std::string huge = HugeHeaderReply(1);
  const std::string body = huge.substr(0, huge.size() - c.tail);
  const std::size_t chunk = c.chunk == 0 ? body.size() : c.chunk;
  std::size_t largest = 0;
  for (std::size_t at = 0; at < body.size(); at += chunk) {
    ASSERT_EQ(rig.Socket.Sent.back(), "TOP 1 0\r\n") << "the reply has not ended at " << at;
    rig.Socket.Receive(body.substr(at, chunk));
    largest = std::max(largest, rig.Engine.HeaderBuffer().size());
  }
  if (c.tail > 0) rig.Socket.Receive(huge.substr(huge.size() - c.tail));
  EXPECT_LE(largest, kHeaderBufferLimit + chunk) << "the skipped rest is not collected";
  ASSERT_EQ(rig.Socket.Sent.back(), "TOP 2 0\r\n");
  rig.Socket.Receive(TopReply(2));
  rig.Socket.Receive(TopReply(3));
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
  EXPECT_EQ(box0().Headers[3].From, "sender1");
  EXPECT_EQ(box0().Headers[3].Subject, "") << "it lies past the kept lines";
  EXPECT_EQ(box0().Headers[2].From, "sender2");
  EXPECT_EQ(box0().Headers[1].Subject, "subject3");
  rig.Socket.Receive("+OK bye\r\n");
  EXPECT_EQ(box0().StatusText, "");
}

INSTANTIATE_TEST_SUITE_P(Deliveries, HugeHeaderTest,
                         ::testing::Values(HugeHeaderCase{"OneBlock", 0, 0},
                                           HugeHeaderCase{"Blocks", 65536, 0},
                                           HugeHeaderCase{"OddBlocks", 4093, 0},
                                           HugeHeaderCase{"EndMarkSplitAfterOne", 65536, 4},
                                           HugeHeaderCase{"EndMarkSplitAfterFour", 65536, 1},
                                           HugeHeaderCase{"EndMarkApart", 65536, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pop3DialogueTest, FloodPastTheSkipBoundEndsTheFetch) {
  const std::size_t bound = 48;
  rig.Engine.SetBufferLimits(1024, bound);
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::UidlSent, 2);
  rig.Socket.Receive(Listing(2));
  rig.Socket.Receive("+OK\r\nFrom: flood\r\n" + std::string(bound, 'x'));
  std::size_t skipped = 0;
  while (rig.Socket.Sent.back() == "TOP 1 0\r\n" && skipped < 100 * bound) {
    rig.Socket.Receive(std::string(10, 'y'));
    skipped += 10;
  }
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
  EXPECT_GT(skipped, kSkippedReplyFactor * bound - 10);
  EXPECT_LE(skipped, kSkippedReplyFactor * bound + 10);
  EXPECT_EQ(box0().Headers[2].From, "flood") << "what was kept stays";
  EXPECT_TRUE(rig.Engine.HeaderBuffer().empty());
}

TEST_F(Pop3DialogueTest, OversizedRefusalEndsTheFetch) {
  rig.Engine.SetBufferLimits(1024, 48);
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::UidlSent, 2);
  rig.Socket.Receive(Listing(2));
  ASSERT_EQ(rig.Socket.Sent.back(), "TOP 1 0\r\n");
  rig.Socket.Receive("-NO " + std::string(100, 'x'));
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
  EXPECT_TRUE(rig.Engine.HeaderBuffer().empty());
}

TEST_F(Pop3DialogueTest, HighestMessageNumberDoesNotOverflow) {
  box0().MessageCount = 32766;
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::UidlSent, 32767);
  ASSERT_EQ(box0().NewCount, 1);
  rig.Socket.Receive("-ERR\r\n");
  ASSERT_EQ(rig.Socket.Sent.back(), "TOP 32767 0\r\n");
  rig.Socket.Receive(TopReply(32767));
  EXPECT_EQ(rig.Socket.Sent.back(), "QUIT\r\n");
  EXPECT_EQ(box0().Headers[1].From, "sender32767");
}

TEST_F(Pop3DialogueTest, StatBeyondSixteenBitsIsClamped) {
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::StatSent);
  rig.Socket.Receive("+OK 99999 1\r\n");
  EXPECT_EQ(box0().MessageCount, 32767);
  EXPECT_EQ(box0().State, MailboxState::LastSent);
}

// A socket layer that reports an error from inside the write of one command.
class ErrorOnSendSocket : public FakeSocket {
 public:
  std::string FailOn;
  SocketError SendData(const std::string& bytes) override {
    FakeSocket::SendData(bytes);
    if (bytes == FailOn) RaiseError(10054, "Connection reset by peer");
    return {};
  }
};

TEST(Pop3SendErrorTest, ErrorDuringQuitLeavesNoQuitWaitBehind) {
  ProgramState state;
  state.Paths = MakeProgramPaths("pv");
  for (int i = 0; i < kUserMailboxes; ++i) state.Mailboxes[i].Headers.resize(1);
  state.Mailboxes[0].Enabled = kTrue;
  state.Mailboxes[1].Enabled = kTrue;
  ErrorOnSendSocket socket;
  socket.FailOn = "QUIT\r\n";
  FakeTimer timeout;
  FakeTimer timerQuit;
  FakeClock clock;
  FakeFileSystem files;
  FakeCycleHooks hooks;
  CheckEngine engine(state, socket, timeout, timerQuit, clock, files, hooks,
                     {state.General.ReceiveLog, state.Paths.ReceiveLog});
  engine.StartCycle();
  socket.RaiseConnect();
  for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK 0\r\n"}) {
    socket.Receive(reply);
  }
  socket.Receive("+OK\r\n.\r\n");
  EXPECT_EQ(state.Mailboxes[0].StatusText, "Connection reset by peer");
  EXPECT_EQ(state.Mailboxes[0].State, MailboxState::Idle);
  EXPECT_EQ(state.CurrentMailbox, 1);
  EXPECT_EQ(state.Mailboxes[1].State, MailboxState::Connecting);
  EXPECT_FALSE(timerQuit.IsRunning());
}

}  // namespace
}  // namespace postvane
