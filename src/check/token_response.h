// The token endpoint's answers (RFC 6749 5.1, 5.2) and when an access token is due again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace postvane {

struct TokenResponse {
  enum class Kind {
    Token,    // an access token
    Expired,  // invalid_grant: the refresh token or the code is no longer good; sign in again
    Refused,  // any other error the provider named
    Garbled,  // no token and no error: not a token endpoint's answer
  };
  Kind What = Kind::Garbled;
  std::string AccessToken;
  // Empty when the provider keeps the old one.
  std::string RefreshToken;
  // Seconds from now; 0 when the provider did not say, in which case the token is used once.
  int64_t ExpiresIn = 0;
  // The provider's error code and description, as text.
  std::string Error;
};

// An answer with its HTTP status. A token only counts from a 200 answer of type Bearer.
TokenResponse ParseTokenResponse(int httpStatus, std::string_view body);

// An access token in memory with the time (seconds, the caller's clock) it runs out.
struct AccessToken {
  std::string Token;
  int64_t ExpiresAt = 0;
};

// Refreshed before a check when it runs out within a minute, so it never runs out mid-check.
inline constexpr int64_t kRefreshMargin = 60;
bool NeedsRefresh(const AccessToken& token, int64_t now);

// The token as a response and the time it arrived make it.
AccessToken AccessTokenFrom(const TokenResponse& response, int64_t now);

}  // namespace postvane
