// Fuzz target: what OAuth providers and mail servers send back about sign-in, read by the
// core: token endpoint answers, discovery documents, the loopback redirect's request line and
// the SASL error challenge.
//
// Input: 0 HTTP status (byte, 0 gives 200), 1 what the rest is (modulo 4: token answer,
// discovery document, redirect request line, error challenge); then the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check/base64.h"
#include "check/oauth_provider.h"
#include "check/oauth_request.h"
#include "check/sasl_oauth.h"
#include "check/token_response.h"
#include "fuzz_input.h"

namespace postvane::fuzz {
namespace {

void CheckToken(int status, std::string_view body) {
  const TokenResponse response = ParseTokenResponse(status, body);
  if (response.What == TokenResponse::Kind::Token) {
    POSTVANE_FUZZ_CHECK(status == 200);
    POSTVANE_FUZZ_CHECK(!response.AccessToken.empty());
    POSTVANE_FUZZ_CHECK(response.ExpiresIn >= 0);
    POSTVANE_FUZZ_CHECK(response.ExpiresIn <= 365LL * 24 * 3600);
    const AccessToken token = AccessTokenFrom(response, 1000);
    POSTVANE_FUZZ_CHECK(token.ExpiresAt > 1000);
  } else {
    POSTVANE_FUZZ_CHECK(response.AccessToken.empty());
  }
  POSTVANE_FUZZ_CHECK(response.Error.size() <= body.size());
}

void CheckDiscovery(std::string_view body) {
  const std::string issuer = "https://id.example.org";
  const std::optional<OAuthEndpoints> endpoints = ParseDiscovery(body, issuer);
  if (!endpoints) return;
  // Whatever the document says, no endpoint outside the allowed ones is ever used.
  POSTVANE_FUZZ_CHECK(IsAllowedEndpoint(endpoints->AuthorizationEndpoint));
  POSTVANE_FUZZ_CHECK(IsAllowedEndpoint(endpoints->TokenEndpoint));
  const std::string url =
      AuthorizationUrl(*endpoints, "id", LoopbackRedirect(1234), {"state", "verifier"}, "");
  POSTVANE_FUZZ_CHECK(url.starts_with(endpoints->AuthorizationEndpoint));
}

void CheckRedirect(std::string_view line) {
  const RedirectResult result = ReadRedirect(line, "expected-state");
  if (result.What == RedirectResult::Kind::Code) {
    POSTVANE_FUZZ_CHECK(!result.Code.empty());
    POSTVANE_FUZZ_CHECK(line.find("expected-state") != std::string_view::npos);
  }
}

void CheckChallenge(std::string_view text) {
  const std::optional<std::string> reason = ErrorChallengeReason(text);
  if (reason) POSTVANE_FUZZ_CHECK(!reason->empty());
  const std::optional<std::string> decoded = Base64Decode(text);
  if (decoded) {
    const std::optional<std::string> again = Base64Decode(Base64Encode(*decoded));
    POSTVANE_FUZZ_CHECK(again.has_value());
    POSTVANE_FUZZ_CHECK_EQ(*again, *decoded);
  }
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int status = data[0] == 0 ? 200 : data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  switch (data[1] % 4) {
    case 0:
      postvane::fuzz::CheckToken(status, rest);
      break;
    case 1:
      postvane::fuzz::CheckDiscovery(rest);
      break;
    case 2:
      postvane::fuzz::CheckRedirect(rest);
      break;
    default:
      postvane::fuzz::CheckChallenge(rest);
      break;
  }
  return 0;
}
