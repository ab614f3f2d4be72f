// The Qt side of OAuth against the tests' provider over HTTPS: the HTTP client (verified TLS,
// plain HTTP refused away from this machine), the loopback listener, and a whole browser
// sign-in with the browser replaced by a fetcher that follows the provider's redirect.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "check/sign_in_flow.h"
#include "check/token_refresh.h"
#include "desktop/fetching_browser.h"
#include "desktop/net/qt_http_client.h"
#include "desktop/net/qt_loopback_listener.h"
#include "desktop/net/qt_timer.h"
#include "desktop/net/trusted_authorities.h"
#include "support/oauth_provider_process.h"
#include "support/qt_test_main.h"
#include "support/test_certificates.h"
#include "text/own_text.h"

namespace postvane::test {
namespace {

// Runs the event loop until `done` or the time is up.
bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

class OAuthQtTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(certificates_.Ready()) << certificates_.Failure();
    qputenv("SSL_CERT_FILE", QByteArray::fromStdString(certificates_.AuthorityFile()));
    provider_ = std::make_unique<OAuthProviderProcess>(POSTVANE_OAUTH_PROVIDER_SCRIPT,
                                                       certificates_.Good().Certificate,
                                                       certificates_.Good().Key, "alice");
    ASSERT_TRUE(provider_->Running()) << provider_->Errors();
  }
  void TearDown() override { qunsetenv("SSL_CERT_FILE"); }

  std::optional<HttpReply> Get(const std::string& url) {
    std::optional<HttpReply> answer;
    http_.GetJson(url, [&answer](const HttpReply& reply) { answer = reply; });
    WaitFor([&answer] { return answer.has_value(); });
    return answer;
  }

  TestCertificates certificates_;
  std::unique_ptr<OAuthProviderProcess> provider_;
  QtHttpClient http_{5000};
};

TEST_F(OAuthQtTest, HttpClientVerifiesTheProviderAndRefusesPlainHttpAway) {
  const std::optional<HttpReply> discovery =
      Get(provider_->Issuer() + "/.well-known/openid-configuration");
  ASSERT_TRUE(discovery);
  EXPECT_TRUE(discovery->Reached);
  EXPECT_EQ(discovery->Status, 200);
  EXPECT_TRUE(ParseDiscovery(discovery->Body, provider_->Issuer()));

  std::optional<HttpReply> refused;
  http_.PostForm(provider_->Issuer() + "/token", "grant_type=refresh_token&refresh_token=x",
                 [&refused](const HttpReply& reply) { refused = reply; });
  ASSERT_TRUE(WaitFor([&refused] { return refused.has_value(); }));
  EXPECT_EQ(refused->Status, 400);
  EXPECT_EQ(ParseTokenResponse(refused->Status, refused->Body).What, TokenResponse::Kind::Expired);

  // Answered later, never from inside the call, and never sent.
  for (const std::string& url :
       {std::string("http://localhost:1/token"), std::string("ftp://127.0.0.1/x"),
        std::string("https://127.0.0.1:1/")}) {
    const std::optional<HttpReply> answer = Get(url);
    ASSERT_TRUE(answer) << url;
    EXPECT_FALSE(answer->Reached) << url;
  }
}

TEST_F(OAuthQtTest, UntrustedProviderIsNotReached) {
  OAuthProviderProcess selfSigned(POSTVANE_OAUTH_PROVIDER_SCRIPT,
                                  certificates_.SelfSigned().Certificate,
                                  certificates_.SelfSigned().Key, "alice");
  ASSERT_TRUE(selfSigned.Running());
  const std::optional<HttpReply> answer =
      Get(selfSigned.Issuer() + "/.well-known/openid-configuration");
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->Reached);
}

TEST_F(OAuthQtTest, LoopbackListenerAnswersAndCanCloseFromItsHandler) {
  QtLoopbackListener listener;
  std::string seen;
  const int port = listener.Listen([&](const std::string& line) {
    seen = line;
    listener.Close();
    return std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  });
  ASSERT_GT(port, 0);
  QTcpSocket client;
  client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
  ASSERT_TRUE(client.waitForConnected(5000));
  client.write("GET /?code=1&state=2 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  QByteArray answer;
  WaitFor([&] {
    answer += client.readAll();
    return client.state() == QAbstractSocket::UnconnectedState || answer.endsWith("ok");
  });
  EXPECT_EQ(seen, "GET /?code=1&state=2 HTTP/1.1");
  EXPECT_TRUE(answer.endsWith("ok")) << answer.toStdString();
  // Closed: nobody listens any more.
  QTcpSocket late;
  late.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
  EXPECT_FALSE(late.waitForConnected(2000));
}

TEST_F(OAuthQtTest, BrowserSignInThenRefreshAtTheProvider) {
  QtLoopbackListener listener;
  FetchingBrowser browser;
  QtTimer giveUp(kSignInGiveUpMs);
  SignInFlow flow(http_, listener, browser, giveUp, 900, SteadySeconds);
  std::optional<SignInResult> result;
  flow.Start(provider_->Issuer(), "postvane-test", "", "alice",
             [&result](const SignInResult& r) { result = r; });
  ASSERT_TRUE(WaitFor([&result] { return result.has_value(); })) << provider_->Errors();
  EXPECT_TRUE(result->SignedIn) << result->Problem;
  EXPECT_NE(browser.LoopbackPage.find(OwnString(900, OwnText::SignInPageDone)), std::string::npos);
  ASSERT_FALSE(result->RefreshToken.empty());

  // The refresh token then renews the access token before a check.
  MailboxTable mailboxes{};
  MailboxRecord& box = mailboxes[0];
  box.Enabled = kTrue;
  box.Security = 1;
  box.Auth = 1;
  box.OAuthProvider = provider_->Issuer();
  box.OAuthClientId = "postvane-test";
  box.OAuthRefreshToken = result->RefreshToken;
  const int16_t english = 900;
  TokenRefresh refresh(http_, english, SteadySeconds);
  bool done = false;
  refresh.Run(
      mailboxes, [](int16_t) {}, [&done] { done = true; });
  ASSERT_TRUE(WaitFor([&done] { return done; }));
  EXPECT_TRUE(box.OAuthProblem.empty()) << box.OAuthProblem;
  EXPECT_GT(box.OAuthAccessToken.Token.size(), 1000u);
}

TEST_F(OAuthQtTest, TamperedStateOrVerifierNeverSignsIn) {
  QtLoopbackListener listener;
  FetchingBrowser browser;
  QtTimer giveUp(3000);  // the wrong state is ignored: the sign-in ends only by giving up
  SignInFlow flow(http_, listener, browser, giveUp, 900, SteadySeconds);
  browser.Tamper = [](QUrl url) {
    QString query = url.query();
    query.replace(QStringLiteral("state="), QStringLiteral("state=x"));
    url.setQuery(query);
    return url;
  };
  std::optional<SignInResult> result;
  flow.Start(provider_->Issuer(), "postvane-test", "", "",
             [&result](const SignInResult& r) { result = r; });
  ASSERT_TRUE(WaitFor([&result] { return result.has_value(); }));
  EXPECT_FALSE(result->SignedIn);
  EXPECT_EQ(result->Problem, OwnString(900, OwnText::SignInNotFinished));
  EXPECT_NE(browser.LoopbackPage.find(OwnString(900, OwnText::SignInPageFailed)),
            std::string::npos);
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
