// Access tokens renewed before a check: presets and discovery, a new refresh token handed on
// at once, and each failure settled with its own text while the other mailboxes go on.
#include "check/token_refresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/auth_method.h"
#include "check/oauth_request.h"
#include "fakes/check_engine_rig.h"
#include "fakes/fake_http_client.h"
#include "text/own_text.h"

namespace postvane {
namespace {

constexpr int16_t kEnglish = 900;
const std::string kIssuer = "https://id.example.org/realms/mail";
const std::string kDiscovery = R"({"issuer":"https://id.example.org/realms/mail",
  "authorization_endpoint":"https://id.example.org/auth","token_endpoint":"https://id.example.org/token"})";

std::string TokenAnswer(const std::string& access, const std::string& refresh = "") {
  std::string body =
      R"({"access_token":")" + access + R"(","token_type":"Bearer","expires_in":3600)";
  if (!refresh.empty()) body += R"(,"refresh_token":")" + refresh + R"(")";
  return body + "}";
}

class TokenRefreshTest : public testing::Test {
 protected:
  MailboxRecord& OAuthBox(int index, const std::string& provider) {
    MailboxRecord& box = mailboxes[static_cast<std::size_t>(index)];
    box.Enabled = kTrue;
    box.Security = 1;
    box.Auth = 1;
    box.OAuthProvider = provider;
    box.OAuthClientId = "client-" + std::to_string(index);
    box.OAuthRefreshToken = "1//refresh-" + std::to_string(index);
    return box;
  }
  void Run() {
    done = false;
    refresh.Run(
        mailboxes, [this](int16_t index) { saved.push_back(index); }, [this] { done = true; });
  }

  MailboxTable mailboxes{};
  FakeHttpClient http;
  int64_t now = 5000;
  TokenRefresh refresh{http, kEnglish, [this] { return now; }};
  std::vector<int16_t> saved;
  bool done = false;
};

TEST_F(TokenRefreshTest, PresetProviderGetsTheRefreshAtItsTokenEndpoint) {
  OAuthBox(1, "microsoft");
  Run();
  ASSERT_EQ(http.Requests.size(), 1u);
  EXPECT_EQ(http.Requests[0].Method, "POST");
  EXPECT_EQ(http.Requests[0].Url, PresetEndpoints("microsoft")->TokenEndpoint);
  EXPECT_EQ(http.Requests[0].Body,
            RefreshBody("1//refresh-1", "client-1", "", PresetEndpoints("microsoft")->Scope));
  EXPECT_FALSE(done);
  http.Answer(200, TokenAnswer("at-1", "1//rotated"));
  EXPECT_TRUE(done);
  EXPECT_EQ(mailboxes[1].OAuthAccessToken.Token, "at-1");
  EXPECT_EQ(mailboxes[1].OAuthAccessToken.ExpiresAt, now + 3600);
  EXPECT_EQ(mailboxes[1].OAuthRefreshToken, "1//rotated");
  EXPECT_EQ(saved, std::vector<int16_t>{1});

  // Still good for more than a minute: nobody is asked.
  now += 3600 - kRefreshMargin - 1;
  Run();
  EXPECT_TRUE(done);
  EXPECT_EQ(http.Requests.size(), 1u);
  // Within the last minute it is renewed; the same refresh token back is nothing to save.
  now += 1;
  Run();
  ASSERT_EQ(http.Requests.size(), 2u);
  http.Answer(200, TokenAnswer("at-2", "1//rotated"));
  EXPECT_EQ(mailboxes[1].OAuthAccessToken.Token, "at-2");
  EXPECT_EQ(saved.size(), 1u);
}

TEST_F(TokenRefreshTest, IssuerEndpointsComeFromDiscovery) {
  OAuthBox(0, kIssuer + "/");
  Run();
  ASSERT_EQ(http.Requests.size(), 1u);
  EXPECT_EQ(http.Requests[0].Method, "GET");
  EXPECT_EQ(http.Requests[0].Url, kIssuer + "/.well-known/openid-configuration");
  http.Answer(200, kDiscovery);
  ASSERT_EQ(http.Requests.size(), 2u);
  EXPECT_EQ(http.Requests[1].Url, "https://id.example.org/token");
  http.Answer(200, TokenAnswer("at-0"));
  EXPECT_TRUE(done);
  EXPECT_EQ(mailboxes[0].OAuthAccessToken.Token, "at-0");
  EXPECT_TRUE(saved.empty());
}

struct FailureCase {
  const char* Name;
  bool Reached;
  int Status;
  std::string Body;
  std::string Problem;
};

class RefreshFailureTest : public TokenRefreshTest,
                           public testing::WithParamInterface<FailureCase> {};

// The failing mailbox gets its text, and the next one is still refreshed.
TEST_P(RefreshFailureTest, SettlesWithItsTextAndGoesOn) {
  OAuthBox(0, "google").OAuthAccessToken = {"old", now + 10};
  OAuthBox(2, "google");
  Run();
  http.Reply({GetParam().Reached, GetParam().Status, GetParam().Body});
  EXPECT_TRUE(mailboxes[0].OAuthAccessToken.Token.empty());
  EXPECT_EQ(mailboxes[0].OAuthProblem, GetParam().Problem);
  EXPECT_EQ(SignInRefusal(mailboxes[0], kEnglish), GetParam().Problem);
  ASSERT_EQ(http.Requests.size(), 2u);
  http.Answer(200, TokenAnswer("at-2"));
  EXPECT_TRUE(done);
  EXPECT_EQ(mailboxes[2].OAuthAccessToken.Token, "at-2");
  EXPECT_TRUE(mailboxes[2].OAuthProblem.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefreshFailureTest,
    testing::Values(FailureCase{"Expired", true, 400, R"({"error":"invalid_grant"})",
                                OwnString(kEnglish, OwnText::SignInExpired)},
                    FailureCase{"Unreachable", false, 0, "",
                                OwnString(kEnglish, OwnText::SignInServiceUnreachable)},
                    FailureCase{"NotATokenEndpoint", true, 502, "<html>bad gateway</html>",
                                OwnString(kEnglish, OwnText::SignInServiceUnreachable)},
                    FailureCase{
                        "OtherError", true, 401,
                        R"({"error":"invalid_client","error_description":"no\u001b[31m such"})",
                        "The sign-in service refused: invalid_client: no[31m such"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TokenRefreshTest, ExpiredRefreshTokenIsNeverOfferedAgain) {
  OAuthBox(0, "google");
  Run();
  http.Answer(400, R"({"error":"invalid_grant"})");
  for (int cycle = 0; cycle < 3; ++cycle) {
    Run();
    EXPECT_TRUE(done);
    EXPECT_EQ(mailboxes[0].OAuthProblem, OwnString(kEnglish, OwnText::SignInExpired));
  }
  EXPECT_EQ(http.Requests.size(), 1u);
  // A new sign-in brings a new refresh token, which is asked again.
  mailboxes[0].OAuthRefreshToken = "1//signed-in-again";
  Run();
  EXPECT_EQ(http.Requests.size(), 2u);
}

TEST_F(TokenRefreshTest, DiscoveryFailuresAskNoTokenEndpoint) {
  const std::string otherIssuer = R"({"issuer":"https://other.example.org",
      "authorization_endpoint":"https://a","token_endpoint":"https://t"})";
  for (const std::string& document : {std::string("not json"), otherIssuer}) {
    OAuthBox(0, kIssuer);
    Run();
    http.Answer(200, document);
    EXPECT_TRUE(done);
    EXPECT_EQ(mailboxes[0].OAuthProblem, OwnString(kEnglish, OwnText::SignInServiceUnreachable));
  }
  OAuthBox(0, "http://id.example.org");  // plain HTTP away from this machine: never asked
  const std::size_t asked = http.Requests.size();
  Run();
  EXPECT_TRUE(done);
  EXPECT_EQ(http.Requests.size(), asked);
  EXPECT_EQ(mailboxes[0].OAuthProblem, OwnString(kEnglish, OwnText::SignInServiceUnreachable));
}

TEST_F(TokenRefreshTest, MailboxesThatCannotSignInAskNobody) {
  OAuthBox(0, "google").Security = 0;
  OAuthBox(1, "google").OAuthRefreshToken.clear();
  OAuthBox(2, "google").Enabled = kFalse;
  OAuthBox(3, "google").Auth = 0;
  OAuthBox(4, "google").Auth = kUnknownAuth;
  Run();
  EXPECT_TRUE(done);
  EXPECT_TRUE(http.Requests.empty());
  EXPECT_EQ(SignInRefusal(mailboxes[1], kEnglish), OwnString(kEnglish, OwnText::NotSignedIn));
}

// The engine shows the refresh's failure for that mailbox without connecting, and checks the
// next one.
TEST(TokenRefreshEngineTest, FailedRefreshFailsTheMailboxBeforeConnecting) {
  CheckEngineRig rig;
  MailboxRecord& box = rig.Enable(0);
  box.Auth = 1;
  box.Security = 1;
  box.OAuthRefreshToken = "1//r";
  box.OAuthProblem = OwnString(rig.State.LanguageBase, OwnText::SignInServiceUnreachable);
  rig.Enable(1);
  rig.Engine.StartCycle();
  EXPECT_EQ(box.StatusText, box.OAuthProblem);
  ASSERT_EQ(rig.Hooks.Outcomes.size(), 1u);
  EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::Failed);
  ASSERT_EQ(rig.Socket.Connects.size(), 1u);
  EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop1.test");
}

}  // namespace
}  // namespace postvane
