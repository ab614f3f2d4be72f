// The browser sign-in on fakes: the browser is sent to the provider with PKCE and state, the
// redirect reaches the loopback, the code is redeemed; wrong state, refusals, a code the
// provider will not take, no browser, and the five-minute limit.
#include "check/sign_in_flow.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "check/oauth_request.h"
#include "fakes/fake_http_client.h"
#include "fakes/fake_timer.h"
#include "text/own_text.h"

namespace postvane {
namespace {

constexpr int16_t kEnglish = 900;
constexpr int kPort = 49213;

class FakeLoopback : public LoopbackListener {
 public:
  int Listen(Handler handler) override {
    handler_ = std::move(handler);
    ++Listens;
    return Port;
  }
  void Close() override { handler_ = {}; }
  bool Listening() const { return static_cast<bool>(handler_); }
  // What the browser gets for a request line.
  std::string Request(const std::string& line) { return handler_ ? handler_(line) : ""; }

  int Port = kPort;
  int Listens = 0;

 private:
  Handler handler_;
};

class FakeBrowser : public WebBrowser {
 public:
  bool OpenWebPage(const std::string& url) override {
    Opened.push_back(url);
    return Works;
  }
  std::vector<std::string> Opened;
  bool Works = true;
};

// A query parameter of an address, decoded.
std::string Parameter(const std::string& url, const std::string& name) {
  const std::size_t at = url.find(name + "=");
  if (at == std::string::npos) return {};
  std::string raw = url.substr(at + name.size() + 1);
  raw = raw.substr(0, raw.find('&'));
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '%') {
      value += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      value += raw[i];
    }
  }
  return value;
}

class SignInFlowTest : public testing::Test {
 protected:
  void Start(const std::string& provider = "microsoft") {
    flow.Start(provider, "client-1", "", "alice@example.org",
               [this](const SignInResult& r) { result = r; });
  }
  std::string State() const { return Parameter(browser.Opened.at(0), "state"); }
  std::string Redirect(const std::string& query) {
    return loopback.Request("GET /?" + query + " HTTP/1.1");
  }

  FakeHttpClient http;
  FakeLoopback loopback;
  FakeBrowser browser;
  FakeTimer giveUp{kSignInGiveUpMs};
  SignInFlow flow{http, loopback, browser, giveUp, kEnglish, [] { return int64_t{100}; }};
  std::optional<SignInResult> result;
};

TEST_F(SignInFlowTest, BrowserToLoopbackToRefreshToken) {
  Start();
  ASSERT_EQ(browser.Opened.size(), 1u);
  const std::string& url = browser.Opened[0];
  EXPECT_TRUE(url.starts_with(PresetEndpoints("microsoft")->AuthorizationEndpoint + "?"));
  EXPECT_EQ(Parameter(url, "redirect_uri"), "http://127.0.0.1:49213/");
  EXPECT_EQ(Parameter(url, "code_challenge_method"), "S256");
  EXPECT_TRUE(giveUp.Running);

  // A favicon request and another page's redirect change nothing.
  EXPECT_TRUE(loopback.Request("GET /favicon.ico HTTP/1.1").starts_with("HTTP/1.1 404"));
  EXPECT_TRUE(Redirect("code=evil&state=other").starts_with("HTTP/1.1 400"));
  EXPECT_TRUE(http.Requests.empty());
  EXPECT_FALSE(result);

  const std::string page = Redirect("code=c-1&state=" + State());
  EXPECT_TRUE(page.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_NE(page.find(OwnString(kEnglish, OwnText::SignInPageDone)), std::string::npos);
  EXPECT_FALSE(loopback.Listening());
  ASSERT_EQ(http.Requests.size(), 1u);
  EXPECT_EQ(http.Requests[0].Url, PresetEndpoints("microsoft")->TokenEndpoint);
  // The verifier whose challenge went to the browser.
  const std::string verifier = Parameter("?" + http.Requests[0].Body, "code_verifier");
  EXPECT_EQ(CodeChallenge(verifier), Parameter(url, "code_challenge"));
  EXPECT_EQ(Parameter("?" + http.Requests[0].Body, "code"), "c-1");

  http.Answer(200, R"({"access_token":"at","token_type":"Bearer","expires_in":60,
                       "refresh_token":")" +
                       std::string(1200, 'r') + "\"}");
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->SignedIn);
  EXPECT_EQ(result->RefreshToken, std::string(1200, 'r'));
  EXPECT_EQ(result->Access.Token, "at");
  EXPECT_FALSE(giveUp.Running);
  EXPECT_FALSE(flow.Running());
}

TEST_F(SignInFlowTest, IssuerIsDiscoveredFirst) {
  Start("https://id.example.org");
  ASSERT_EQ(http.Requests.size(), 1u);
  EXPECT_EQ(http.Requests[0].Url, "https://id.example.org/.well-known/openid-configuration");
  EXPECT_TRUE(browser.Opened.empty());
  http.Answer(200, R"({"issuer":"https://id.example.org","authorization_endpoint":
    "https://id.example.org/auth","token_endpoint":"https://id.example.org/token"})");
  ASSERT_EQ(browser.Opened.size(), 1u);
  EXPECT_TRUE(browser.Opened[0].starts_with("https://id.example.org/auth?"));
}

struct FailureCase {
  const char* Name;
  int Status;        // of the token answer; 0 when the redirect itself fails
  std::string Body;  // the token answer, or the redirect's query after the state
  std::string Problem;
};

class SignInFailureTest : public SignInFlowTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(SignInFailureTest, EndsWithItsText) {
  Start();
  if (GetParam().Status == 0) {
    const std::string page = Redirect("state=" + State() + "&" + GetParam().Body);
    EXPECT_NE(page.find(OwnString(kEnglish, OwnText::SignInPageFailed)), std::string::npos);
  } else {
    Redirect("code=c&state=" + State());
    http.Answer(GetParam().Status, GetParam().Body);
  }
  ASSERT_TRUE(result);
  EXPECT_FALSE(result->SignedIn);
  EXPECT_EQ(result->Problem, GetParam().Problem);
  EXPECT_TRUE(result->RefreshToken.empty());
  EXPECT_FALSE(loopback.Listening());
  EXPECT_FALSE(giveUp.Running);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SignInFailureTest,
    testing::Values(FailureCase{"UserSaidNo", 0, "error=access_denied&error_description=<b>no</b>",
                                "The sign-in service refused: access_denied: <b>no</b>"},
                    FailureCase{"WrongVerifier", 400,
                                R"({"error":"invalid_grant","error_description":"bad code"})",
                                "The sign-in service refused: invalid_grant: bad code"},
                    FailureCase{"NoRefreshToken", 200,
                                R"({"access_token":"a","token_type":"Bearer"})",
                                OwnString(kEnglish, OwnText::NoRefreshToken)},
                    FailureCase{"Garbled", 500, "<html/>",
                                OwnString(kEnglish, OwnText::SignInServiceUnreachable)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SignInFlowTest, PageIsEscapedAndInTheUsersLanguage) {
  SignInFlow german{http, loopback, browser, giveUp, 700, [] { return int64_t{0}; }};
  german.Start("google", "id", "", "", [](const SignInResult&) {});
  const std::string page = loopback.Request("GET /x HTTP/1.1");
  EXPECT_NE(page.find(OwnString(700, OwnText::SignInPageFailed)), std::string::npos);
  EXPECT_NE(page.find("charset=utf-8"), std::string::npos);
}

TEST_F(SignInFlowTest, GivesUpAfterFiveMinutes) {
  Start();
  EXPECT_EQ(giveUp.IntervalMs, 5 * 60 * 1000);
  ASSERT_TRUE(giveUp.Fire());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->Problem, OwnString(kEnglish, OwnText::SignInNotFinished));
  EXPECT_FALSE(loopback.Listening());
  // A redirect that comes late finds nobody listening.
  EXPECT_EQ(Redirect("code=c&state=" + State()), "");
}

TEST_F(SignInFlowTest, CancelEndsQuietlyAndDropsLateAnswers) {
  Start();
  Redirect("code=c&state=" + State());
  flow.Cancel();
  http.Answer(200, R"({"access_token":"a","token_type":"Bearer","refresh_token":"r"})");
  EXPECT_FALSE(result);
  EXPECT_FALSE(flow.Running());
  EXPECT_FALSE(giveUp.Running);
}

TEST_F(SignInFlowTest, NoBrowserOrNoListenerOrNoProviderEndsAtOnce) {
  browser.Works = false;
  Start();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->Problem, OwnString(kEnglish, OwnText::NoBrowser));
  browser.Works = true;
  loopback.Port = 0;
  Start();
  EXPECT_EQ(result->Problem, OwnString(kEnglish, OwnText::SignInNotReceived));
  loopback.Port = kPort;
  Start("http://id.example.org");
  EXPECT_EQ(result->Problem, OwnString(kEnglish, OwnText::SignInServiceUnreachable));
  Start("https://id.example.org");
  http.Unreachable();
  EXPECT_EQ(result->Problem, OwnString(kEnglish, OwnText::SignInServiceUnreachable));
}

}  // namespace
}  // namespace postvane
