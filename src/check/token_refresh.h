// Renews the access tokens of the mailboxes that sign in with OAuth, before a check: one
// mailbox after another, each with its refresh token at its provider's token endpoint.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "check/mailbox_table.h"
#include "check/oauth_provider.h"
#include "ports/http_client.h"

namespace postvane {

class TokenRefresh {
 public:
  // `now` gives seconds on a clock that never goes back; the texts follow `languageBase` as it
  // is at each run.
  TokenRefresh(HttpClient& http, const int16_t& languageBase, std::function<int64_t()> now);

  // Every enabled OAuth mailbox whose access token runs out within a minute is refreshed.
  // `newRefreshToken(index)` is called at once when a provider hands out a new refresh
  // token (it is in the record then); `done` once every mailbox is settled. A mailbox whose
  // refresh failed has no access token and its reason in OAuthProblem.
  void Run(MailboxTable& mailboxes, std::function<void(int16_t)> newRefreshToken,
           std::function<void()> done);
  bool Running() const { return running_; }

 private:
  void Next();
  void Refresh(const OAuthEndpoints& endpoints);
  void OnToken(const HttpReply& reply);
  void Settle(std::string problem);

  HttpClient& http_;
  const int16_t& languageBase_;
  std::function<int64_t()> now_;
  MailboxTable* mailboxes_ = nullptr;
  std::function<void(int16_t)> newRefreshToken_;
  std::function<void()> done_;
  int16_t index_ = 0;
  bool running_ = false;
};

// Seconds of std::chrono::steady_clock.
int64_t SteadySeconds();

}  // namespace postvane
