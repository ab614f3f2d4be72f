// Provider presets, discovery, and which endpoints may be asked.
#include "check/oauth_provider.h"

#include <algorithm>

#include "check/json_reply.h"

namespace postvane {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::optional<OAuthEndpoints> PresetEndpoints(std::string_view provider) {
  if (EqualsIgnoringCase(provider, "google")) {
    return OAuthEndpoints{"https://accounts.google.com/o/oauth2/v2/auth",
                          "https://oauth2.googleapis.com/token", "https://mail.google.com/"};
  }
  if (EqualsIgnoringCase(provider, "microsoft")) {
    return OAuthEndpoints{"https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
                          "https://login.microsoftonline.com/common/oauth2/v2.0/token",
                          "https://outlook.office.com/POP.AccessAsUser.All "
                          "https://outlook.office.com/IMAP.AccessAsUser.All offline_access"};
  }
  return std::nullopt;
}

bool IsAllowedEndpoint(std::string_view url) {
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == '\\') return false;
  }
  std::string_view rest;
  bool secure = false;
  if (StartsWithIgnoringCase(url, "https://")) {
    rest = url.substr(8);
    secure = true;
  } else if (StartsWithIgnoringCase(url, "http://")) {
    rest = url.substr(7);
  } else {
    return false;
  }
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  // "https://trusted@evil" names evil: no user information at all.
  if (authority.empty() || authority.find('@') != std::string_view::npos) return false;
  if (secure) return true;
  const std::string_view host = authority.substr(0, authority.find(':'));
  return host == "127.0.0.1";
}

std::optional<std::string> DiscoveryUrl(std::string_view issuer) {
  if (!IsAllowedEndpoint(issuer) || issuer.find_first_of("?#") != std::string_view::npos) {
    return std::nullopt;
  }
  while (!issuer.empty() && issuer.back() == '/') issuer.remove_suffix(1);
  return std::string(issuer) + "/.well-known/openid-configuration";
}

std::optional<OAuthEndpoints> ParseDiscovery(std::string_view json, std::string_view issuer) {
  const std::optional<nlohmann::json> document = ParseJsonObject(json);
  if (!document) return std::nullopt;
  const auto trimmed = [](std::string_view text) {
    while (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return text;
  };
  // A document that names another issuer may be someone else's (OpenID Discovery 4.3).
  if (trimmed(StringMember(*document, "issuer")) != trimmed(issuer)) return std::nullopt;
  OAuthEndpoints endpoints{StringMember(*document, "authorization_endpoint"),
                           StringMember(*document, "token_endpoint"), "openid email"};
  if (!IsAllowedEndpoint(endpoints.AuthorizationEndpoint) ||
      !IsAllowedEndpoint(endpoints.TokenEndpoint)) {
    return std::nullopt;
  }
  const auto scopes = document->find("scopes_supported");
  if (scopes != document->end() && scopes->is_array()) {
    for (const nlohmann::json& scope : *scopes) {
      if (scope.is_string() && scope.get<std::string>() == "offline_access") {
        endpoints.Scope += " offline_access";
        break;
      }
    }
  }
  return endpoints;
}

}  // namespace postvane
