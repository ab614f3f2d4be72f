// The browser sign-in, step by step as the answers come.
#include "check/sign_in_flow.h"

#include <utility>

#include "check/sasl_oauth.h"

namespace postvane {

namespace {

// The page the browser shows after the redirect: the text only, escaped.
std::string Page(const char* status, const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  const std::string body =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Postvane</title></head><body><p>" +
      escaped + "</p></body></html>";
  return std::string("HTTP/1.1 ") + status +
         "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

SignInFlow::SignInFlow(HttpClient& http, LoopbackListener& listener, WebBrowser& browser,
                       Timer& giveUp, int16_t languageBase, std::function<int64_t()> now)
    : http_(http),
      listener_(listener),
      browser_(browser),
      giveUp_(giveUp),
      languageBase_(languageBase),
      now_(std::move(now)) {
  giveUp_.SetTickHandler([this] {
    if (running_) Fail(OwnText::SignInNotFinished);
  });
}

SignInFlow::~SignInFlow() {
  giveUp_.SetTickHandler({});
  if (running_) listener_.Close();
}

void SignInFlow::Start(const std::string& provider, const std::string& clientId,
                       const std::string& clientSecret, const std::string& loginHint,
                       std::function<void(const SignInResult&)> done) {
  Cancel();
  running_ = true;
  done_ = std::move(done);
  clientId_ = clientId;
  clientSecret_ = clientSecret;
  browserUrl_.clear();
  secrets_ = MakeSignInSecrets();
  giveUp_.Start();
  const int attempt = ++attempt_;
  if (const std::optional<OAuthEndpoints> preset = PresetEndpoints(provider)) {
    endpoints_ = *preset;
    Authorize(loginHint);
    return;
  }
  const std::optional<std::string> discovery = DiscoveryUrl(provider);
  if (!discovery) {
    Fail(OwnText::SignInServiceUnreachable);
    return;
  }
  http_.GetJson(*discovery, [this, attempt, provider, loginHint](const HttpReply& reply) {
    if (attempt != attempt_ || !running_) return;
    const std::optional<OAuthEndpoints> endpoints =
        reply.Reached && reply.Status == 200 ? ParseDiscovery(reply.Body, provider) : std::nullopt;
    if (!endpoints) {
      Fail(OwnText::SignInServiceUnreachable);
      return;
    }
    endpoints_ = *endpoints;
    Authorize(loginHint);
  });
}

void SignInFlow::Authorize(const std::string& loginHint) {
  const int port = listener_.Listen([this](const std::string& line) { return OnRequest(line); });
  if (port <= 0) {
    Fail(OwnText::SignInNotReceived);
    return;
  }
  redirectUri_ = LoopbackRedirect(port);
  browserUrl_ = AuthorizationUrl(endpoints_, clientId_, redirectUri_, secrets_, loginHint);
  if (!browser_.OpenWebPage(browserUrl_)) Fail(OwnText::NoBrowser);
}

std::string SignInFlow::OnRequest(const std::string& line) {
  if (!running_) return Page("410 Gone", OwnString(languageBase_, OwnText::SignInPageFailed));
  const RedirectResult redirect = ReadRedirect(line, secrets_.State);
  switch (redirect.What) {
    case RedirectResult::Kind::Code:
      Redeem(redirect.Code);
      return Page("200 OK", OwnString(languageBase_, OwnText::SignInPageDone));
    case RedirectResult::Kind::Refused:
      Fail(OwnText::SignInServiceRefused, redirect.Error);
      return Page("200 OK", OwnString(languageBase_, OwnText::SignInPageFailed));
    case RedirectResult::Kind::WrongState:
      // Some other page's request: refused, and the sign-in goes on waiting for ours.
      return Page("400 Bad Request", OwnString(languageBase_, OwnText::SignInPageFailed));
    case RedirectResult::Kind::NotOurs:
      break;
  }
  return Page("404 Not Found", OwnString(languageBase_, OwnText::SignInPageFailed));
}

void SignInFlow::Redeem(const std::string& code) {
  // One code per sign-in: nothing more is taken from the loopback.
  listener_.Close();
  const int attempt = attempt_;
  http_.PostForm(
      endpoints_.TokenEndpoint,
      CodeRedemptionBody(code, redirectUri_, clientId_, clientSecret_, secrets_.Verifier),
      [this, attempt](const HttpReply& reply) {
        if (attempt != attempt_ || !running_) return;
        if (!reply.Reached) {
          Fail(OwnText::SignInServiceUnreachable);
          return;
        }
        const TokenResponse response = ParseTokenResponse(reply.Status, reply.Body);
        if (response.What == TokenResponse::Kind::Token && !response.RefreshToken.empty()) {
          Finish({true, response.RefreshToken, AccessTokenFrom(response, now_()), {}});
          return;
        }
        if (response.What == TokenResponse::Kind::Token) {
          Fail(OwnText::NoRefreshToken);
        } else if (response.What == TokenResponse::Kind::Garbled) {
          Fail(OwnText::SignInServiceUnreachable);
        } else {
          Fail(OwnText::SignInServiceRefused, response.Error);
        }
      });
}

void SignInFlow::Cancel() {
  if (!running_) return;
  running_ = false;
  ++attempt_;
  giveUp_.Stop();
  listener_.Close();
  done_ = {};
}

void SignInFlow::Fail(OwnText id, const std::string& reason) {
  std::string text = OwnString(languageBase_, id);
  const std::size_t at = text.find('#');
  if (at != std::string::npos) text.replace(at, 1, ServerReason(reason));
  Finish({false, {}, {}, std::move(text)});
}

void SignInFlow::Finish(SignInResult result) {
  std::function<void(const SignInResult&)> done = std::move(done_);
  running_ = false;
  ++attempt_;
  giveUp_.Stop();
  listener_.Close();
  done_ = {};
  if (done) done(result);
}

}  // namespace postvane
