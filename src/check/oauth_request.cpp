// Building and reading the flow's requests.
#include "check/oauth_request.h"

#include <random>

#include "check/base64.h"
#include "check/sha256.h"

namespace postvane {

namespace {

constexpr std::size_t kSecretBytes = 32;

bool Unreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string FormDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The first value of a query parameter; nothing when absent.
std::optional<std::string> QueryValue(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    const std::size_t equals = pair.find('=');
    if (FormDecode(pair.substr(0, equals)) == name) {
      return equals == std::string_view::npos ? std::string() : FormDecode(pair.substr(equals + 1));
    }
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return std::nullopt;
}

void AddParameter(std::string& to, std::string_view name, std::string_view value) {
  if (!to.empty() && to.back() != '?' && to.back() != '&') to += '&';
  to += name;
  to += '=';
  to += FormEncode(value);
}

}  // namespace

SignInSecrets MakeSignInSecrets(std::string_view randomBytes) {
  std::string bytes(randomBytes.substr(0, 2 * kSecretBytes));
  if (bytes.size() < 2 * kSecretBytes) {
    std::random_device source;
    while (bytes.size() < 2 * kSecretBytes) bytes += static_cast<char>(source() & 0xFF);
  }
  return {Base64UrlEncode(std::string_view(bytes).substr(0, kSecretBytes)),
          Base64UrlEncode(std::string_view(bytes).substr(kSecretBytes, kSecretBytes))};
}

std::string CodeChallenge(std::string_view verifier) {
  const auto digest = Sha256(verifier);
  return Base64UrlEncode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string FormEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    if (Unreserved(c)) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string LoopbackRedirect(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

std::string AuthorizationUrl(const OAuthEndpoints& endpoints, std::string_view clientId,
                             std::string_view redirectUri, const SignInSecrets& secrets,
                             std::string_view loginHint) {
  std::string url = endpoints.AuthorizationEndpoint;
  if (url.find('?') == std::string::npos) url += '?';
  AddParameter(url, "response_type", "code");
  AddParameter(url, "client_id", clientId);
  AddParameter(url, "redirect_uri", redirectUri);
  AddParameter(url, "scope", endpoints.Scope);
  AddParameter(url, "state", secrets.State);
  AddParameter(url, "code_challenge", CodeChallenge(secrets.Verifier));
  AddParameter(url, "code_challenge_method", "S256");
  if (!loginHint.empty()) AddParameter(url, "login_hint", loginHint);
  // Google hands out a refresh token only when asked for offline access.
  if (endpoints.AuthorizationEndpoint.starts_with("https://accounts.google.com/")) {
    AddParameter(url, "access_type", "offline");
    AddParameter(url, "prompt", "consent");
  }
  return url;
}

std::string CodeRedemptionBody(std::string_view code, std::string_view redirectUri,
                               std::string_view clientId, std::string_view clientSecret,
                               std::string_view verifier) {
  std::string body;
  AddParameter(body, "grant_type", "authorization_code");
  AddParameter(body, "code", code);
  AddParameter(body, "redirect_uri", redirectUri);
  AddParameter(body, "client_id", clientId);
  if (!clientSecret.empty()) AddParameter(body, "client_secret", clientSecret);
  AddParameter(body, "code_verifier", verifier);
  return body;
}

std::string RefreshBody(std::string_view refreshToken, std::string_view clientId,
                        std::string_view clientSecret, std::string_view scope) {
  std::string body;
  AddParameter(body, "grant_type", "refresh_token");
  AddParameter(body, "refresh_token", refreshToken);
  AddParameter(body, "client_id", clientId);
  if (!clientSecret.empty()) AddParameter(body, "client_secret", clientSecret);
  if (!scope.empty()) AddParameter(body, "scope", scope);
  return body;
}

RedirectResult ReadRedirect(std::string_view requestLine, std::string_view expectedState) {
  RedirectResult result;
  if (!requestLine.starts_with("GET ")) return result;
  std::string_view target = requestLine.substr(4);
  target = target.substr(0, target.find(' '));
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return result;
  std::string_view query = target.substr(question + 1);
  query = query.substr(0, query.find('#'));
  const std::optional<std::string> code = QueryValue(query, "code");
  const std::optional<std::string> error = QueryValue(query, "error");
  if (!code && !error) return result;
  // Without our state the request came from some other page: neither a code nor an error
  // from it counts.
  const std::optional<std::string> state = QueryValue(query, "state");
  if (!state || expectedState.empty() || *state != expectedState) {
    result.What = RedirectResult::Kind::WrongState;
    return result;
  }
  if (error) {
    result.What = RedirectResult::Kind::Refused;
    result.Error = *error;
    const std::optional<std::string> description = QueryValue(query, "error_description");
    if (description && !description->empty()) result.Error += ": " + *description;
    return result;
  }
  result.What = code->empty() ? RedirectResult::Kind::NotOurs : RedirectResult::Kind::Code;
  result.Code = *code;
  return result;
}

}  // namespace postvane
