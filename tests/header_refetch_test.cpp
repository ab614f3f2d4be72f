// A header fetch that is cut off (a new cycle, a socket error, the server closing) must not
// leave the new messages without headers for as long as their number stays the same.
#include <gtest/gtest.h>

#include <string>

#include "fakes/check_engine_rig.h"

namespace postvane {
namespace {

const char kListing[] = "+OK\r\n1 uid-a\r\n2 uid-b\r\n3 uid-c\r\n.\r\n";

std::string Top(int n) {
  return "+OK\r\nFrom: sender" + std::to_string(n) + "\r\nSubject: subject" + std::to_string(n) +
         "\r\n\r\n.\r\n";
}

class HeaderRefetchTest : public ::testing::Test {
 protected:
  HeaderRefetchTest() {
    MailboxRecord& box = rig.Enable(0);
    box.UIDL = "uid-a";
  }

  MailboxRecord& Box() { return rig.Box(0); }

  // A new cycle up to the listing; the engine then asks for TOP 2 or says QUIT.
  void CheckUpToListing() {
    rig.StartAndConnect();
    rig.DriveTo(MailboxState::UidlSent, 3);
    rig.Socket.Receive(kListing);
  }

  CheckEngineRig rig;
};

TEST_F(HeaderRefetchTest, NewCycleDuringTheFetchFetchesTheHeadersNextTime) {
  CheckUpToListing();
  ASSERT_EQ(rig.Socket.LastLine(), "TOP 2 0");
  rig.Socket.Receive(Top(2));
  ASSERT_EQ(rig.Socket.LastLine(), "TOP 3 0");
  // Cut off before message 3's headers came.
  CheckUpToListing();
  EXPECT_EQ(Box().NewCount, 2);
  EXPECT_EQ(rig.Socket.LastLine(), "TOP 2 0");
  rig.Socket.Receive(Top(2));
  rig.Socket.Receive(Top(3));
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
  ASSERT_EQ(Box().Headers.size(), 3u);
  EXPECT_EQ(Box().Headers[1].From, "sender3");
  EXPECT_EQ(Box().Headers[2].From, "sender2");
}

TEST_F(HeaderRefetchTest, ServerClosingDuringTheFetch) {
  CheckUpToListing();
  rig.Socket.RaisePeerClose();
  EXPECT_EQ(Box().State, MailboxState::Idle);
  CheckUpToListing();
  EXPECT_EQ(rig.Socket.LastLine(), "TOP 2 0");
}

TEST_F(HeaderRefetchTest, SocketErrorDuringTheFetch) {
  CheckUpToListing();
  rig.Socket.Receive("+OK\r\nFrom: half");
  rig.Socket.RaiseError(10054, "Connection reset by peer");
  EXPECT_EQ(Box().StatusText, "Connection reset by peer");
  CheckUpToListing();
  EXPECT_EQ(rig.Socket.LastLine(), "TOP 2 0");
}

TEST_F(HeaderRefetchTest, CompleteFetchIsNotRepeatedForTheSameCount) {
  CheckUpToListing();
  rig.Socket.Receive(Top(2));
  rig.Socket.Receive(Top(3));
  rig.Socket.Receive("+OK bye\r\n");
  CheckUpToListing();
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
  EXPECT_EQ(Box().Headers[1].From, "sender3");
}

TEST_F(HeaderRefetchTest, FetchEndedByTheServersErrorIsNotRepeated) {
  // The server refused the message: asking again each cycle would get the same answer.
  CheckUpToListing();
  rig.Socket.Receive("-ERR no such message\r\n");
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
  rig.Socket.Receive("+OK bye\r\n");
  CheckUpToListing();
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
}

TEST_F(HeaderRefetchTest, AnotherMailboxsCutOffFetchDoesNotCount) {
  MailboxRecord& other = rig.Enable(1);
  other.UIDL = "uid-a";
  // Mailbox 0 completes; mailbox 1 is cut off in its fetch by a new cycle.
  CheckUpToListing();
  rig.Socket.Receive(Top(2));
  rig.Socket.Receive(Top(3));
  rig.Socket.Receive("+OK bye\r\n");
  ASSERT_EQ(rig.State.CurrentMailbox, 1);
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::UidlSent, 3);
  rig.Socket.Receive(kListing);
  ASSERT_EQ(rig.Socket.LastLine(), "TOP 2 0");
  // The next cycle: mailbox 0 keeps its headers, mailbox 1 fetches again.
  CheckUpToListing();
  EXPECT_EQ(rig.Socket.LastLine(), "QUIT");
  rig.Socket.Receive("+OK bye\r\n");
  rig.Socket.RaiseConnect();
  rig.DriveTo(MailboxState::UidlSent, 3);
  rig.Socket.Receive(kListing);
  EXPECT_EQ(rig.Socket.LastLine(), "TOP 2 0");
}

}  // namespace
}  // namespace postvane
