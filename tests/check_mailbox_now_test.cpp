// Checking one mailbox out of turn: alone when the engine is idle, after the running cycle
// otherwise, and never twice for one request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/check_engine_rig.h"

namespace postvane {
namespace {

using Hosts = std::vector<std::string>;

class CheckMailboxNowTest : public ::testing::Test {
 protected:
  CheckMailboxNowTest() {
    for (int index : {0, 1, 3, 5}) rig.Enable(index);
  }

  // The connected current mailbox goes through a whole dialogue with nothing new.
  void CompleteDialogue() {
    rig.Socket.RaiseConnect();
    rig.DriveTo(MailboxState::UidlSent, 0);
    rig.Socket.Receive("+OK\r\n.\r\n");
    rig.Socket.Receive("+OK bye\r\n");
  }

  // The current mailbox's server refuses: it fails and the cycle moves on.
  void Refuse() { rig.Socket.RaiseError(10061, "refused"); }

  Hosts ConnectedHosts() const {
    Hosts hosts;
    for (const auto& request : rig.Socket.Connects) hosts.push_back(request.RemoteHost);
    return hosts;
  }

  std::vector<int16_t> FinishedMailboxes() const {
    std::vector<int16_t> indexes;
    for (const auto& [index, outcome] : rig.Hooks.Outcomes) indexes.push_back(index);
    return indexes;
  }

  int CyclesEnded() const { return rig.Hooks.Count("NotifyNewMail"); }

  CheckEngineRig rig;
};

TEST_F(CheckMailboxNowTest, IdleEngineChecksOnlyThatMailboxAndEndsACycleOfOne) {
  rig.Engine.CheckMailboxNow(3);
  EXPECT_TRUE(rig.Engine.CycleRunning());
  EXPECT_EQ(rig.State.CurrentMailbox, 3);
  CompleteDialogue();
  EXPECT_EQ(ConnectedHosts(), Hosts{"pop3.test"});
  EXPECT_EQ(FinishedMailboxes(), std::vector<int16_t>{3});
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::NoNewMail);
  EXPECT_EQ(CyclesEnded(), 1);
  EXPECT_FALSE(rig.Engine.CycleRunning());
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
}

TEST_F(CheckMailboxNowTest, FailedOutOfTurnCheckStillEndsItsCycle) {
  rig.Engine.CheckMailboxNow(5);
  Refuse();
  EXPECT_EQ(ConnectedHosts(), Hosts{"pop5.test"});
  EXPECT_EQ(rig.Hooks.Outcomes.at(0).second.Result, MailboxResult::Failed);
  EXPECT_EQ(CyclesEnded(), 1);
  EXPECT_FALSE(rig.Engine.CycleRunning());
}

TEST_F(CheckMailboxNowTest, DisabledOrOutOfRangeMailboxConnectsNowhere) {
  rig.Engine.CheckMailboxNow(7);  // not enabled: a cycle of nothing
  EXPECT_EQ(CyclesEnded(), 1);
  for (int16_t index : {int16_t{-1}, int16_t{10}, int16_t{11}}) rig.Engine.CheckMailboxNow(index);
  EXPECT_TRUE(rig.Socket.Connects.empty());
  EXPECT_EQ(CyclesEnded(), 1);
  EXPECT_FALSE(rig.Engine.CycleRunning());
}

struct WaitingCase {
  const char* Name;
  int CycleAt;                 // the mailbox the whole cycle is checking
  std::vector<int16_t> Asked;  // out-of-turn requests meanwhile
  std::vector<int16_t> Waits;  // what then waits for the cycle's end
};

class CheckMailboxNowWaitingTest : public CheckMailboxNowTest,
                                   public ::testing::WithParamInterface<WaitingCase> {};

TEST_P(CheckMailboxNowWaitingTest, RequestsDuringAWholeCycleWaitUnlessTheCycleIsStillToReachThem) {
  const WaitingCase& c = GetParam();
  rig.Engine.StartCycle();
  while (rig.State.CurrentMailbox < c.CycleAt) Refuse();
  ASSERT_EQ(rig.State.CurrentMailbox, c.CycleAt);
  const std::size_t connectsBefore = rig.Socket.Connects.size();
  const int closesBefore = rig.Socket.CloseCount;
  for (int16_t index : c.Asked) rig.Engine.CheckMailboxNow(index);
  EXPECT_EQ(rig.Engine.WaitingChecks(), c.Waits);
  // Nothing of the running check was touched.
  EXPECT_EQ(rig.Socket.Connects.size(), connectsBefore);
  EXPECT_EQ(rig.Socket.CloseCount, closesBefore);
  EXPECT_EQ(rig.State.CurrentMailbox, c.CycleAt);
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckMailboxNowWaitingTest,
                         ::testing::Values(WaitingCase{"Current", 1, {1}, {1}},
                                           WaitingCase{"AlreadyPassed", 3, {0, 1}, {0, 1}},
                                           WaitingCase{"StillAhead", 1, {3, 5}, {}},
                                           WaitingCase{"AskedTwice", 3, {1, 1, 3, 1}, {1, 3}},
                                           WaitingCase{"Mixed", 3, {5, 0, 3}, {0, 3}}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CheckMailboxNowTest, WaitingChecksRunOneByOneAfterTheWholeCycle) {
  rig.Engine.StartCycle();  // at mailbox 0
  Refuse();                 // now at 1
  rig.Engine.CheckMailboxNow(1);
  rig.Engine.CheckMailboxNow(0);
  Refuse();  // 1 fails, cycle at 3
  Refuse();  // 3
  Refuse();  // 5: the whole cycle ends, then mailbox 1 alone
  EXPECT_EQ(CyclesEnded(), 1);
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_TRUE(rig.Engine.CycleRunning());
  CompleteDialogue();
  EXPECT_EQ(CyclesEnded(), 2);
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  CompleteDialogue();
  EXPECT_EQ(CyclesEnded(), 3);
  EXPECT_EQ(ConnectedHosts(),
            (Hosts{"pop0.test", "pop1.test", "pop3.test", "pop5.test", "pop1.test", "pop0.test"}));
  EXPECT_EQ(FinishedMailboxes(), (std::vector<int16_t>{0, 1, 3, 5, 1, 0}));
  EXPECT_TRUE(rig.Engine.WaitingChecks().empty());
  EXPECT_FALSE(rig.Engine.CycleRunning());
}

TEST_F(CheckMailboxNowTest, RequestDuringAnOutOfTurnCheckWaitsForIt) {
  rig.Engine.CheckMailboxNow(3);
  rig.Engine.CheckMailboxNow(0);
  rig.Engine.CheckMailboxNow(3);  // the one under way may have missed what prompted this
  EXPECT_EQ(rig.Engine.WaitingChecks(), (std::vector<int16_t>{0, 3}));
  Refuse();
  Refuse();
  Refuse();
  EXPECT_EQ(ConnectedHosts(), (Hosts{"pop3.test", "pop0.test", "pop3.test"}));
  EXPECT_EQ(CyclesEnded(), 3);
}

TEST_F(CheckMailboxNowTest, WholeCycleTakesOverWaitingAndRunningChecks) {
  rig.Engine.CheckMailboxNow(3);
  rig.Engine.CheckMailboxNow(5);
  rig.Engine.StartCycle();
  EXPECT_TRUE(rig.Engine.WaitingChecks().empty());
  for (int i = 0; i < 4; ++i) Refuse();
  EXPECT_EQ(ConnectedHosts(),
            (Hosts{"pop3.test", "pop0.test", "pop1.test", "pop3.test", "pop5.test"}));
  EXPECT_EQ(CyclesEnded(), 1);
  EXPECT_FALSE(rig.Engine.CycleRunning());
}

TEST_F(CheckMailboxNowTest, StopDropsWaitingChecks) {
  rig.Engine.StartCycle();
  rig.Engine.CheckMailboxNow(0);
  rig.Engine.StopCycle();
  EXPECT_FALSE(rig.Engine.CycleRunning());
  EXPECT_TRUE(rig.Engine.WaitingChecks().empty());
  EXPECT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

TEST_F(CheckMailboxNowTest, CycleRestingAfterAFailedConnectRequestDoesNotHoldARequest) {
  rig.Socket.ConnectErrors.push_back({10065, "no route"});
  rig.Engine.StartCycle();
  EXPECT_FALSE(rig.Engine.CycleRunning());
  rig.Engine.CheckMailboxNow(5);
  EXPECT_TRUE(rig.Engine.CycleRunning());
  EXPECT_EQ(ConnectedHosts(), (Hosts{"pop0.test", "pop5.test"}));
}

TEST_F(CheckMailboxNowTest, CycleStartedByTheEndHookTakesOverAWaitingCheck) {
  bool restarted = false;
  rig.Hooks.OnCall = [&](const std::string& call) {
    if (call == "NotifyNewMail" && !restarted) {
      restarted = true;
      rig.Engine.StartCycle();
    }
  };
  rig.Engine.CheckMailboxNow(5);
  rig.Engine.CheckMailboxNow(1);
  Refuse();  // 5 ends; the hook starts a whole cycle, which drops the waiting 1
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
  EXPECT_TRUE(rig.Engine.CycleRunning());
  EXPECT_EQ(ConnectedHosts(), (Hosts{"pop5.test", "pop0.test"}));
}

}  // namespace
}  // namespace postvane
