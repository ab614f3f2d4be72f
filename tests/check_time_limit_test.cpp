// A server that trickles bytes so that the silence time-out never trips: the whole check of its
// mailbox still ends at its limit, with its own text, and the cycle goes on with the next one.
#include "check/check_time_limit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program_state.h"
#include "check/check_engine.h"
#include "check/receive_log.h"
#include "check/silent_server_guard.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_cycle_hooks.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "settings/program_paths.h"

namespace postvane {
namespace {

const std::string kTooLong = "Check too long (test text)";
constexpr int kFiveMinutesMs = 5 * 60 * 1000;
constexpr int kPerMessageMs = 10 * 1000;

// The socket chain of the tray programs: engine, limit, silence guard, socket.
struct LimitedRig {
  ProgramState State;
  FakeSocket Socket;
  FakeTimer Reply{kReplyTimeoutMs};
  SilentServerGuard Silence{Socket, Reply, [] { return std::string("silent"); }};
  FakeTimer Tick{kCheckLimitTickMs};
  CheckTimeLimit Limit{Silence, Tick, [] { return kTooLong; }};
  FakeTimer Timeout{kConnectTimeoutMs};
  FakeTimer TimerQuit{kQuitWaitMs};
  FakeClock Clock;
  FakeFileSystem Files;
  FakeCycleHooks Hooks;
  ReceiveLogTarget LogTarget{State.General.ReceiveLog, State.Paths.ReceiveLog};
  CheckEngine Engine{State, Limit, Timeout, TimerQuit, Clock, Files, Hooks, LogTarget};

  LimitedRig() {
    State.Paths = MakeProgramPaths("pv");
    for (int i = 0; i < 2; ++i) {
      MailboxRecord& box = State.Mailboxes[static_cast<std::size_t>(i)];
      box.Headers.resize(1);
      box.Enabled = kTrue;
      box.RemoteHost = "pop" + std::to_string(i) + ".test";
      box.RemotePort = 110;
      box.User = "user";
      box.Password = "secret";
    }
  }
  MailboxRecord& Box(int index) { return State.Mailboxes[static_cast<std::size_t>(index)]; }
  int TopsSent() const {
    int count = 0;
    for (const std::string& bytes : Socket.Sent) count += bytes.starts_with("TOP ") ? 1 : 0;
    return count;
  }
};

struct TrickleCase {
  const char* name;
  int messages;      // messages on the server, all new
  int wholeHeaders;  // header blocks the server sends whole before it starts to trickle
};

class CheckTimeLimitTest : public ::testing::TestWithParam<TrickleCase> {};

TEST_P(CheckTimeLimitTest, TrickleEndsAtFiveMinutesPlusTenSecondsPerFetchedHeader) {
  const TrickleCase& c = GetParam();
  LimitedRig rig;
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  const std::string stat = "+OK " + std::to_string(c.messages) + " 100\r\n";
  for (const std::string& reply : {std::string("+OK hi\r\n"), std::string("+OK\r\n"),
                                   std::string("+OK\r\n"), stat, std::string("+OK 0\r\n")}) {
    rig.Socket.Receive(reply);
  }
  if (c.messages == 0) {
    rig.Socket.Receive("+OK\r\n");  // the listing opens, and then trickles
  } else {
    rig.Socket.Receive("-ERR no UIDL\r\n");
    for (int k = 0; k < c.wholeHeaders; ++k) rig.Socket.Receive("+OK\r\nFrom: a\r\n\r\n.\r\n");
    rig.Socket.Receive("+OK\r\n");
  }
  const MailboxState trickling = rig.Box(0).State;
  ASSERT_TRUE(trickling == MailboxState::UidlSent || trickling == MailboxState::TopSent);
  ASSERT_EQ(rig.TopsSent(), c.messages == 0 ? 0 : c.wholeHeaders + 1);

  const int closes = rig.Socket.CloseCount;
  int ticks = 0;
  while (rig.Box(0).State == trickling && ticks < 1000) {
    // One header line per tick: the silence time-out starts again every time.
    const int replyStarts = rig.Reply.StartCount;
    rig.Socket.Receive("X-Slow: y\r\n");
    ASSERT_GT(rig.Reply.StartCount, replyStarts);
    ASSERT_TRUE(rig.Tick.Fire());
    ++ticks;
  }
  EXPECT_EQ(ticks * rig.Tick.IntervalMs, kFiveMinutesMs + kPerMessageMs * rig.TopsSent());
  EXPECT_EQ(rig.Box(0).StatusText, kTooLong);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  ASSERT_FALSE(rig.Hooks.Outcomes.empty());
  EXPECT_EQ(rig.Hooks.Outcomes.front().first, 0);
  EXPECT_EQ(rig.Hooks.Outcomes.front().second.Result, MailboxResult::Failed);
  EXPECT_GT(rig.Socket.CloseCount, closes) << "the trickling connection is closed";
  ASSERT_EQ(rig.Socket.Connects.size(), 2u) << "the cycle moves on";
  EXPECT_EQ(rig.Socket.Connects[1].RemoteHost, "pop1.test");
  EXPECT_EQ(rig.Limit.TicksLeft(), kCheckLimitBaseTicks) << "the next mailbox gets a fresh limit";
}

INSTANTIATE_TEST_SUITE_P(Points, CheckTimeLimitTest,
                         ::testing::Values(TrickleCase{"InTheListing", 0, 0},
                                           TrickleCase{"InTheFirstHeader", 3, 0},
                                           TrickleCase{"AfterTwoHeaders", 5, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// Records what the limit passes on.
struct RecordingListener : SocketListener {
  std::vector<std::string> Events;
  void OnConnect() override { Events.push_back("connect"); }
  void OnDataArrival() override { Events.push_back("data"); }
  void OnSocketError(int number, const std::string& text) override {
    Events.push_back("error " + std::to_string(number) + " " + text);
  }
  void OnSocketClose() override { Events.push_back("close"); }
  void OnTlsHandshake(const TlsHandshake&) override { Events.push_back("handshake"); }
};

TEST(CheckTimeLimitUnitTest, EveryPipelinedTopRaisesTheLimit) {
  FakeSocket socket;
  FakeTimer tick{kCheckLimitTickMs};
  CheckTimeLimit limit(socket, tick, [] { return kTooLong; });
  RecordingListener listener;
  limit.SetListener(&listener);
  ASSERT_FALSE(limit.Connect());
  const int base = limit.TicksLeft();
  limit.SendData("TOP 4 0\r\nTOP 5 0\r\nTOP 6 0\r\n");
  limit.SendData("QUIT\r\n");
  EXPECT_EQ(limit.TicksLeft(), base + 3);
  ASSERT_EQ(socket.Sent.size(), 2u) << "the bytes go on unchanged";
  EXPECT_EQ(socket.Sent[0], "TOP 4 0\r\nTOP 5 0\r\nTOP 6 0\r\n");
  for (int k = 1; k < base + 3; ++k) ASSERT_TRUE(tick.Fire());
  EXPECT_TRUE(listener.Events.empty());
  ASSERT_TRUE(tick.Fire());
  EXPECT_EQ(
      listener.Events,
      (std::vector<std::string>{"error " + std::to_string(kSocketCheckTooLong) + " " + kTooLong}));
  EXPECT_FALSE(tick.IsRunning());
}

TEST(CheckTimeLimitUnitTest, NoCountWithoutAConnection) {
  FakeSocket socket;
  FakeTimer tick{kCheckLimitTickMs};
  CheckTimeLimit limit(socket, tick, [] { return kTooLong; });
  socket.ConnectErrorAlways = {10061, "refused"};
  EXPECT_TRUE(limit.Connect());
  EXPECT_FALSE(tick.IsRunning()) << "a refused request starts no check";
  socket.ConnectErrorAlways = {};
  ASSERT_FALSE(limit.Connect());
  EXPECT_TRUE(tick.IsRunning());
  limit.Close();
  EXPECT_FALSE(tick.IsRunning());
  EXPECT_EQ(limit.TicksLeft(), 0);
}

}  // namespace
}  // namespace postvane
