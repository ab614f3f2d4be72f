// The check cycle: walking the mailboxes, connecting, time-out, socket errors, end of cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/check_engine_rig.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

class CheckCycleTest : public ::testing::Test {
 protected:
  // Completes the dialogue of the connected current mailbox with an empty listing.
  void CompleteDialogue() {
    rig.Socket.RaiseConnect();
    rig.DriveTo(MailboxState::UidlSent, 0);
    rig.Socket.Receive("+OK\r\n.\r\n");
    rig.Socket.Receive("+OK bye\r\n");
  }

  std::vector<std::string> ConnectedHosts() const {
    std::vector<std::string> hosts;
    for (const auto& request : rig.Socket.Connects) hosts.push_back(request.RemoteHost);
    return hosts;
  }

  CheckEngineRig rig;
};

TEST_F(CheckCycleTest, StartClosesTheSocketAndBeginsAtMailboxZero) {
  rig.Enable(0);
  rig.State.CurrentMailbox = 6;
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.Socket.CloseCount, 1);
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop0.test");
}

TEST_F(CheckCycleTest, EnabledMailboxIsPreparedAndConnectRequested) {
  MailboxRecord& box = rig.Enable(3);
  box.RemoteHost = "mail.example.test";
  box.RemotePort = 1110;
  rig.Clock.Set(2024, 6, 1, 12, 30, 45);
  rig.TimerQuit.Start();
  rig.Socket.Port = 4242;
  rig.Engine.StartCycle();
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].LocalPort, 20000);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "mail.example.test");
  EXPECT_EQ(rig.Socket.Connects[0].RemotePort, 1110);
  EXPECT_EQ(box.State, MailboxState::Connecting);
  EXPECT_EQ(box.LastCheck, (LocalDateTime{2024, 6, 1, 12, 30, 45}));
  EXPECT_TRUE(rig.Timeout.IsRunning());
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_EQ(rig.State.CurrentMailbox, 3);
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

TEST_F(CheckCycleTest, DisabledMailboxBecomesIdleWithEmptyStatusAndKeepsItsResults) {
  MailboxRecord& box = rig.Box(0);
  box.StatusText = "Password is wrong!";
  box.State = MailboxState::QuitSent;
  box.NewCount = 2;
  box.MessageCount = 5;
  box.Headers.assign(3, MessageHeader{"from", "to", "subject", "1", "date"});
  rig.Enable(1);
  rig.Engine.StartCycle();
  EXPECT_TRUE(box.StatusText.empty());
  EXPECT_EQ(box.State, MailboxState::Idle);
  EXPECT_EQ(box.NewCount, 2);
  EXPECT_EQ(box.MessageCount, 5);
  EXPECT_EQ(box.Headers.size(), 3u);
  EXPECT_EQ(box.Headers[2].Subject, "subject");
  EXPECT_TRUE(box.LastCheck.IsZeroDate());
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
}

TEST_F(CheckCycleTest, ConnectEventStopsTimeoutAndAwaitsGreeting) {
  rig.Enable(0);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  EXPECT_FALSE(rig.Timeout.IsRunning());
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connected);
  EXPECT_TRUE(rig.Engine.DialogueRunning());
}

TEST_F(CheckCycleTest, TimeoutMarksMailboxUnavailableAndMovesOnWithoutLogRecord) {
  rig.LogOn();
  rig.Enable(0);
  rig.Enable(1);
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.Timeout.IntervalMs, 15000);
  EXPECT_TRUE(rig.Timeout.Fire());
  EXPECT_EQ(rig.Box(0).StatusText,
            LocalString(rig.State.LanguageBase, StringId::MailServerNotAvailable));
  EXPECT_EQ(rig.Box(0).StatusText, "Mailserver not avaiable!");
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_EQ(rig.Socket.CloseCount, 2);
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray"}));
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Timeout.IsRunning());
  EXPECT_EQ(rig.Files.AppendCount, 0);
  EXPECT_FALSE(rig.Files.Exists(rig.State.Paths.ReceiveLog));
}

TEST_F(CheckCycleTest, AddressInUseRetriesTheSameMailboxFromTheNextPort) {
  rig.LogOn();
  rig.Enable(0);
  rig.Enable(1);
  rig.Engine.StartCycle();
  rig.Socket.RaiseError(10048, "Address in use");
  ASSERT_EQ(rig.Socket.Connects.size(), 2u);
  EXPECT_EQ(rig.Socket.Connects[1].LocalPort, 20001);
  EXPECT_EQ(rig.Socket.Connects[1].RemoteHost, "pop0.test");
  rig.Socket.RaiseError(10048, "Address in use");
  EXPECT_EQ(rig.Socket.Connects.back().LocalPort, 20002);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Box(0).StatusText.empty());
  EXPECT_TRUE(rig.Timeout.IsRunning());
  EXPECT_TRUE(rig.Hooks.Calls.empty());
  EXPECT_EQ(rig.Files.AppendCount, 0);
  // The next mailbox starts from 20000 again.
  rig.Timeout.Fire();
  EXPECT_EQ(rig.Socket.Connects.back().LocalPort, 20000);
  EXPECT_EQ(rig.Socket.Connects.back().RemoteHost, "pop1.test");
}

TEST_F(CheckCycleTest, AddressInUseFromTheRequestItselfRetriesAtOnce) {
  rig.Enable(0);
  rig.Socket.ConnectErrors = {{10048, "in use"}, {10048, "in use"}};
  rig.Engine.StartCycle();
  ASSERT_EQ(rig.Socket.Connects.size(), 3u);
  EXPECT_EQ(rig.Socket.Connects[0].LocalPort, 20000);
  EXPECT_EQ(rig.Socket.Connects[1].LocalPort, 20001);
  EXPECT_EQ(rig.Socket.Connects[2].LocalPort, 20002);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Timeout.IsRunning());
}

TEST_F(CheckCycleTest, PortPastTheHighestLetsTheSystemChoose) {
  rig.Enable(0);
  rig.Engine.StartCycle();
  rig.Socket.Port = 65535;
  rig.Socket.RaiseError(10048, "Address in use");
  EXPECT_EQ(rig.Socket.Connects.back().LocalPort, 0);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connecting);
}

TEST_F(CheckCycleTest, AddressInUseWithSystemChosenPortIsAnOrdinaryError) {
  rig.Enable(0);
  rig.Enable(1);
  rig.Engine.StartCycle();
  rig.Socket.Port = 0;
  rig.Socket.RaiseError(10048, "Address in use");
  EXPECT_EQ(rig.Box(0).StatusText, "Address in use");
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
}

TEST_F(CheckCycleTest, EndlessAddressInUseRunsThroughThePortsOnceAndRests) {
  rig.Enable(0);
  rig.Socket.ConnectErrorAlways = {10048, "in use"};
  rig.Engine.StartCycle();
  // 20000 to 65535, then the system's choice once.
  ASSERT_EQ(rig.Socket.Connects.size(), 65535u - 20000u + 2u);
  EXPECT_EQ(rig.Socket.Connects[rig.Socket.Connects.size() - 2].LocalPort, 65535);
  EXPECT_EQ(rig.Socket.Connects.back().LocalPort, 0);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_FALSE(rig.Timeout.IsRunning());
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_TRUE(rig.Hooks.Calls.empty());
  EXPECT_FALSE(rig.Engine.DialogueRunning());
}

TEST_F(CheckCycleTest, OtherConnectErrorRestsTheCycle) {
  rig.Enable(0);
  rig.Enable(1);
  rig.Socket.ConnectErrors = {{10049, "Address not available"}};
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_FALSE(rig.Timeout.IsRunning());
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_TRUE(rig.Hooks.Calls.empty());
  // The next start recovers.
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connecting);
}

TEST_F(CheckCycleTest, SocketNotClosedIsClosedAndTheSameMailboxTriedAgain) {
  rig.Enable(0);
  rig.Socket.ConnectErrors = {{40020, "Invalid operation"}};
  rig.Clock.Set(2024, 1, 2, 3, 4, 5);
  rig.Engine.StartCycle();
  ASSERT_EQ(rig.Socket.Connects.size(), 2u);
  EXPECT_EQ(rig.Socket.Connects[1].RemoteHost, "pop0.test");
  EXPECT_EQ(rig.Socket.Connects[1].LocalPort, 20000);
  EXPECT_EQ(rig.Socket.CloseCount, 2);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Timeout.IsRunning());
}

TEST_F(CheckCycleTest, SocketThatStaysNotClosedDoesNotLoopForEver) {
  rig.Enable(0);
  rig.Socket.ConnectErrorAlways = {40020, "Invalid operation"};
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.Socket.Connects.size(), static_cast<std::size_t>(1 + kInvalidStateRetries));
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_FALSE(rig.Timeout.IsRunning());
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

TEST_F(CheckCycleTest, SocketErrorTextBecomesStatusAndIsLogged) {
  rig.LogOn();
  rig.Clock.Set(2024, 3, 5, 8, 15, 0);
  rig.Enable(0);
  rig.Enable(1);
  rig.Engine.StartCycle();
  rig.Socket.RaiseError(11001, "Host not found");
  EXPECT_EQ(rig.Box(0).StatusText, "Host not found");
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_EQ(rig.Log(), "0,#2024-03-05 08:15:00#,\"Host not found\"\r\n");
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray"}));
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
}

TEST_F(CheckCycleTest, SocketErrorInTheDialogueEndsIt) {
  rig.Enable(0);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::StatSent);
  const int closes = rig.Socket.CloseCount;
  rig.Socket.RaiseError(10054, "Connection reset by peer");
  EXPECT_EQ(rig.Socket.CloseCount, closes + 1);
  EXPECT_EQ(rig.Box(0).StatusText, "Connection reset by peer");
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "RefreshTray", "NotifyNewMail"}));
}

TEST_F(CheckCycleTest, EndOfCycleRefreshesThenNotifies) {
  rig.Enable(9);
  CallLog order;
  rig.Hooks.Log = &order;
  rig.Socket.Log = &order;
  rig.Engine.StartCycle();
  CompleteDialogue();
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  ASSERT_GE(order.size(), 3u);
  EXPECT_EQ(order[order.size() - 3], "Close");
  EXPECT_EQ(order[order.size() - 2], "RefreshTray");
  EXPECT_EQ(order.back(), "NotifyNewMail");
  EXPECT_EQ(rig.Box(9).State, MailboxState::QuitSent);
  EXPECT_TRUE(rig.Box(9).StatusText.empty());
}

TEST_F(CheckCycleTest, AllDisabledEndsTheCycleAtOnce) {
  for (int i = 0; i < kUserMailboxes; ++i) {
    rig.Box(i).StatusText = "old " + std::to_string(i);
    rig.Box(i).State = MailboxState::QuitSent;
  }
  rig.Engine.StartCycle();
  for (int i = 0; i < kUserMailboxes; ++i) {
    EXPECT_TRUE(rig.Box(i).StatusText.empty()) << i;
    EXPECT_EQ(rig.Box(i).State, MailboxState::Idle) << i;
  }
  EXPECT_TRUE(rig.Socket.Connects.empty());
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "NotifyNewMail"}));
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_TRUE(rig.State.Mailboxes[10].StatusText.empty());
  EXPECT_EQ(rig.State.Mailboxes[10].State, MailboxState::Idle);
}

TEST_F(CheckCycleTest, OnlyMailboxesTwoAndSeven) {
  for (int i = 0; i < kUserMailboxes; ++i) rig.Box(i).StatusText = "old";
  rig.Enable(2);
  rig.Enable(7);
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.State.CurrentMailbox, 2);
  CompleteDialogue();
  EXPECT_EQ(rig.State.CurrentMailbox, 7);
  CompleteDialogue();
  EXPECT_EQ(ConnectedHosts(), (Lines{"pop2.test", "pop7.test"}));
  for (int i : {0, 1, 3, 4, 5, 6, 8, 9}) {
    EXPECT_TRUE(rig.Box(i).StatusText.empty()) << i;
    EXPECT_EQ(rig.Box(i).State, MailboxState::Idle) << i;
  }
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "NotifyNewMail"}));
}

TEST_F(CheckCycleTest, StartWhileACycleRunsClosesAndBeginsAgain) {
  rig.Enable(1);
  rig.Enable(4);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::PassSent);
  ASSERT_EQ(rig.Box(1).State, MailboxState::PassSent);
  const int closes = rig.Socket.CloseCount;
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.Socket.CloseCount, closes + 1);
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  ASSERT_EQ(rig.Socket.Connects.size(), 2u);
  EXPECT_EQ(rig.Socket.Connects.back().RemoteHost, "pop1.test");
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

TEST_F(CheckCycleTest, AbandonedMailboxKeepsItsStateUntilReachedAgain) {
  rig.Enable(1);
  rig.Enable(4);
  rig.Engine.StartCycle();
  CompleteDialogue();
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::StatSent);
  ASSERT_EQ(rig.Box(4).State, MailboxState::StatSent);
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
  EXPECT_EQ(rig.Box(4).State, MailboxState::StatSent);
  CompleteDialogue();
  EXPECT_EQ(rig.Box(4).State, MailboxState::Connecting);
}

TEST_F(CheckCycleTest, SilentServerHoldsTheCycleUntilTheNextStart) {
  rig.Enable(0);
  rig.Enable(1);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  EXPECT_FALSE(rig.Timeout.IsRunning());
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_TRUE(rig.Engine.DialogueRunning());
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  rig.Engine.StartCycle();
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connecting);
}

TEST_F(CheckCycleTest, LeftOverTimerTicksOfAnAbandonedCycleChangeNothing) {
  rig.Enable(0);
  rig.Engine.StartCycle();
  ASSERT_TRUE(rig.Timeout.IsRunning());
  rig.Box(0).Enabled = kFalse;
  rig.Engine.StartCycle();
  ASSERT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "NotifyNewMail"}));
  rig.Timeout.Fire();
  rig.TimerQuit.Running = true;
  rig.TimerQuit.Fire();
  EXPECT_FALSE(rig.Timeout.IsRunning());
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_TRUE(rig.Box(0).StatusText.empty());
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "NotifyNewMail"}));
}

TEST_F(CheckCycleTest, CheckNowOutsideTheTableDoesNothing) {
  rig.Enable(0);
  for (int16_t index : {int16_t{-1}, int16_t{11}, int16_t{32767}, int16_t{-32768}}) {
    rig.State.CurrentMailbox = index;
    rig.Engine.ContinueCycle();
    EXPECT_EQ(rig.State.CurrentMailbox, index);
  }
  EXPECT_TRUE(rig.Socket.Connects.empty());
  EXPECT_TRUE(rig.Hooks.Calls.empty());
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
}

TEST_F(CheckCycleTest, CheckNowAtTenEndsTheCycle) {
  rig.State.CurrentMailbox = 10;
  rig.Engine.ContinueCycle();
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "NotifyNewMail"}));
}

TEST_F(CheckCycleTest, EventsAtTheEndPositionOrOutsideAreHarmless) {
  rig.LogOn();
  rig.Enable(0);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  for (int16_t index : {int16_t{10}, int16_t{11}, int16_t{-3}}) {
    rig.State.CurrentMailbox = index;
    rig.Socket.Receive("+OK\r\n");
    rig.Socket.RaiseConnect();
    rig.Socket.RaisePeerClose();
    rig.Socket.RaiseError(10054, "reset");
    rig.Timeout.Running = true;
    rig.Timeout.Fire();
    rig.TimerQuit.Running = true;
    rig.TimerQuit.Fire();
    EXPECT_FALSE(rig.Engine.DialogueRunning());
    EXPECT_EQ(rig.State.CurrentMailbox, index);
  }
  EXPECT_TRUE(rig.Socket.Sent.empty());
  EXPECT_TRUE(rig.Hooks.Calls.empty());
  EXPECT_EQ(rig.State.Mailboxes[10].State, MailboxState::Idle);
  EXPECT_TRUE(rig.State.Mailboxes[10].StatusText.empty());
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connected);
}

// A peer close in each state of the dialogue.
class PeerCloseTest : public CheckCycleTest, public ::testing::WithParamInterface<MailboxState> {};

TEST_P(PeerCloseTest, MidDialogueCloseEndsTheCheckLikeASocketError) {
  const MailboxState at = GetParam();
  rig.LogOn();
  rig.Clock.Set(2024, 3, 5, 8, 15, 0);
  rig.Enable(0);
  rig.Enable(1);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  if (at == MailboxState::TopSent) {
    rig.DriveTo(MailboxState::UidlSent, 1);
    rig.Socket.Receive("+OK\r\n1 a\r\n.\r\n");
  } else {
    rig.DriveTo(at, 1);
  }
  ASSERT_EQ(rig.Box(0).State, at);
  const std::string logBefore = rig.Log();
  rig.Socket.RaisePeerClose();
  EXPECT_EQ(rig.Box(0).StatusText,
            OwnString(rig.State.LanguageBase, OwnText::ConnectionClosedByServer));
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_EQ(rig.Log(),
            logBefore + "0,#2024-03-05 08:15:00#,\"Connection closed by the server\"\r\n");
  EXPECT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray"}));
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
}

INSTANTIATE_TEST_SUITE_P(States, PeerCloseTest,
                         ::testing::Values(MailboxState::Connected, MailboxState::UserSent,
                                           MailboxState::PassSent, MailboxState::StatSent,
                                           MailboxState::LastSent, MailboxState::UidlSent,
                                           MailboxState::TopSent),
                         [](const ::testing::TestParamInfo<MailboxState>& info) {
                           return "State" + std::to_string(StateCode(info.param));
                         });

TEST_F(CheckCycleTest, PeerCloseWhileWaitingForQuitReplyEndsTheWait) {
  rig.Enable(0);
  rig.Enable(1);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::UidlSent, 0);
  rig.Socket.Receive("+OK\r\n.\r\n");
  rig.Box(0).StatusText = "earlier";
  ASSERT_TRUE(rig.TimerQuit.IsRunning());
  rig.Socket.RaisePeerClose();
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  EXPECT_EQ(rig.Box(0).State, MailboxState::QuitSent);
  EXPECT_EQ(rig.Box(0).StatusText, "earlier");
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

TEST_F(CheckCycleTest, PeerCloseWhileConnectingOrIdleIsIgnored) {
  rig.Enable(0);
  rig.Engine.StartCycle();
  rig.Socket.RaisePeerClose();
  EXPECT_EQ(rig.Box(0).State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Box(0).StatusText.empty());
  rig.Box(0).State = MailboxState::Idle;
  rig.Socket.RaisePeerClose();
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_TRUE(rig.Box(0).StatusText.empty());
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

TEST_F(CheckCycleTest, PeerCloseAfterTheEngineClosedIsIgnored) {
  rig.Enable(0);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::PassSent);
  rig.Socket.Receive("-ERR\r\n");
  ASSERT_EQ(rig.Hooks.Calls, (Lines{"RefreshTray", "RefreshTray", "NotifyNewMail"}));
  rig.Box(0).State = MailboxState::StatSent;  // as if a stale state were shown
  rig.Socket.RaisePeerClose();
  rig.Socket.RaiseError(10054, "reset");
  EXPECT_EQ(rig.Hooks.Calls.size(), 3u);
  EXPECT_EQ(rig.Box(0).StatusText, "Password is wrong!");
}

TEST_F(CheckCycleTest, DialogueRunningFollowsTheConnection) {
  rig.Enable(0);
  EXPECT_FALSE(rig.Engine.DialogueRunning());
  rig.Engine.StartCycle();
  EXPECT_TRUE(rig.Engine.DialogueRunning());
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::UidlSent, 0);
  EXPECT_TRUE(rig.Engine.DialogueRunning());
  rig.Socket.Receive("+OK\r\n.\r\n");
  EXPECT_FALSE(rig.Engine.DialogueRunning());  // QUIT sent: the check is done
  rig.Socket.Receive("+OK\r\n");
  EXPECT_FALSE(rig.Engine.DialogueRunning());
}

}  // namespace
}  // namespace postvane
