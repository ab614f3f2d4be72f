// The engine over secure connections: TLS from the first byte and STARTTLS, on the fake socket.
// Every failure case also checks that nothing secret left in clear text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/connection_security.h"
#include "check/secure_failure_text.h"
#include "fakes/check_engine_rig.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

const std::string kFingerprint(64, 'C');

TlsHandshake Handshake(TlsFailure failure = TlsFailure::None) {
  TlsHandshake result;
  result.Failure = failure;
  result.Protocol = "TLSv1.3";
  result.Cipher = "TLS_AES_128_GCM_SHA256";
  result.Certificate = {"CN=pop0.test", "CN=Test Authority", "2026-01-01 00:00:00 UTC",
                        "2027-01-01 00:00:00 UTC", kFingerprint};
  if (failure != TlsFailure::None) result.Detail = "verification failed";
  return result;
}

class SecureDialogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.Enable(0);
    rig.Enable(1);
    rig.LogOn();
  }

  MailboxRecord& box0() { return rig.Box(0); }

  // Lines that left in clear text, without CR LF.
  Lines SentInClear() const {
    Lines lines;
    for (std::string line : rig.Socket.SentInClear) {
      if (line.ends_with("\r\n")) line.resize(line.size() - 2);
      lines.push_back(line);
    }
    return lines;
  }

  void ExpectNothingSecretInClear() {
    for (const std::string& line : SentInClear()) {
      EXPECT_FALSE(line.starts_with("USER")) << line;
      EXPECT_FALSE(line.starts_with("PASS")) << line;
    }
    EXPECT_EQ(rig.Log().find("secret0"), std::string::npos);
  }

  // STARTTLS up to the handshake.
  void StartTlsUntilHandshake() {
    box0().Security = 2;
    rig.StartAndConnect();
    rig.Socket.Receive("+OK POP3 ready\r\n");
    rig.Socket.Receive("+OK\r\nSTLS\r\nPIPELINING\r\n.\r\n");
    rig.Socket.Receive("+OK Begin TLS\r\n");
  }

  CheckEngineRig rig;
};

struct PlainCase {
  const char* name;
  int16_t security;
};

class PlainSecurityTest : public SecureDialogueTest,
                          public ::testing::WithParamInterface<PlainCase> {};

TEST_P(PlainSecurityTest, KeepsTheUsualCommandsAndNeverStartsTls) {
  box0().Security = GetParam().security;
  rig.StartAndConnect();
  rig.DriveTo(MailboxState::LastSent);
  EXPECT_EQ(rig.SentLines(), (Lines{"USER user0", "PASS secret0", "STAT", "LAST"}));
  EXPECT_TRUE(rig.Socket.TlsRequests.empty());
  EXPECT_TRUE(rig.Engine.ServerCapabilities().empty());
}

INSTANTIATE_TEST_SUITE_P(Codes, PlainSecurityTest, ::testing::Values(PlainCase{"None", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct UnknownSecurityCase {
  const char* name;
  const char* text;  // as the settings file holds it
};

class UnknownSecurityTest : public SecureDialogueTest,
                            public ::testing::WithParamInterface<UnknownSecurityCase> {};

// No connection at all, so no password can leave in clear; the next mailbox is checked.
TEST_P(UnknownSecurityTest, FailsBeforeConnectingAndTheCycleMovesOn) {
  box0().Security = ReadSecurityCode(GetParam().text);
  rig.Engine.StartCycle();
  EXPECT_EQ(box0().StatusText, OwnString(rig.State.LanguageBase, OwnText::UnknownSecuritySetting));
  EXPECT_EQ(box0().State, MailboxState::Idle);
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].first, 0);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::Failed);
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop1.test");
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  rig.Socket.RaiseConnect();
  rig.Socket.Receive("+OK ready\r\n");
  EXPECT_EQ(rig.SentLines(), (Lines{"USER user1"}));
}

INSTANTIATE_TEST_SUITE_P(Texts, UnknownSecurityTest,
                         ::testing::Values(UnknownSecurityCase{"Three", "3"},
                                           UnknownSecurityCase{"MinusOne", "-1"},
                                           UnknownSecurityCase{"Tls", "tls"},
                                           UnknownSecurityCase{"Ssl", "ssl"},
                                           UnknownSecurityCase{"Hex", "0x1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SecureDialogueTest, TlsHandshakesBeforeTheGreetingWithinTheConnectTimeOut) {
  box0().Security = 1;
  box0().CertFingerprint = "cc:" + std::string(62, 'c');
  rig.StartAndConnect();
  EXPECT_EQ(box0().State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Timeout.Running);
  ASSERT_EQ(rig.Socket.TlsRequests.size(), 1u);
  EXPECT_EQ(rig.Socket.TlsRequests[0].HostName, "pop0.test");
  EXPECT_EQ(rig.Socket.TlsRequests[0].TrustedFingerprint, kFingerprint);
  EXPECT_TRUE(rig.Socket.Sent.empty());

  rig.Socket.FinishHandshake(Handshake());
  EXPECT_FALSE(rig.Timeout.Running);
  EXPECT_EQ(box0().State, MailboxState::Connected);
  // CAPA after the greeting tells whether the server pipelines.
  rig.Socket.Receive("+OK ready\r\n");
  rig.Socket.Receive("+OK\r\nUIDL\r\npipelining\r\n.\r\n");
  rig.Socket.Receive("+OK user\r\n");
  EXPECT_EQ(rig.SentLines(), (Lines{"CAPA", "USER user0", "PASS secret0"}));
  EXPECT_EQ(rig.Engine.ServerCapabilities(), (Lines{"UIDL", "PIPELINING"}));
  EXPECT_TRUE(rig.Socket.SentInClear.empty());
}

TEST_F(SecureDialogueTest, TlsCapaRefusedStillLogsIn) {
  box0().Security = 1;
  rig.StartAndConnect();
  rig.Socket.FinishHandshake(Handshake());
  rig.Socket.Receive("+OK ready\r\n");
  rig.Socket.Receive("-ERR unknown command\r\n");
  EXPECT_EQ(rig.SentLines(), (Lines{"CAPA", "USER user0"}));
  EXPECT_TRUE(rig.Engine.ServerCapabilities().empty());
}

TEST_F(SecureDialogueTest, StartTlsUpgradesThenAsksAgainAndLogsIn) {
  StartTlsUntilHandshake();
  EXPECT_EQ(SentInClear(), (Lines{"CAPA", "STLS"}));
  ASSERT_EQ(rig.Socket.TlsRequests.size(), 1u);
  EXPECT_EQ(rig.Socket.TlsRequests[0].HostName, "pop0.test");
  EXPECT_TRUE(rig.Timeout.Running);
  EXPECT_EQ(box0().State, MailboxState::Connected);

  rig.Socket.FinishHandshake(Handshake());
  EXPECT_TRUE(rig.Timeout.Running);
  rig.Socket.Receive("+OK\r\nUIDL\r\nTOP\r\n.\r\n");
  EXPECT_FALSE(rig.Timeout.Running);
  EXPECT_EQ(box0().State, MailboxState::UserSent);
  // PIPELINING came before TLS and is forgotten.
  EXPECT_EQ(rig.Engine.ServerCapabilities(), (Lines{"UIDL", "TOP"}));
  rig.Socket.Receive("+OK\r\n");
  EXPECT_EQ(rig.SentLines(), (Lines{"CAPA", "STLS", "CAPA", "USER user0", "PASS secret0"}));
  ExpectNothingSecretInClear();
}

TEST_F(SecureDialogueTest, LogRecordsTheHandshakeAndMasksThePassword) {
  StartTlsUntilHandshake();
  rig.Socket.FinishHandshake(Handshake());
  rig.Socket.Receive("+OK\r\n.\r\n");
  rig.Socket.Receive("+OK\r\n");
  const std::string log = rig.Log();
  EXPECT_NE(log.find(HandshakeLogText(Handshake())), std::string::npos);
  EXPECT_NE(log.find("TLSv1.3"), std::string::npos);
  EXPECT_NE(log.find(FingerprintWithColons(kFingerprint)), std::string::npos);
  EXPECT_NE(log.find("PASS xxxxx"), std::string::npos);
  EXPECT_EQ(log.find("secret0"), std::string::npos);
}

struct FailureCase {
  const char* name;
  int16_t security;
  std::vector<std::string> replies;  // after the connect
  TlsFailure handshake;              // the handshake's outcome, when one was started
  SecureFailure failure;
};

class SecureFailureTest : public SecureDialogueTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SecureFailureTest, FailsTheMailboxAndGoesOnWithoutSecretsInClear) {
  const FailureCase& c = GetParam();
  box0().Security = c.security;
  box0().NewCount = 3;
  rig.StartAndConnect();
  for (const std::string& reply : c.replies) rig.Socket.Receive(reply);
  if (rig.State.CurrentMailbox == 0 && !rig.Socket.TlsRequests.empty()) {
    rig.Socket.FinishHandshake(Handshake(c.handshake));
  }
  const bool onCertificate = IsCertificateFailure(c.handshake);
  EXPECT_EQ(box0().StatusText,
            SecureFailureText(rig.State.LanguageBase, c.failure,
                              onCertificate ? Handshake().Certificate : TlsCertificate{}));
  EXPECT_FALSE(box0().StatusText.empty());
  EXPECT_EQ(box0().State, MailboxState::Idle);
  EXPECT_EQ(box0().NewCount, 3);
  EXPECT_EQ(box0().RejectedCertificate.Fingerprint, onCertificate ? kFingerprint : "");
  EXPECT_FALSE(rig.Timeout.Running && rig.State.CurrentMailbox == 0);
  // The next mailbox is under way.
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
  ExpectNothingSecretInClear();
}

const std::string kCapaWithStls = "+OK\r\nSTLS\r\n.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, SecureFailureTest,
    ::testing::Values(
        FailureCase{"TlsUntrusted", 1, {}, TlsFailure::Untrusted, SecureFailure::Untrusted},
        FailureCase{
            "TlsNameMismatch", 1, {}, TlsFailure::NameMismatch, SecureFailure::NameMismatch},
        FailureCase{"TlsExpired", 1, {}, TlsFailure::Expired, SecureFailure::Expired},
        FailureCase{"TlsHandshake", 1, {}, TlsFailure::Handshake, SecureFailure::Handshake},
        FailureCase{"StartTlsGreetingRefused",
                    2,
                    {"-ERR busy\r\n"},
                    TlsFailure::None,
                    SecureFailure::GreetingRefused},
        FailureCase{"StlsNotOffered",
                    2,
                    {"+OK\r\n", "+OK\r\nUSER\r\n.\r\n"},
                    TlsFailure::None,
                    SecureFailure::StlsNotOffered},
        FailureCase{"CapaUnknown",
                    2,
                    {"+OK\r\n", "-ERR what?\r\n"},
                    TlsFailure::None,
                    SecureFailure::StlsNotOffered},
        FailureCase{"StlsRefused",
                    2,
                    {"+OK\r\n", kCapaWithStls, "-ERR no\r\n"},
                    TlsFailure::None,
                    SecureFailure::StlsRefused},
        FailureCase{"Injection",
                    2,
                    {"+OK\r\n", kCapaWithStls, "+OK\r\n+OK logged in\r\n"},
                    TlsFailure::None,
                    SecureFailure::Injection},
        FailureCase{"StartTlsUntrusted",
                    2,
                    {"+OK\r\n", kCapaWithStls, "+OK\r\n"},
                    TlsFailure::Untrusted,
                    SecureFailure::Untrusted},
        FailureCase{"StartTlsHandshake",
                    2,
                    {"+OK\r\n", kCapaWithStls, "+OK\r\n"},
                    TlsFailure::Handshake,
                    SecureFailure::Handshake}),
    [](const auto& info) { return std::string(info.param.name); });

struct StallCase {
  const char* name;
  int16_t security;
  std::vector<std::string> replies;  // what the server said before it fell silent
};

class SecureStallTest : public SecureDialogueTest,
                        public ::testing::WithParamInterface<StallCase> {};

TEST_P(SecureStallTest, TimesOutBeforeAnythingSecretAndTheNextMailboxFollows) {
  box0().Security = GetParam().security;
  rig.StartAndConnect();
  for (const std::string& reply : GetParam().replies) rig.Socket.Receive(reply);
  ASSERT_TRUE(rig.Timeout.Fire());
  EXPECT_EQ(box0().StatusText,
            SecureFailureText(rig.State.LanguageBase, SecureFailure::Handshake, {}));
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  EXPECT_EQ(rig.Box(1).State, MailboxState::Connecting);
  ExpectNothingSecretInClear();
}

INSTANTIATE_TEST_SUITE_P(
    Stages, SecureStallTest,
    ::testing::Values(StallCase{"TlsHandshake", 1, {}}, StallCase{"NoGreeting", 2, {}},
                      StallCase{"NoCapaReply", 2, {"+OK\r\n"}},
                      StallCase{"NoStlsReply", 2, {"+OK\r\n", "+OK\r\nSTLS\r\n.\r\n"}},
                      StallCase{
                          "UpgradeHandshake", 2, {"+OK\r\n", "+OK\r\nSTLS\r\n.\r\n", "+OK\r\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SecureDialogueTest, PlainMailboxHasNoTimeOutAfterTheConnect) {
  rig.StartAndConnect();
  EXPECT_FALSE(rig.Timeout.Running);
}

TEST_F(SecureDialogueTest, UnreadBytesWhenTheHandshakeShouldBeginFailTheMailbox) {
  box0().Security = 2;
  rig.Socket.StartTlsError = {kSocketInvalidState, "unread data"};
  rig.StartAndConnect();
  rig.Socket.Receive("+OK\r\n");
  rig.Socket.Receive(kCapaWithStls);
  rig.Socket.Receive("+OK\r\n");
  EXPECT_EQ(box0().StatusText,
            SecureFailureText(rig.State.LanguageBase, SecureFailure::Injection, {}));
  EXPECT_EQ(rig.State.CurrentMailbox, 1);
  ExpectNothingSecretInClear();
}

TEST_F(SecureDialogueTest, HandshakeOfAnAbandonedConnectionChangesNothing) {
  box0().Security = 1;
  rig.StartAndConnect();
  rig.Engine.StartCycle();
  rig.Socket.FinishHandshake(Handshake());
  EXPECT_EQ(box0().State, MailboxState::Connecting);
  EXPECT_TRUE(rig.Socket.Sent.empty());
}

TEST_F(SecureDialogueTest, ANewCheckForgetsTheRejectedCertificate) {
  box0().Security = 1;
  rig.StartAndConnect();
  rig.Socket.FinishHandshake(Handshake(TlsFailure::Untrusted));
  ASSERT_EQ(box0().RejectedCertificate.Fingerprint, kFingerprint);
  rig.StartAndConnect();
  EXPECT_TRUE(box0().RejectedCertificate.Fingerprint.empty());
}

}  // namespace
}  // namespace postvane
