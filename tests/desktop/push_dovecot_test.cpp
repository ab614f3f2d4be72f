// Push against a private Dovecot IMAP server on the Qt socket and timers: a message delivered
// while the watch idles brings the out-of-turn check and its count within seconds, long before
// any interval check; the delay from delivery is measured and reported.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/push_watches.h"
#include "check/mail_protocol.h"
#include "desktop/net/qt_socket.h"
#include "desktop/net/qt_timer.h"
#include "support/dovecot_fixture.h"
#include "support/qt_check_rig.h"
#include "support/qt_test_main.h"

namespace postvane {
namespace {

using namespace std::chrono_literals;
using test::DovecotFixture;
using test::DovecotOptions;
using test::QtCheckRig;

constexpr int kMailbox = 2;
// Generous: the aim is about 2 s; only a broken push takes this long.
constexpr auto kPushDeadline = 30s;

std::string Message(int n) {
  return "From: Sender <sender@example.org>\nTo: alice@example.org\nSubject: Push " +
         std::to_string(n) + "\nMessage-ID: <push" + std::to_string(n) + "@example.org>\n\nBody.\n";
}

DovecotOptions ImapOptions() {
  DovecotOptions options;
  options.Imap = true;
  return options;
}

class PushDovecot : public testing::Test {
 protected:
  PushDovecot()
      : push_(
            {.MakeSocket = [] { return std::make_unique<QtSocket>(); },
             .MakeTimer = [](int milliseconds) { return std::make_unique<QtTimer>(milliseconds); },
             .ReplyTimeoutMs = 5000},
            {.CheckNow =
                 [this](int16_t index) {
                   pushes_.push_back(clock_.elapsed());
                   rig_.Engine.CheckMailboxNow(index);
                 },
             .Log = [this](int16_t, std::string_view text) { log_ += std::string(text) + "\n"; },
             .Lost = {}}) {
    clock_.start();
  }

  void SetUp() override {
    ASSERT_TRUE(dovecot_.Running()) << dovecot_.Failure();
    MailboxRecord& box = rig_.Enable(kMailbox, dovecot_.ImapPort());
    box.Protocol = static_cast<int16_t>(MailProtocol::Imap);
    box.Security = static_cast<int16_t>(SecurityMode::None);
  }

  void TearDown() override { push_.StopAll(); }

  // Starts the watch and waits until the server has confirmed IDLE.
  bool WatchIdles() {
    push_.Update(rig_.State.Mailboxes, rig_.State.LanguageBase, 4);
    return rig_.SpinUntil(
        [this] {
          const ImapWatch* watch = push_.Watch(kMailbox);
          return watch != nullptr && watch->Current() == ImapWatch::Step::Idling;
        },
        20s);
  }

  DovecotFixture dovecot_{ImapOptions()};
  QtCheckRig rig_;
  QElapsedTimer clock_;
  std::vector<qint64> pushes_;
  std::string log_;
  PushWatches push_;
};

TEST_F(PushDovecot, DeliveryWhileIdlingBringsTheCheckAndItsCountWithinSeconds) {
  ASSERT_TRUE(WatchIdles()) << log_ << dovecot_.ServerLog();
  // The watch connection uses a port the system chose, not the check's first local port.
  EXPECT_TRUE(pushes_.empty());

  const qint64 delivered = clock_.elapsed();
  ASSERT_TRUE(dovecot_.Deliver(Message(1)));
  ASSERT_TRUE(rig_.SpinUntil([this] { return !pushes_.empty(); }, kPushDeadline))
      << log_ << dovecot_.ServerLog();
  const qint64 pushDelay = pushes_.front() - delivered;

  ASSERT_TRUE(rig_.SpinUntil([this] { return rig_.CyclesEnded() >= 1; }, kPushDeadline))
      << rig_.Log();
  const qint64 countDelay = clock_.elapsed() - delivered;
  ASSERT_EQ(rig_.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig_.Hooks.Outcomes[0].first, kMailbox);
  EXPECT_EQ(rig_.Hooks.Outcomes[0].second.Result, MailboxResult::NewMail)
      << rig_.Box(kMailbox).StatusText << "\n"
      << rig_.Log();
  EXPECT_EQ(rig_.Box(kMailbox).NewCount, 1);

  std::cout << "push delay: " << pushDelay << " ms from delivery to the server's word, "
            << countDelay << " ms to the new count\n";
  RecordProperty("push_delay_ms", static_cast<int>(pushDelay));
  RecordProperty("count_delay_ms", static_cast<int>(countDelay));
  // Far below the shortest interval check (one minute).
  EXPECT_LT(countDelay, 60000);

  // The watch stays in IDLE for the next message.
  ASSERT_TRUE(rig_.SpinUntil(
      [this] { return push_.Watch(kMailbox)->Current() == ImapWatch::Step::Idling; }, 20s));
  ASSERT_TRUE(dovecot_.Deliver(Message(2)));
  ASSERT_TRUE(rig_.SpinUntil([this] { return rig_.CyclesEnded() >= 2; }, kPushDeadline));
  EXPECT_EQ(rig_.Box(kMailbox).NewCount, 2);
}

TEST_F(PushDovecot, StopLogsOutOfTheServer) {
  ASSERT_TRUE(WatchIdles()) << log_ << dovecot_.ServerLog();
  push_.StopAll();
  EXPECT_NE(log_.find("W3 IDLE"), std::string::npos) << log_;
  // The server logs the end of the session once the LOGOUT reached it.
  EXPECT_TRUE(rig_.SpinUntil(
      [this] { return dovecot_.ServerLog().find("Logged out") != std::string::npos; }, 20s))
      << dovecot_.ServerLog();
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
