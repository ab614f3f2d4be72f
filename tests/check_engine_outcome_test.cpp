// What the check engine reports through its hooks: one outcome per mailbox, the end of the
// cycle, and what it does with a connect request that fails at once under each policy.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/check_engine_rig.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {
namespace {

using Drive = std::function<void(CheckEngineRig&)>;

// Completes mailbox 0's dialogue from the greeting on: STAT, LAST, the listing, the TOPs, QUIT.
Drive Dialogue(std::vector<std::string> replies) {
  return [replies](CheckEngineRig& rig) {
    rig.Socket.RaiseConnect();
    for (const std::string& reply : replies) rig.Socket.Receive(reply);
  };
}

const std::vector<std::string> kLogin = {"+OK ready\r\n", "+OK\r\n", "+OK\r\n"};

std::vector<std::string> LoginThen(std::vector<std::string> rest) {
  std::vector<std::string> all = kLogin;
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

struct OutcomeRow {
  const char* Name;
  ConnectFailurePolicy Policy;
  Drive Run;  // after StartCycle, until mailbox 0 is done
  MailboxResult Result;
  NotCheckedReason Reason;
  // The failure text, looked up in English; empty for outcomes without one.
  std::function<std::string()> Text;
};

std::string NoText() { return {}; }
std::string InUse() { return OwnString(900, OwnText::MailboxInUse); }

class CheckEngineOutcomeTest : public testing::TestWithParam<OutcomeRow> {};

TEST_P(CheckEngineOutcomeTest, ReportsTheMailboxOnceAndMovesOnAsThePolicySays) {
  const OutcomeRow& row = GetParam();
  auto rig = std::make_unique<CheckEngineRig>(row.Policy);
  MailboxRecord& box = rig->Enable(0);
  box.UIDL = "u1";
  box.StatusText = "earlier outcome";
  rig->Enable(1);
  rig->Engine.StartCycle();
  row.Run(*rig);

  ASSERT_FALSE(rig->Hooks.Outcomes.empty());
  const auto& [index, outcome] = rig->Hooks.Outcomes.front();
  EXPECT_EQ(index, 0);
  EXPECT_EQ(outcome.Result, row.Result);
  EXPECT_EQ(outcome.Reason, row.Reason);
  EXPECT_EQ(outcome.Text, row.Text());
  EXPECT_EQ(outcome.Counted(),
            row.Result == MailboxResult::NewMail || row.Result == MailboxResult::NoNewMail);
  if (!outcome.Counted()) {
    EXPECT_EQ(box.StatusText, outcome.Text);
  }
  // A counted mailbox keeps showing the state its dialogue ended in.
  EXPECT_EQ(box.State, outcome.Counted() ? MailboxState::QuitSent : MailboxState::Idle);
  // Mailbox 1 is asked next and still under way.
  EXPECT_EQ(rig->State.CurrentMailbox, 1);
  EXPECT_EQ(rig->Socket.Connects.back().RemoteHost, "pop1.test");
  EXPECT_EQ(rig->Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig->Hooks.Count("NotifyNewMail"), 0);
}

const ConnectFailurePolicy kRest = ConnectFailurePolicy::RestUntilNextCycle;
const ConnectFailurePolicy kGoOn = ConnectFailurePolicy::FailAndGoOn;

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckEngineOutcomeTest,
    testing::Values(
        OutcomeRow{"NewMail", kRest,
                   Dialogue(LoginThen({"+OK 2 200\r\n", "+OK 0\r\n", "+OK\r\n1 u1\r\n2 u2\r\n.\r\n",
                                       "+OK\r\nFrom: a\r\n\r\n.\r\n", "+OK bye\r\n"})),
                   MailboxResult::NewMail, NotCheckedReason::None, NoText},
        OutcomeRow{"NoNewMail", kRest,
                   Dialogue(LoginThen({"+OK 1 100\r\n", "+OK 0\r\n", "+OK\r\n1 u1\r\n.\r\n",
                                       "+OK bye\r\n"})),
                   MailboxResult::NoNewMail, NotCheckedReason::None, NoText},
        OutcomeRow{
            "QuitUnanswered", kRest,
            [](CheckEngineRig& rig) {
              Dialogue(LoginThen({"+OK 1 100\r\n", "+OK 0\r\n", "+OK\r\n1 u1\r\n.\r\n"}))(rig);
              rig.TimerQuit.Fire();
            },
            MailboxResult::NoNewMail, NotCheckedReason::None, NoText},
        OutcomeRow{"PasswordWrong", kGoOn, Dialogue({"+OK ready\r\n", "+OK\r\n", "-ERR no\r\n"}),
                   MailboxResult::Failed, NotCheckedReason::None,
                   [] { return LocalString(900, StringId::PasswordWrong); }},
        OutcomeRow{"PassLocked", kGoOn,
                   Dialogue({"+OK ready\r\n", "+OK\r\n", "-ERR [IN-USE] Mailbox in use\r\n"}),
                   MailboxResult::NotChecked, NotCheckedReason::MaildropLocked, InUse},
        OutcomeRow{"UserLocked", kRest, Dialogue({"+OK ready\r\n", "-ERR maildrop lock busy\r\n"}),
                   MailboxResult::NotChecked, NotCheckedReason::MaildropLocked, InUse},
        OutcomeRow{"ServerClosed", kRest,
                   [](CheckEngineRig& rig) {
                     rig.Socket.RaiseConnect();
                     rig.Socket.RaisePeerClose();
                   },
                   MailboxResult::Failed, NotCheckedReason::None,
                   [] { return OwnString(900, OwnText::ConnectionClosedByServer); }},
        OutcomeRow{"NoConnection", kRest, [](CheckEngineRig& rig) { rig.Timeout.Fire(); },
                   MailboxResult::Failed, NotCheckedReason::None,
                   [] { return LocalString(900, StringId::MailServerNotAvailable); }}),
    [](const testing::TestParamInfo<OutcomeRow>& info) { return std::string(info.param.Name); });

// A connect request that fails at once: the tray's cycle rests on that mailbox, a one-shot
// run fails it with the socket's words (or the error number) and goes on.
struct ConnectRow {
  const char* Name;
  ConnectFailurePolicy Policy;
  SocketError Error;
  MailboxResult Result;
  NotCheckedReason Reason;
  std::function<std::string()> Text;
  bool CycleGoesOn;
};

class ConnectFailsAtOnceTest : public testing::TestWithParam<ConnectRow> {};

TEST_P(ConnectFailsAtOnceTest, FollowsThePolicy) {
  const ConnectRow& row = GetParam();
  auto rig = std::make_unique<CheckEngineRig>(row.Policy);
  MailboxRecord& box = rig->Enable(0);
  box.StatusText = "earlier outcome";
  rig->Enable(1);
  rig->LogOn();
  rig->Socket.ConnectErrors.push_back(row.Error);
  rig->Engine.StartCycle();

  ASSERT_EQ(rig->Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig->Hooks.Outcomes[0].first, 0);
  EXPECT_EQ(rig->Hooks.Outcomes[0].second.Result, row.Result);
  EXPECT_EQ(rig->Hooks.Outcomes[0].second.Reason, row.Reason);
  EXPECT_EQ(rig->Hooks.Outcomes[0].second.Text, row.Text());
  EXPECT_EQ(box.State, MailboxState::Idle);
  if (row.CycleGoesOn) {
    EXPECT_EQ(box.StatusText, row.Text());
    EXPECT_NE(rig->Log().find(row.Text()), std::string::npos);
    EXPECT_EQ(rig->State.CurrentMailbox, 1);
    EXPECT_EQ(rig->Socket.Connects.back().RemoteHost, "pop1.test");
    EXPECT_EQ(rig->Box(1).State, MailboxState::Connecting);
  } else {
    EXPECT_EQ(box.StatusText, "earlier outcome");
    EXPECT_EQ(rig->State.CurrentMailbox, 0);
    EXPECT_EQ(rig->Socket.Connects.size(), 1u);
    EXPECT_FALSE(rig->Engine.DialogueRunning());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConnectFailsAtOnceTest,
    testing::Values(ConnectRow{"TrayRests", ConnectFailurePolicy::RestUntilNextCycle,
                               SocketError{10065, "No route to host"}, MailboxResult::NotChecked,
                               NotCheckedReason::ConnectRests, [] { return std::string(); }, false},
                    ConnectRow{"RunFailsWithTheSocketText", ConnectFailurePolicy::FailAndGoOn,
                               SocketError{10065, "No route to host"}, MailboxResult::Failed,
                               NotCheckedReason::None,
                               [] { return std::string("No route to host"); }, true},
                    ConnectRow{"RunFailsWithTheNumberWhenTheSocketSaysNothing",
                               ConnectFailurePolicy::FailAndGoOn, SocketError{10065, ""},
                               MailboxResult::Failed, NotCheckedReason::None,
                               [] { return std::string("Socket error 10065"); }, true}),
    [](const testing::TestParamInfo<ConnectRow>& info) { return std::string(info.param.Name); });

TEST(CheckEngineCycleEndTest, EveryMailboxReportsOnceThenTheCycleEnds) {
  CheckEngineRig rig;
  for (int i : {0, 4, 9}) rig.Enable(i);
  rig.Engine.StartCycle();
  for (int i = 0; i < 3; ++i) rig.Timeout.Fire();
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 3u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].first, 0);
  EXPECT_EQ(rig.Hooks.Outcomes[1].first, 4);
  EXPECT_EQ(rig.Hooks.Outcomes[2].first, 9);
  EXPECT_EQ(rig.Hooks.Count("NotifyNewMail"), 1);
  EXPECT_EQ(rig.State.CurrentMailbox, 0);
}

TEST(CheckEngineCycleEndTest, StoppedCycleIgnoresWhatTheOldConnectionDelivers) {
  CheckEngineRig rig;
  MailboxRecord& box = rig.Enable(0);
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  rig.Socket.Receive("+OK ready\r\n");
  ASSERT_EQ(box.State, MailboxState::UserSent);
  rig.Engine.StopCycle();
  EXPECT_FALSE(rig.Socket.Open);
  EXPECT_FALSE(rig.Timeout.IsRunning());
  EXPECT_FALSE(rig.TimerQuit.IsRunning());
  const std::size_t sent = rig.Socket.Sent.size();
  rig.Socket.Receive("+OK\r\n");
  rig.Socket.RaiseError(10054, "Connection reset");
  rig.Socket.RaisePeerClose();
  rig.Timeout.Fire();
  rig.TimerQuit.Fire();
  EXPECT_EQ(rig.Socket.Sent.size(), sent);
  EXPECT_TRUE(rig.Hooks.Outcomes.empty());
  EXPECT_TRUE(rig.Hooks.Calls.empty());
}

}  // namespace
}  // namespace postvane
