// The POP3 login with an OAuth token through the engine on the fake socket: AUTH with the
// initial response or in the continuation, the error challenge answered and reported, and the
// refusals before any connection (unknown Auth, plain connection, no token).
#include "check/pop3_oauth_login.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/auth_method.h"
#include "check/base64.h"
#include "fakes/check_engine_rig.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

TlsHandshake GoodHandshake() {
  TlsHandshake result;
  result.Protocol = "TLSv1.3";
  result.Certificate = {"CN=pop0.test", "CN=Test Authority", "", "", std::string(64, 'C')};
  return result;
}

class Pop3OAuthTest : public testing::Test {
 protected:
  void SetUp() override {
    MailboxRecord& box = rig.Enable(0);
    box.Security = 1;
    box.Auth = 1;
    box.User = "alice@example.org";
    box.Password.clear();
    box.OAuthAccessToken = {"ya29.short", 1'000'000};
    rig.Enable(1);
    rig.LogOn();
  }
  MailboxRecord& box0() { return rig.Box(0); }

  // TLS up, greeting and CAPA answered with these SASL names.
  void ConnectWithSasl(const std::string& sasl) {
    rig.StartAndConnect();
    rig.Socket.FinishHandshake(GoodHandshake());
    rig.Socket.Receive("+OK ready\r\n");
    rig.Socket.Receive("+OK\r\nUIDL\r\nSASL " + sasl + "\r\n.\r\n");
  }
  // The decoded SASL message of a sent line (the part after the last blank).
  std::string Decoded(const std::string& line) {
    return Base64Decode(line.substr(line.rfind(' ') + 1)).value_or("(not base64)");
  }
  void ExpectTokenNeverInTheLog(const std::string& token) {
    EXPECT_EQ(rig.Log().find(token), std::string::npos);
    EXPECT_EQ(rig.Log().find(Base64Encode("user=alice").substr(0, 8)), std::string::npos);
  }

  CheckEngineRig rig;
};

TEST_F(Pop3OAuthTest, ShortTokenGoesAsInitialResponseAndTheCheckGoesOn) {
  ConnectWithSasl("PLAIN XOAUTH2");
  const Lines sent = rig.SentLines();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_TRUE(sent[1].starts_with("AUTH XOAUTH2 "));
  EXPECT_LE(sent[1].size(), kPop3AuthLineLimit);
  EXPECT_EQ(Decoded(sent[1]),
            "user=alice@example.org\x01"
            "auth=Bearer ya29.short\x01\x01");
  EXPECT_EQ(box0().State, MailboxState::PassSent);
  rig.Socket.Receive("+OK Logged in.\r\n");
  EXPECT_EQ(rig.SentLines().back(), "STAT");
  ExpectTokenNeverInTheLog("ya29.short");
}

TEST_F(Pop3OAuthTest, RealLengthTokenGoesInTheContinuation) {
  const std::string token = "ya29." + std::string(1600, 'T');
  box0().OAuthAccessToken.Token = token;
  ConnectWithSasl("OAUTHBEARER XOAUTH2");
  EXPECT_EQ(rig.SentLines().back(), "AUTH OAUTHBEARER");
  // Replies may come in pieces.
  rig.Socket.Receive("+");
  rig.Socket.Receive(" \r\n");
  const std::string response = rig.SentLines().back();
  EXPECT_EQ(Decoded(response), "n,a=alice@example.org,\x01host=pop0.test\x01port=110\x01" +
                                   ("auth=Bearer " + token) + "\x01\x01");
  rig.Socket.Receive("+OK Logged in.\r\n");
  EXPECT_EQ(rig.SentLines().back(), "STAT");
  ExpectTokenNeverInTheLog(token.substr(0, 60));
}

TEST_F(Pop3OAuthTest, ServerThatIgnoresTheInitialResponseGetsItInTheContinuation) {
  ConnectWithSasl("XOAUTH2");
  const std::string first = rig.SentLines().back();
  rig.Socket.Receive("+ \r\n");
  EXPECT_EQ(rig.SentLines().back(), first.substr(std::string("AUTH XOAUTH2 ").size()));
  rig.Socket.Receive("+OK\r\n");
  EXPECT_EQ(rig.SentLines().back(), "STAT");
}

struct ChallengeCase {
  const char* Name;
  const char* Sasl;
  std::string Challenge;
  const char* Answer;  // what the mechanism sends back, decoded where base64
  const char* Reason;
};

class ErrorChallengeTest : public Pop3OAuthTest,
                           public testing::WithParamInterface<ChallengeCase> {};

TEST_P(ErrorChallengeTest, IsAnsweredAndTheServersReasonShown) {
  ConnectWithSasl(GetParam().Sasl);
  const std::size_t before = rig.SentLines().size();
  rig.Socket.Receive("+ " + GetParam().Challenge + "\r\n");
  ASSERT_EQ(rig.SentLines().size(), before + 1);
  const std::string answer = rig.SentLines().back();
  EXPECT_EQ(answer.empty() ? answer : Base64Decode(answer).value_or("?"), GetParam().Answer);
  rig.Socket.Receive("-ERR [AUTH] Authentication failed.\r\n");
  EXPECT_EQ(box0().StatusText, ServerRefusedSignInText(rig.State.LanguageBase, GetParam().Reason));
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::Failed);
  // The cycle moves on to the next mailbox.
  EXPECT_EQ(rig.Socket.Connects.back().RemoteHost, "pop1.test");
}

INSTANTIATE_TEST_SUITE_P(
    Mechanisms, ErrorChallengeTest,
    testing::Values(
        ChallengeCase{"Xoauth2", "XOAUTH2",
                      Base64Encode(R"({"status":"401","schemes":"bearer","scope":"mail"})"), "",
                      "401 (mail)"},
        ChallengeCase{"OAuthBearer", "OAUTHBEARER", Base64Encode(R"({"status":"invalid_token"})"),
                      "\x01", "invalid_token"},
        ChallengeCase{"NotJson", "XOAUTH2", "bm90IGpzb24=", "", "bm90IGpzb24="}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Pop3OAuthTest, RefusalWithoutChallengeShowsTheServersWords) {
  ConnectWithSasl("XOAUTH2");
  rig.Socket.Receive("-ERR [AUTH] Token \x1b[31mexpired\r\n");
  EXPECT_EQ(box0().StatusText,
            ServerRefusedSignInText(rig.State.LanguageBase, "[AUTH] Token [31mexpired"));
}

TEST_F(Pop3OAuthTest, LockedMaildropKeepsTheOldCounts) {
  ConnectWithSasl("XOAUTH2");
  rig.Socket.Receive("-ERR [IN-USE] Mailbox is locked by another POP3 session.\r\n");
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::NotChecked);
}

TEST_F(Pop3OAuthTest, FloodInsteadOfAReplyEndsTheLogin) {
  ConnectWithSasl("XOAUTH2");
  rig.Socket.Receive(std::string(kPop3AuthReplyLimit + 10, 'x'));
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::Failed);
}

TEST_F(Pop3OAuthTest, StartTlsLoginUsesTheMechanismsListedOverTls) {
  box0().Security = 2;
  rig.StartAndConnect();
  rig.Socket.Receive("+OK ready\r\n");
  rig.Socket.Receive("+OK\r\nSTLS\r\nSASL OAUTHBEARER\r\n.\r\n");
  rig.Socket.Receive("+OK begin TLS\r\n");
  rig.Socket.FinishHandshake(GoodHandshake());
  // What came before TLS may have been rewritten: only the second CAPA counts.
  rig.Socket.Receive("+OK\r\nSASL XOAUTH2 PLAIN\r\n.\r\n");
  EXPECT_TRUE(rig.SentLines().back().starts_with("AUTH XOAUTH2 "));
  for (const std::string& line : rig.Socket.SentInClear) EXPECT_FALSE(line.starts_with("AUTH"));
}

struct RefusalCase {
  const char* Name;
  int16_t Auth;
  int16_t Security;
  bool Token;
  bool TokenUnknownInKeyring;
  OwnText Text;
};

class SignInRefusalTest : public Pop3OAuthTest, public testing::WithParamInterface<RefusalCase> {};

// No connection at all for the mailbox; the next one is checked.
TEST_P(SignInRefusalTest, FailsBeforeConnecting) {
  box0().Auth = GetParam().Auth;
  box0().Security = GetParam().Security;
  if (!GetParam().Token) box0().OAuthAccessToken = {};
  if (GetParam().TokenUnknownInKeyring) {
    box0().PasswordInKeyring = kTrue;
    box0().RefreshTokenUnknown = true;
  }
  rig.Engine.StartCycle();
  EXPECT_EQ(box0().StatusText, OwnString(rig.State.LanguageBase, GetParam().Text));
  EXPECT_NE(rig.Log().find(box0().StatusText), std::string::npos);
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::Failed);
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop1.test");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignInRefusalTest,
    testing::Values(
        RefusalCase{"UnknownAuth", kUnknownAuth, 1, true, false, OwnText::UnknownAuthSetting},
        RefusalCase{"OAuthInClear", 1, 0, true, false, OwnText::OAuthNeedsSecureConnection},
        RefusalCase{"NotSignedIn", 1, 2, false, false, OwnText::NotSignedIn},
        RefusalCase{"KeyringLocked", 1, 1, false, true, OwnText::KeyringUnavailable}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Pop3OAuthTest, NoPasswordIsNeededFromTheKeyring) {
  box0().PasswordInKeyring = kTrue;
  box0().PasswordUnknown = true;
  ConnectWithSasl("XOAUTH2");
  EXPECT_TRUE(rig.SentLines().back().starts_with("AUTH XOAUTH2 "));
}

TEST_F(Pop3OAuthTest, PasswordMailboxesAreUntouched) {
  box0().Auth = 0;
  box0().Password = "secret0";
  ConnectWithSasl("XOAUTH2");
  EXPECT_EQ(rig.SentLines().back(), "USER alice@example.org");
}

}  // namespace
}  // namespace postvane
