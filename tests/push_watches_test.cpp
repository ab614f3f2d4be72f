// Which mailboxes get a push watch, and how the watches follow changes of the table.
#include "app/push_watches.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/mail_protocol.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"

namespace postvane {
namespace {

MailboxRecord ImapBox() {
  MailboxRecord box;
  box.Enabled = kTrue;
  box.Protocol = static_cast<int16_t>(MailProtocol::Imap);
  box.Push = kTrue;
  box.Security = static_cast<int16_t>(SecurityMode::Tls);
  box.RemoteHost = "imap.test";
  box.RemotePort = 993;
  box.User = "u";
  box.Password = "p";
  box.Folder = "Work";
  box.CertFingerprint = "AB";
  return box;
}

struct TargetCase {
  const char* Name;
  std::function<void(MailboxRecord&)> Change;
  bool Watched;
};

class PushTargetTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(PushTargetTest, OnlyEnabledImapMailboxesWithPushAndAKnownSetupAreWatched) {
  MailboxRecord box = ImapBox();
  GetParam().Change(box);
  EXPECT_EQ(PushTarget(box, 3).has_value(), GetParam().Watched);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PushTargetTest,
    ::testing::Values(TargetCase{"ImapWithPush", [](MailboxRecord&) {}, true},
                      TargetCase{"PushKeyAbsentMeansOn",
                                 [](MailboxRecord& b) { b.Push = MailboxRecord{}.Push; }, true},
                      TargetCase{"StartTls", [](MailboxRecord& b) { b.Security = 2; }, true},
                      TargetCase{"Pop3", [](MailboxRecord& b) { b.Protocol = 0; }, false},
                      TargetCase{"PushOff", [](MailboxRecord& b) { b.Push = kFalse; }, false},
                      TargetCase{"Disabled", [](MailboxRecord& b) { b.Enabled = kFalse; }, false},
                      TargetCase{"UnknownProtocol",
                                 [](MailboxRecord& b) { b.Protocol = kUnknownProtocol; }, false},
                      TargetCase{"UnknownSecurity",
                                 [](MailboxRecord& b) { b.Security = kUnknownSecurity; }, false},
                      TargetCase{"KeyringLocked",
                                 [](MailboxRecord& b) {
                                   b.PasswordInKeyring = kTrue;
                                   b.PasswordUnknown = true;
                                 },
                                 false},
                      TargetCase{"NoHost", [](MailboxRecord& b) { b.RemoteHost.clear(); }, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PushTargetTest, TargetCarriesWhatTheLoginNeeds) {
  const std::optional<WatchTarget> target = PushTarget(ImapBox(), 3);
  ASSERT_TRUE(target.has_value());
  EXPECT_EQ(*target, (WatchTarget{3, "imap.test", 993, SecurityMode::Tls, "u", "p", "Work", "AB"}));
}

TEST(PushTargetTest, LongestRetryIsTheTimeBetweenTwoIntervalChecks) {
  EXPECT_EQ(LongestRetryMs(0), 60000);
  EXPECT_EQ(LongestRetryMs(4), 300000);
  EXPECT_EQ(LongestRetryMs(-2), 60000);
}

class PushWatchesTest : public ::testing::Test {
 protected:
  PushWatchesTest()
      : watches({.MakeSocket =
                     [this] {
                       auto socket = std::make_unique<FakeSocket>();
                       sockets.push_back(socket.get());
                       return socket;
                     },
                 .MakeTimer =
                     [this](int milliseconds) {
                       auto timer = std::make_unique<FakeTimer>(milliseconds);
                       timers.push_back(timer.get());
                       return timer;
                     },
                 .ReplyTimeoutMs = 45000},
                {.CheckNow = [this](int16_t index) { checks.push_back(index); },
                 .Log = [this](int16_t, std::string_view text) { logs.emplace_back(text); },
                 .Lost =
                     [this](int16_t index, std::string_view, int retryMs) {
                       losses.push_back({index, retryMs});
                     }}) {}

  void Update() { watches.Update(table, 900, 4); }

  int ConnectsTo(const std::string& host) const {
    int count = 0;
    for (const FakeSocket* socket : sockets) {
      for (const auto& request : socket->Connects) count += request.RemoteHost == host ? 1 : 0;
    }
    return count;
  }

  MailboxTable table{};
  std::vector<FakeSocket*> sockets;
  std::vector<FakeTimer*> timers;
  std::vector<int16_t> checks;
  std::vector<std::string> logs;
  std::vector<std::pair<int16_t, int>> losses;
  PushWatches watches;
};

TEST_F(PushWatchesTest, WatchesStartForPushMailboxesOnlyEachOnItsOwnSocket) {
  table[1] = ImapBox();
  table[1].RemoteHost = "one.test";
  table[6] = ImapBox();
  table[6].RemoteHost = "six.test";
  table[2] = ImapBox();
  table[2].Protocol = 0;
  Update();
  ASSERT_EQ(sockets.size(), 2u);
  EXPECT_NE(watches.Watch(1), nullptr);
  EXPECT_NE(watches.Watch(6), nullptr);
  EXPECT_EQ(watches.Watch(2), nullptr);
  EXPECT_EQ(watches.Watch(10), nullptr);
  EXPECT_EQ(ConnectsTo("one.test"), 1);
  EXPECT_EQ(ConnectsTo("six.test"), 1);
  EXPECT_EQ(watches.Watch(1)->Current(), ImapWatch::Step::Connecting);
}

TEST_F(PushWatchesTest, UnchangedMailboxKeepsItsConnectionAndAChangedOneStartsAnew) {
  table[1] = ImapBox();
  table[3] = ImapBox();
  table[3].RemoteHost = "three.test";
  Update();
  const ImapWatch* first = watches.Watch(1);
  table[1].Name = "renamed";  // nothing the watch uses
  table[1].NewCount = 4;
  table[3].Password = "new";
  Update();
  EXPECT_EQ(watches.Watch(1), first);
  EXPECT_EQ(ConnectsTo("imap.test"), 1);
  EXPECT_EQ(ConnectsTo("three.test"), 2);
  EXPECT_EQ(watches.Watch(3)->Target().Password, "new");
  // The socket is reused rather than a new one made.
  EXPECT_EQ(sockets.size(), 2u);
}

TEST_F(PushWatchesTest, SwitchedOffMailboxLosesItsWatchAndStopAllEndsEveryOne) {
  table[1] = ImapBox();
  table[2] = ImapBox();
  Update();
  table[1].Push = kFalse;
  Update();
  EXPECT_EQ(watches.Watch(1), nullptr);
  EXPECT_FALSE(sockets[0]->Open);
  EXPECT_TRUE(sockets[1]->Open);
  watches.StopAll();
  EXPECT_EQ(watches.Watch(2), nullptr);
  EXPECT_FALSE(sockets[1]->Open);
}

TEST_F(PushWatchesTest, NewsFromAWatchAsksForACheckOfItsMailbox) {
  table[5] = ImapBox();
  table[5].Security = 0;
  Update();
  FakeSocket& socket = *sockets.at(0);
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] hi\r\n");
  socket.Receive("W1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\nW2 OK [READ-ONLY] ok\r\n+ idling\r\n");
  ASSERT_EQ(watches.Watch(5)->Current(), ImapWatch::Step::Idling);
  socket.Receive("* 2 EXISTS\r\n");
  EXPECT_EQ(checks, std::vector<int16_t>{5});
  EXPECT_FALSE(logs.empty());
  socket.RaisePeerClose();
  EXPECT_EQ(losses, (std::vector<std::pair<int16_t, int>>{{5, kFirstWatchRetryMs}}));
}

}  // namespace
}  // namespace postvane
