// Access tokens renewed one mailbox at a time.
#include "check/token_refresh.h"

#include <chrono>
#include <utility>

#include "check/auth_method.h"
#include "check/connection_security.h"
#include "check/oauth_request.h"
#include "check/sasl_oauth.h"
#include "check/token_response.h"
#include "text/own_text.h"

namespace postvane {

int64_t SteadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TokenRefresh::TokenRefresh(HttpClient& http, const int16_t& languageBase,
                           std::function<int64_t()> now)
    : http_(http), languageBase_(languageBase), now_(std::move(now)) {}

void TokenRefresh::Run(MailboxTable& mailboxes, std::function<void(int16_t)> newRefreshToken,
                       std::function<void()> done) {
  mailboxes_ = &mailboxes;
  newRefreshToken_ = std::move(newRefreshToken);
  done_ = std::move(done);
  index_ = -1;
  running_ = true;
  Next();
}

void TokenRefresh::Next() {
  for (++index_; index_ < kUserMailboxes; ++index_) {
    MailboxRecord& record = (*mailboxes_)[static_cast<std::size_t>(index_)];
    if (record.Enabled == kFalse || EffectiveAuth(record.Auth) != AuthMethod::OAuth) continue;
    record.OAuthProblem.clear();
    // What the engine refuses anyway (plain connection, no token) asks no provider.
    if (EffectiveSecurity(record.Security).value_or(SecurityMode::None) == SecurityMode::None ||
        record.OAuthRefreshToken.empty()) {
      record.OAuthAccessToken = {};
      continue;
    }
    if (!NeedsRefresh(record.OAuthAccessToken, now_())) continue;
    record.OAuthAccessToken = {};
    // A refresh token the provider refused once is not offered again: only a new sign-in helps.
    if (record.OAuthRefreshToken == record.OAuthRefusedToken) {
      record.OAuthProblem = OwnString(languageBase_, OwnText::SignInExpired);
      continue;
    }
    if (const std::optional<OAuthEndpoints> preset = PresetEndpoints(record.OAuthProvider)) {
      Refresh(*preset);
      return;
    }
    const std::optional<std::string> discovery = DiscoveryUrl(record.OAuthProvider);
    if (!discovery) {
      record.OAuthProblem = OwnString(languageBase_, OwnText::SignInServiceUnreachable);
      continue;
    }
    http_.GetJson(*discovery, [this](const HttpReply& reply) {
      MailboxRecord& current = (*mailboxes_)[static_cast<std::size_t>(index_)];
      const std::optional<OAuthEndpoints> endpoints =
          reply.Reached && reply.Status == 200 ? ParseDiscovery(reply.Body, current.OAuthProvider)
                                               : std::nullopt;
      if (!endpoints) {
        Settle(OwnString(languageBase_, OwnText::SignInServiceUnreachable));
        return;
      }
      Refresh(*endpoints);
    });
    return;
  }
  running_ = false;
  if (done_) done_();
}

void TokenRefresh::Refresh(const OAuthEndpoints& endpoints) {
  const MailboxRecord& record = (*mailboxes_)[static_cast<std::size_t>(index_)];
  http_.PostForm(endpoints.TokenEndpoint,
                 RefreshBody(record.OAuthRefreshToken, record.OAuthClientId,
                             record.OAuthClientSecret, endpoints.Scope),
                 [this](const HttpReply& reply) { OnToken(reply); });
}

void TokenRefresh::OnToken(const HttpReply& reply) {
  MailboxRecord& record = (*mailboxes_)[static_cast<std::size_t>(index_)];
  if (!reply.Reached) {
    Settle(OwnString(languageBase_, OwnText::SignInServiceUnreachable));
    return;
  }
  const TokenResponse response = ParseTokenResponse(reply.Status, reply.Body);
  switch (response.What) {
    case TokenResponse::Kind::Token:
      record.OAuthAccessToken = AccessTokenFrom(response, now_());
      if (!response.RefreshToken.empty() && response.RefreshToken != record.OAuthRefreshToken) {
        record.OAuthRefreshToken = response.RefreshToken;
        if (newRefreshToken_) newRefreshToken_(index_);
      }
      Settle({});
      return;
    case TokenResponse::Kind::Expired:
      record.OAuthRefusedToken = record.OAuthRefreshToken;
      Settle(OwnString(languageBase_, OwnText::SignInExpired));
      return;
    case TokenResponse::Kind::Refused: {
      std::string text = OwnString(languageBase_, OwnText::SignInServiceRefused);
      const std::size_t at = text.find('#');
      if (at != std::string::npos) text.replace(at, 1, ServerReason(response.Error));
      Settle(std::move(text));
      return;
    }
    case TokenResponse::Kind::Garbled:
      break;
  }
  Settle(OwnString(languageBase_, OwnText::SignInServiceUnreachable));
}

void TokenRefresh::Settle(std::string problem) {
  (*mailboxes_)[static_cast<std::size_t>(index_)].OAuthProblem = std::move(problem);
  Next();
}

}  // namespace postvane
