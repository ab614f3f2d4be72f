// A server that goes silent at any point of the dialogue: its mailbox fails with its own text
// once the reply time-out runs out, and the cycle goes on with the next mailbox.
#include "check/silent_server_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program_state.h"
#include "check/check_engine.h"
#include "check/receive_log.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_cycle_hooks.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "settings/program_paths.h"

namespace postvane {
namespace {

const std::string kNoAnswer = "No answer (test text)";

// The engine talks through the guard; the test plays the server and fires the timers.
struct GuardedRig {
  ProgramState State;
  FakeSocket Socket;
  FakeTimer Reply{kReplyTimeoutMs};
  SilentServerGuard Guard{Socket, Reply, [] { return kNoAnswer; }};
  FakeTimer Timeout{kConnectTimeoutMs};
  FakeTimer TimerQuit{kQuitWaitMs};
  FakeClock Clock;
  FakeFileSystem Files;
  FakeCycleHooks Hooks;
  ReceiveLogTarget LogTarget{State.General.ReceiveLog, State.Paths.ReceiveLog};
  CheckEngine Engine{State, Guard, Timeout, TimerQuit, Clock, Files, Hooks, LogTarget};

  GuardedRig() {
    State.Paths = MakeProgramPaths("pv");
    for (int i = 0; i < 2; ++i) {
      MailboxRecord& box = State.Mailboxes[static_cast<std::size_t>(i)];
      box.Headers.resize(1);
      box.Enabled = kTrue;
      box.Name = "Box " + std::to_string(i);
      box.RemoteHost = "pop" + std::to_string(i) + ".test";
      box.RemotePort = 110;
      box.User = "user";
      box.Password = "secret";
    }
  }
  MailboxRecord& Box(int index) { return State.Mailboxes[static_cast<std::size_t>(index)]; }
};

// Replies up to the point where the server stops answering.
struct SilenceCase {
  const char* name;
  std::vector<std::string> replies;
};

class SilentServerTest : public ::testing::TestWithParam<SilenceCase> {};

TEST_P(SilentServerTest, MailboxFailsAndTheCycleGoesOn) {
  GuardedRig rig;
  rig.Engine.StartCycle();
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_FALSE(rig.Reply.IsRunning()) << "before the connection the connect time-out rules";
  rig.Socket.RaiseConnect();
  EXPECT_TRUE(rig.Reply.IsRunning());
  const int closes = rig.Socket.CloseCount;
  for (const std::string& reply : GetParam().replies) {
    const int starts = rig.Reply.StartCount;
    rig.Socket.Receive(reply);
    EXPECT_GT(rig.Reply.StartCount, starts) << "every block starts the wait again";
  }
  ASSERT_TRUE(rig.Reply.Fire());

  EXPECT_EQ(rig.Box(0).StatusText, kNoAnswer);
  EXPECT_EQ(rig.Box(0).State, MailboxState::Idle);
  EXPECT_GT(rig.Socket.CloseCount, closes);
  ASSERT_EQ(rig.Socket.Connects.size(), 2u) << "the next mailbox is checked";
  EXPECT_EQ(rig.Socket.Connects[1].RemoteHost, "pop1.test");
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_FALSE(rig.Reply.IsRunning()) << "the next mailbox is connecting again";
}

INSTANTIATE_TEST_SUITE_P(
    Points, SilentServerTest,
    ::testing::Values(SilenceCase{"NoGreeting", {}}, SilenceCase{"AfterGreeting", {"+OK hi\r\n"}},
                      SilenceCase{"AfterUser", {"+OK hi\r\n", "+OK\r\n"}},
                      SilenceCase{"InsideTheListing",
                                  {"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 2 9\r\n",
                                   "+OK 0\r\n", "+OK\r\n1 a\r\n"}},
                      SilenceCase{"HalfALine", {"+OK h"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SilentServerGuardTest, AnAnsweringServerIsNeverCutShort) {
  GuardedRig rig;
  rig.State.Mailboxes[1].Enabled = kFalse;
  rig.Engine.StartCycle();
  rig.Socket.RaiseConnect();
  for (const char* reply : {"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 1 9\r\n", "+OK 1\r\n",
                            "+OK\r\n1 a\r\n.\r\n", "+OK\r\nFrom: b\r\n\r\n.\r\n"}) {
    rig.Socket.Receive(reply);
  }
  ASSERT_EQ(rig.Socket.LastLine(), "QUIT");
  rig.Socket.Receive("+OK bye\r\n");
  EXPECT_EQ(rig.Box(0).NewCount, 1);
  EXPECT_NE(rig.Box(0).StatusText, kNoAnswer);
  EXPECT_FALSE(rig.Reply.IsRunning()) << "a closed connection has nothing to wait for";
  EXPECT_FALSE(rig.Reply.Fire());
}

TEST(SilentServerGuardTest, ErrorsAndPeerCloseStopTheWait) {
  for (const bool peerClose : {false, true}) {
    GuardedRig rig;
    rig.Engine.StartCycle();
    rig.Socket.RaiseConnect();
    if (peerClose) {
      rig.Socket.RaisePeerClose();
    } else {
      rig.Socket.RaiseError(10054, "reset");
    }
    EXPECT_NE(rig.Box(0).StatusText, kNoAnswer);
    EXPECT_FALSE(rig.Box(0).StatusText.empty());
    EXPECT_EQ(rig.State.CurrentMailbox, 1);
    EXPECT_FALSE(rig.Reply.IsRunning());
  }
}

// Records what the guard passes on.
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

TEST(SilentServerGuardTest, ASilentTlsHandshakeFailsLikeASilentReply) {
  for (const bool handshakeEnds : {false, true}) {
    FakeSocket socket;
    FakeTimer reply{kReplyTimeoutMs};
    SilentServerGuard guard(socket, reply, [] { return kNoAnswer; });
    RecordingListener listener;
    guard.SetListener(&listener);
    ASSERT_FALSE(guard.Connect());
    socket.RaiseConnect();
    const int starts = reply.StartCount;
    ASSERT_FALSE(guard.StartTls(TlsRequest{}));
    EXPECT_GT(reply.StartCount, starts) << "the handshake gets the whole time-out";
    if (handshakeEnds) {
      socket.FinishHandshake(TlsHandshake{});
      EXPECT_TRUE(reply.IsRunning()) << "and the greeting after it too";
    }
    ASSERT_TRUE(reply.Fire());
    EXPECT_EQ(listener.Events.back(), "error " + std::to_string(kSocketNoAnswer) + " " + kNoAnswer);
    EXPECT_FALSE(reply.IsRunning());
  }
}

}  // namespace
}  // namespace postvane
