// Signing in a mailbox in the browser: the authorization code flow with PKCE (S256), the
// redirect received on the loopback listener, the code redeemed for a refresh token. Given up
// after five minutes, or when cancelled.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "check/oauth_provider.h"
#include "check/oauth_request.h"
#include "check/token_response.h"
#include "ports/http_client.h"
#include "ports/loopback_listener.h"
#include "ports/timer.h"
#include "ports/web_browser.h"
#include "text/own_text.h"

namespace postvane {

inline constexpr int kSignInGiveUpMs = 5 * 60 * 1000;

struct SignInResult {
  bool SignedIn = false;
  std::string RefreshToken;
  AccessToken Access;
  // Why not, in the user's language; empty when signed in or cancelled.
  std::string Problem;
};

class SignInFlow {
 public:
  // `giveUp` ticks once after kSignInGiveUpMs; `now` gives seconds for the access token.
  SignInFlow(HttpClient& http, LoopbackListener& listener, WebBrowser& browser, Timer& giveUp,
             int16_t languageBase, std::function<int64_t()> now);
  ~SignInFlow();

  // Starts a sign-in; `done` is called once, later, unless Cancel comes first.
  void Start(const std::string& provider, const std::string& clientId,
             const std::string& clientSecret, const std::string& loginHint,
             std::function<void(const SignInResult&)> done);
  void Cancel();
  bool Running() const { return running_; }
  // The address the browser was sent to, for tests and for a user whose browser did not open.
  const std::string& BrowserUrl() const { return browserUrl_; }

 private:
  void Authorize(const std::string& loginHint);
  std::string OnRequest(const std::string& line);
  void Redeem(const std::string& code);
  void Finish(SignInResult result);
  void Fail(OwnText id, const std::string& reason = {});

  HttpClient& http_;
  LoopbackListener& listener_;
  WebBrowser& browser_;
  Timer& giveUp_;
  int16_t languageBase_;
  std::function<int64_t()> now_;
  std::function<void(const SignInResult&)> done_;
  bool running_ = false;
  // Bumped by every start and end, so that an answer to an abandoned sign-in is dropped.
  int attempt_ = 0;
  SignInSecrets secrets_;
  OAuthEndpoints endpoints_;
  std::string clientId_;
  std::string clientSecret_;
  std::string redirectUri_;
  std::string browserUrl_;
};

}  // namespace postvane
