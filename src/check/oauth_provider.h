// Where a mailbox's OAuth provider signs users in and hands out tokens: the two built-in
// providers as data, any other from its OpenID discovery document.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postvane {

struct OAuthEndpoints {
  std::string AuthorizationEndpoint;
  std::string TokenEndpoint;
  // Space-separated, as the authorization request and the refresh send it.
  std::string Scope;
};

// The endpoints of "google" or "microsoft" (letter case ignored); nothing for any other text.
std::optional<OAuthEndpoints> PresetEndpoints(std::string_view provider);

// The discovery document's address for an issuer: nothing when the issuer is no address the
// program may ask (see IsAllowedEndpoint).
std::optional<std::string> DiscoveryUrl(std::string_view issuer);

// The endpoints from a discovery document, which must name the same issuer and endpoints the
// program may ask; nothing otherwise. Asks for "openid email", and "offline_access" when the
// provider lists it, so that a refresh token comes back.
std::optional<OAuthEndpoints> ParseDiscovery(std::string_view json, std::string_view issuer);

// HTTPS anywhere; plain HTTP only to 127.0.0.1, where nothing crosses the network. Addresses
// with user information, blanks or control characters are refused.
bool IsAllowedEndpoint(std::string_view url);

}  // namespace postvane
