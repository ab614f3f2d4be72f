// The push watch of one IMAP mailbox against a scripted server: login, EXAMINE, IDLE, news,
// renewal, losses with back-off, servers without IDLE, and secure starts.
#include "check/imap_watch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

constexpr int kReplyMs = 45000;
constexpr int kLongestMs = 240000;

class ImapWatchTest : public ::testing::Test, public WatchEvents {
 protected:
  ImapWatchTest() {
    target.Index = 4;
    target.Host = "imap.test";
    target.Port = 143;
    target.Security = SecurityMode::None;
    target.User = "alice";
    target.Password = "pa\"ss";
  }

  ImapWatch& Make() {
    watch.reset();  // the old one lets go of the socket before the new one takes it
    watch = std::make_unique<ImapWatch>(
        target, socket,
        [this](int milliseconds) {
          auto timer = std::make_unique<FakeTimer>(milliseconds);
          timers.push_back(timer.get());
          return timer;
        },
        WatchTiming{kReplyMs, kLongestMs, kIdleRenewMs, kFirstWatchRetryMs}, *this, 900);
    return *watch;
  }

  // The most recent timer made with that interval.
  FakeTimer& TimerOf(int milliseconds) {
    for (auto it = timers.rbegin(); it != timers.rend(); ++it) {
      if ((*it)->IntervalMs == milliseconds) return **it;
    }
    ADD_FAILURE() << "no timer of " << milliseconds << " ms";
    static FakeTimer none;
    return none;
  }
  FakeTimer& Reply() { return TimerOf(kReplyMs); }
  FakeTimer& Renew() { return TimerOf(kIdleRenewMs); }
  // The back-off timer now running; null when none is.
  FakeTimer* RunningRetry() {
    for (FakeTimer* timer : timers) {
      if (timer->IntervalMs != kReplyMs && timer->IntervalMs != kIdleRenewMs && timer->Running) {
        return timer;
      }
    }
    return nullptr;
  }

  Lines SentLines() const {
    Lines lines;
    for (std::string bytes : socket.Sent) {
      if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) {
        bytes.resize(bytes.size() - 2);
      }
      lines.push_back(bytes);
    }
    return lines;
  }

  // From the connect event to IDLE on a plain server whose greeting lists IDLE.
  void ConnectToIdle() {
    socket.RaiseConnect();
    socket.Receive("* OK [CAPABILITY IMAP4rev1 LITERAL+ IDLE] ready\r\n");
    const std::string login = SentLines().back();
    const std::string tag = login.substr(0, login.find(' '));
    socket.Receive(tag + " OK [CAPABILITY IMAP4rev1 IDLE] Logged in\r\n");
    const std::string examine = SentLines().back();
    socket.Receive("* 3 EXISTS\r\n* 0 RECENT\r\n* OK [UIDVALIDITY 7] ok\r\n" +
                   examine.substr(0, examine.find(' ')) + " OK [READ-ONLY] Examined\r\n");
    socket.Receive("+ idling\r\n");
  }

  void StartToIdle() {
    Make().Start();
    ConnectToIdle();
    ASSERT_EQ(watch->Current(), ImapWatch::Step::Idling);
  }

  // The last tag sent ("W7" of "W7 NOOP").
  std::string LastTag() const {
    const std::string line = SentLines().back();
    return line.substr(0, line.find(' '));
  }

  void FolderChanged(int16_t index) override { changes.push_back(index); }
  void WatchLog(int16_t index, std::string_view text) override {
    EXPECT_EQ(index, 4);
    logs.emplace_back(text);
  }
  void WatchLost(int16_t index, std::string_view reason, int retryMs) override {
    EXPECT_EQ(index, 4);
    losses.emplace_back(std::string(reason), retryMs);
  }

  void TearDown() override {
    // Whatever happened, the password never reached the log.
    for (const std::string& line : logs) EXPECT_EQ(line.find(target.Password), std::string::npos);
  }

  WatchTarget target;
  FakeSocket socket;
  std::vector<FakeTimer*> timers;
  std::vector<int16_t> changes;
  Lines logs;
  std::vector<std::pair<std::string, int>> losses;
  std::unique_ptr<ImapWatch> watch;
};

TEST_F(ImapWatchTest, LogsInExaminesAndIdlesOnAPortTheSystemChooses) {
  socket.Port = 20000;
  StartToIdle();
  ASSERT_EQ(socket.Connects.size(), 1u);
  EXPECT_EQ(socket.Connects[0].LocalPort, 0);
  EXPECT_EQ(socket.Connects[0].RemoteHost, "imap.test");
  EXPECT_EQ(socket.Connects[0].RemotePort, 143);
  EXPECT_EQ(SentLines(),
            (Lines{"W1 LOGIN \"alice\" \"pa\\\"ss\"", "W2 EXAMINE \"INBOX\"", "W3 IDLE"}));
  // The counts of EXAMINE are the check's business, not news.
  EXPECT_TRUE(changes.empty());
  EXPECT_FALSE(Reply().Running);
  EXPECT_TRUE(Renew().Running);
  EXPECT_EQ(RunningRetry(), nullptr);
}

struct NewsCase {
  const char* Name;
  const char* Bytes;
  int Changes;
};

class ImapWatchNewsTest : public ImapWatchTest, public ::testing::WithParamInterface<NewsCase> {};

TEST_P(ImapWatchNewsTest, UntaggedNewsInIdleAsksForOneCheckPerBlock) {
  StartToIdle();
  socket.Receive(GetParam().Bytes);
  EXPECT_EQ(changes, std::vector<int16_t>(static_cast<std::size_t>(GetParam().Changes), 4));
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Idling);
  EXPECT_EQ(socket.Sent.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImapWatchNewsTest,
    ::testing::Values(
        NewsCase{"Exists", "* 4 EXISTS\r\n", 1}, NewsCase{"Expunge", "* 2 EXPUNGE\r\n", 1},
        NewsCase{"FlagsChanged", "* 3 FETCH (FLAGS (\\Seen))\r\n", 1},
        NewsCase{"LowerCase", "* 5 exists\r\n", 1},
        NewsCase{"SeveralInOneBlock", "* 4 EXISTS\r\n* 1 RECENT\r\n* 5 EXISTS\r\n", 1},
        NewsCase{"RecentAlone", "* 1 RECENT\r\n", 0},
        NewsCase{"StillHere", "* OK Still here\r\n", 0}, NewsCase{"HalfALine", "* 4 EXI", 0},
        NewsCase{"FetchWithLiteral", "* 3 FETCH (X {5}\r\nab\r\n) FLAGS ())\r\n", 1}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ImapWatchTest, NewsSplitOverPacketsCountsWhenItsLineIsWhole) {
  StartToIdle();
  socket.Receive("* 4 EX");
  EXPECT_TRUE(changes.empty());
  socket.Receive("ISTS\r\n");
  EXPECT_EQ(changes, std::vector<int16_t>{4});
}

TEST_F(ImapWatchTest, RenewalLeavesIdleProvesTheConnectionWithNoopAndIdlesAgain) {
  StartToIdle();
  ASSERT_TRUE(Renew().Fire());
  EXPECT_EQ(SentLines().back(), "DONE");
  EXPECT_TRUE(Reply().Running);
  socket.Receive("* 4 EXISTS\r\n");  // news during the renewal count as well
  socket.Receive("W3 OK Idle completed\r\n");
  EXPECT_EQ(SentLines().back(), "W4 NOOP");
  socket.Receive("W4 OK NOOP completed\r\n");
  EXPECT_EQ(SentLines().back(), "W5 IDLE");
  socket.Receive("+ idling\r\n");
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Idling);
  EXPECT_EQ(changes, std::vector<int16_t>{4});
  EXPECT_TRUE(Renew().Running);
  EXPECT_FALSE(Reply().Running);
}

TEST_F(ImapWatchTest, ServerEndingIdleByItselfIsIdledAgain) {
  StartToIdle();
  socket.Receive("W3 OK IDLE timed out\r\n");
  EXPECT_EQ(SentLines().back(), "W4 IDLE");
  EXPECT_TRUE(losses.empty());
}

TEST_F(ImapWatchTest, UnansweredNoopIsADeadConnection) {
  StartToIdle();
  Renew().Fire();
  socket.Receive("W3 OK Idle completed\r\n");
  ASSERT_EQ(SentLines().back(), "W4 NOOP");
  const int closes = socket.CloseCount;
  ASSERT_TRUE(Reply().Fire());
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
  EXPECT_GT(socket.CloseCount, closes);
  ASSERT_EQ(losses.size(), 1u);
  EXPECT_EQ(losses[0].first, OwnString(900, OwnText::NoAnswerFromServer));
  EXPECT_EQ(losses[0].second, kFirstWatchRetryMs);
  EXPECT_NE(logs.back().find(OwnString(900, OwnText::IdleConnectionLost)), std::string::npos);
}

TEST_F(ImapWatchTest, DroppedIdleReconnectsWithABackOffThatDoublesUpToTheInterval) {
  StartToIdle();
  std::vector<int> waits;
  for (int round = 0; round < 5; ++round) {
    socket.RaisePeerClose();
    FakeTimer* retry = RunningRetry();
    ASSERT_NE(retry, nullptr);
    waits.push_back(retry->IntervalMs);
    const std::size_t connects = socket.Connects.size();
    ASSERT_TRUE(retry->Fire());
    EXPECT_FALSE(retry->Running);
    EXPECT_EQ(socket.Connects.size(), connects + 1);
    ConnectToIdle();
  }
  EXPECT_EQ(waits, (std::vector<int>{30000, 60000, 120000, 240000, 240000}));
  // Each return to IDLE after a loss asks for a check: mail may have come meanwhile.
  EXPECT_EQ(changes.size(), 5u);
  EXPECT_EQ(losses.size(), 5u);
}

TEST_F(ImapWatchTest, ARenewalThatGetsThroughStartsTheBackOffAnew) {
  StartToIdle();
  socket.RaisePeerClose();
  RunningRetry()->Fire();
  ConnectToIdle();
  socket.RaisePeerClose();
  EXPECT_EQ(RunningRetry()->IntervalMs, 60000);
  RunningRetry()->Fire();
  ConnectToIdle();
  const std::string idleTag = LastTag();
  Renew().Fire();
  socket.Receive(idleTag + " OK done\r\n");
  socket.Receive(LastTag() + " OK noop\r\n");
  socket.Receive("+ idling\r\n");
  EXPECT_EQ(watch->NextRetryMs(), kFirstWatchRetryMs);
}

struct LossCase {
  const char* Name;
  const char* Reply;  // answers the step reached by `Steps` replies of the plain dialogue
  int Steps;
};

class ImapWatchLossTest : public ImapWatchTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(ImapWatchLossTest, AnswerThatEndsTheWatchLeadsToARetry) {
  Make().Start();
  socket.RaiseConnect();
  const std::vector<std::string> good = {"* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n",
                                         "W1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n",
                                         "W2 OK [READ-ONLY] done\r\n", "+ idling\r\n"};
  for (int i = 0; i < GetParam().Steps; ++i) socket.Receive(good[static_cast<std::size_t>(i)]);
  socket.Receive(GetParam().Reply);
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
  ASSERT_EQ(losses.size(), 1u);
  EXPECT_EQ(losses[0].second, kFirstWatchRetryMs);
  ASSERT_NE(RunningRetry(), nullptr);
  EXPECT_FALSE(socket.Open);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImapWatchLossTest,
    ::testing::Values(LossCase{"ByeGreeting", "* BYE Too many connections\r\n", 0},
                      LossCase{"LoginRefused", "W1 NO [AUTHENTICATIONFAILED] Nope\r\n", 1},
                      LossCase{"ByeAfterLogin", "* BYE Shutting down\r\n", 2},
                      LossCase{"FolderMissing", "W2 NO Mailbox doesn't exist: Nix\r\n", 2},
                      LossCase{"IdleRefused", "W3 BAD Unknown command\r\n", 3},
                      LossCase{"ByeInIdle", "* BYE Server shutting down\r\n", 4}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ImapWatchTest, ResponseOverTheLimitEndsTheConnection) {
  StartToIdle();
  socket.Receive("* 1 FETCH {" + std::to_string(kWatchReaderLimits.Literal + 1) + "}\r\n");
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
  StartToIdle();
  socket.Receive("* OK " + std::string(kWatchReaderLimits.Text, 'x'));
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
}

TEST_F(ImapWatchTest, ConnectRequestFailingAtOnceRetriesLater) {
  socket.ConnectErrors.push_back({10065, "no route"});
  Make().Start();
  ASSERT_EQ(losses.size(), 1u);
  EXPECT_EQ(losses[0].first, "no route");
  ASSERT_NE(RunningRetry(), nullptr);
  RunningRetry()->Fire();
  EXPECT_EQ(socket.Connects.size(), 2u);
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Connecting);
}

TEST_F(ImapWatchTest, SilentServerAfterConnectIsLost) {
  Make().Start();
  EXPECT_TRUE(Reply().Running);
  socket.RaiseConnect();
  Reply().Fire();
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
}

TEST_F(ImapWatchTest, ServerWithoutIdleIsLeftAloneAndNotRetried) {
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1] ready\r\n");
  socket.Receive("W1 OK Logged in\r\n");  // no capabilities in the reply: asked for
  EXPECT_EQ(SentLines().back(), "W2 CAPABILITY");
  socket.Receive("* CAPABILITY IMAP4rev1 NAMESPACE\r\nW2 OK done\r\n");
  EXPECT_EQ(watch->Current(), ImapWatch::Step::NoPush);
  EXPECT_EQ(SentLines().back(), "Z LOGOUT");
  EXPECT_FALSE(socket.Open);
  EXPECT_EQ(RunningRetry(), nullptr);
  EXPECT_FALSE(Reply().Running);
  EXPECT_TRUE(losses.empty());
  socket.RaisePeerClose();
  EXPECT_EQ(watch->Current(), ImapWatch::Step::NoPush);
}

TEST_F(ImapWatchTest, IdleListedOnlyAfterLoginIsUsed) {
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK ready\r\n");
  EXPECT_EQ(SentLines().back(), "W1 CAPABILITY");
  socket.Receive("* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nW1 OK\r\n");
  socket.Receive("* CAPABILITY IMAP4rev1 IDLE\r\nW2 OK in\r\n");
  EXPECT_EQ(SentLines().back(), "W3 EXAMINE \"INBOX\"");
}

TEST_F(ImapWatchTest, LoginDisabledUsesAuthenticatePlainAndKeepsThePasswordOutOfTheLog) {
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN IDLE] ready\r\n");
  EXPECT_EQ(SentLines().back(), "W1 AUTHENTICATE PLAIN");
  socket.Receive("+ \r\n");
  // "\0alice\0pa"ss" in base64.
  EXPECT_EQ(SentLines().back(), "AGFsaWNlAHBhInNz");
  EXPECT_EQ(logs.back(), "xxxxx");
  socket.Receive("W1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n");
  EXPECT_EQ(SentLines().back(), "W2 EXAMINE \"INBOX\"");
}

TEST_F(ImapWatchTest, PasswordBeyondSevenBitsGoesByPlainInTheFirstLineWhereOffered) {
  target.Password = "pässword";
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN IDLE] ready\r\n");
  EXPECT_EQ(SentLines().back().rfind("W1 AUTHENTICATE PLAIN AGFsaWNl", 0), 0u);
  EXPECT_EQ(logs.back(), "W1 AUTHENTICATE PLAIN xxxxx");
  socket.Receive("+ \r\n");  // more than PLAIN has: cancelled
  EXPECT_EQ(SentLines().back(), "*");
  socket.Receive("W1 NO [AUTHENTICATIONFAILED] cancelled\r\n");
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
}

TEST_F(ImapWatchTest, FolderNamesBeyondAsciiGoInModifiedUtf7) {
  target.Folder = "Entwürfe";
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\nW1 OK [CAPABILITY IDLE] in\r\n");
  EXPECT_EQ(SentLines().back(), "W2 EXAMINE \"Entw&APw-rfe\"");
}

TEST_F(ImapWatchTest, LoginDisabledWithoutPlainSendsNoPassword) {
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED IDLE] ready\r\n");
  EXPECT_TRUE(socket.Sent.empty());
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
}

TEST_F(ImapWatchTest, CredentialsThatCannotBeQuotedAreNeverSent) {
  target.Password = "two\r\nlines";
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n");
  EXPECT_TRUE(socket.Sent.empty());
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
}

TEST_F(ImapWatchTest, FolderIsExaminedQuoted) {
  target.Folder = "Lists/a \"b\"";
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\nW1 OK [CAPABILITY IDLE] in\r\n");
  EXPECT_EQ(SentLines().back(), "W2 EXAMINE \"Lists/a \\\"b\\\"\"");
}

TEST_F(ImapWatchTest, StartTlsComesBeforeAnyLoginAndCapabilitiesAreAskedAgain) {
  target.Security = SecurityMode::StartTls;
  target.TrustedFingerprint = "AB";
  Make().Start();
  socket.RaiseConnect();
  socket.Receive("* OK [CAPABILITY IMAP4rev1 STARTTLS IDLE] ready\r\n");
  EXPECT_EQ(SentLines(), Lines{"W1 STARTTLS"});
  socket.Receive("W1 OK Begin TLS\r\n");
  ASSERT_EQ(socket.TlsRequests.size(), 1u);
  EXPECT_EQ(socket.TlsRequests[0].HostName, "imap.test");
  EXPECT_EQ(socket.TlsRequests[0].TrustedFingerprint, "AB");
  socket.FinishHandshake({});
  EXPECT_EQ(SentLines().back(), "W2 CAPABILITY");
  socket.Receive("* CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN\r\nW2 OK\r\n");
  EXPECT_EQ(SentLines().back().substr(0, 9), "W3 LOGIN ");
  EXPECT_EQ(socket.SentInClear, (Lines{"W1 STARTTLS\r\n"}));
}

TEST_F(ImapWatchTest, StartTlsMissingRefusedOrInjectedNeverLogsIn) {
  target.Security = SecurityMode::StartTls;
  for (const std::string& script :
       {std::string("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n"),
        std::string("* OK [CAPABILITY IMAP4rev1 STARTTLS IDLE] ready\r\nW1 NO later\r\n"),
        std::string("* OK [CAPABILITY IMAP4rev1 STARTTLS IDLE] ready\r\nW1 OK go\r\n* OK x"),
        std::string("* PREAUTH [CAPABILITY IMAP4rev1 IDLE] hello\r\n")}) {
    Make().Start();
    socket.RaiseConnect();
    socket.Receive(script);
    EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying) << script;
    EXPECT_TRUE(socket.TlsRequests.empty()) << script;
  }
  for (const std::string& line : socket.Sent) EXPECT_EQ(line.find("LOGIN"), std::string::npos);
}

TEST_F(ImapWatchTest, TlsFromTheFirstByteHandshakesBeforeTheGreeting) {
  target.Security = SecurityMode::Tls;
  Make().Start();
  socket.RaiseConnect();
  ASSERT_EQ(socket.TlsRequests.size(), 1u);
  TlsHandshake refused;
  refused.Failure = TlsFailure::Untrusted;
  refused.Detail = "self-signed";
  socket.FinishHandshake(refused);
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Retrying);
  EXPECT_EQ(losses.at(0).first, "self-signed");
  EXPECT_TRUE(socket.Sent.empty());

  RunningRetry()->Fire();
  socket.RaiseConnect();
  socket.FinishHandshake({});
  socket.Receive("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n");
  EXPECT_EQ(SentLines().back().substr(0, 9), "W1 LOGIN ");
  EXPECT_TRUE(socket.SentInClear.empty());
}

TEST_F(ImapWatchTest, StopLeavesIdleLogsOutAndHearsNothingMore) {
  StartToIdle();
  watch->Stop();
  EXPECT_EQ(SentLines(), (Lines{"W1 LOGIN \"alice\" \"pa\\\"ss\"", "W2 EXAMINE \"INBOX\"",
                                "W3 IDLE", "DONE", "Z LOGOUT"}));
  EXPECT_FALSE(socket.Open);
  EXPECT_EQ(watch->Current(), ImapWatch::Step::Off);
  socket.Receive("* 9 EXISTS\r\n");
  socket.RaisePeerClose();
  EXPECT_TRUE(changes.empty());
  EXPECT_TRUE(losses.empty());
  EXPECT_FALSE(Renew().Running);
}

TEST_F(ImapWatchTest, StopWhileWaitingToRetryCancelsTheRetry) {
  StartToIdle();
  socket.RaisePeerClose();
  FakeTimer* retry = RunningRetry();
  ASSERT_NE(retry, nullptr);
  watch->Stop();
  EXPECT_FALSE(retry->Running);
  EXPECT_EQ(socket.Connects.size(), 1u);
}

}  // namespace
}  // namespace postvane
