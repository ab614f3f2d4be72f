// Token endpoint answers.
#include "check/token_response.h"

#include <charconv>

#include "check/json_reply.h"

namespace postvane {

namespace {

// A year is longer than any provider lets an access token live; a larger claim is cut to it.
constexpr int64_t kLongestLife = 365LL * 24 * 3600;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// expires_in as a number or, as some providers send it, a decimal text.
int64_t Lifetime(const nlohmann::json& object) {
  const auto found = object.find("expires_in");
  if (found == object.end()) return 0;
  double seconds = 0;
  if (found->is_number()) {
    seconds = found->get<double>();
  } else if (found->is_string()) {
    const std::string text = found->get<std::string>();
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return 0;
    seconds = static_cast<double>(value);
  }
  if (!(seconds > 0)) return 0;
  if (seconds > static_cast<double>(kLongestLife)) return kLongestLife;
  return static_cast<int64_t>(seconds);
}

}  // namespace

TokenResponse ParseTokenResponse(int httpStatus, std::string_view body) {
  TokenResponse response;
  const std::optional<nlohmann::json> object = ParseJsonObject(body);
  if (!object) return response;
  const std::string error = StringMember(*object, "error");
  if (!error.empty()) {
    response.What =
        error == "invalid_grant" ? TokenResponse::Kind::Expired : TokenResponse::Kind::Refused;
    response.Error = error;
    const std::string description = StringMember(*object, "error_description");
    if (!description.empty()) response.Error += ": " + description;
    return response;
  }
  const std::string token = StringMember(*object, "access_token");
  if (httpStatus != 200 || token.empty() ||
      !EqualsIgnoringCase(StringMember(*object, "token_type"), "Bearer")) {
    return response;
  }
  response.What = TokenResponse::Kind::Token;
  response.AccessToken = token;
  response.RefreshToken = StringMember(*object, "refresh_token");
  response.ExpiresIn = Lifetime(*object);
  return response;
}

bool NeedsRefresh(const AccessToken& token, int64_t now) {
  return token.Token.empty() || token.ExpiresAt - kRefreshMargin <= now;
}

AccessToken AccessTokenFrom(const TokenResponse& response, int64_t now) {
  if (response.What != TokenResponse::Kind::Token) return {};
  // Without a lifetime the token is good for this check only.
  return {response.AccessToken,
          now + (response.ExpiresIn > 0 ? response.ExpiresIn : kRefreshMargin)};
}

}  // namespace postvane
