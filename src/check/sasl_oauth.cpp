// XOAUTH2 and OAUTHBEARER messages.
#include "check/sasl_oauth.h"

#include <algorithm>

#include "check/base64.h"
#include "check/json_reply.h"

namespace postvane {

namespace {

// RFC 5801 saslname: "," and "=" escaped in the authorization identity.
std::string SaslName(std::string_view user) {
  std::string out;
  for (char c : user) {
    if (c == ',') {
      out += "=2C";
    } else if (c == '=') {
      out += "=3D";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

// What of a server's words goes into a status text.
constexpr std::size_t kReasonLimit = 200;

}  // namespace

std::string ServerReason(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) continue;
    if (out.empty() && c == ' ') continue;
    out += c;
    if (out.size() >= kReasonLimit) break;
  }
  return out;
}

std::string_view MechanismName(SaslMechanism mechanism) {
  return mechanism == SaslMechanism::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

SaslMechanism PickMechanism(const std::vector<std::string>& serverMechanisms) {
  const bool bearer =
      std::any_of(serverMechanisms.begin(), serverMechanisms.end(),
                  [](const std::string& name) { return Upper(name) == "OAUTHBEARER"; });
  return bearer ? SaslMechanism::OAuthBearer : SaslMechanism::XOAuth2;
}

std::string InitialResponse(SaslMechanism mechanism, std::string_view user,
                            std::string_view accessToken, std::string_view host, int port) {
  std::string message;
  if (mechanism == SaslMechanism::XOAuth2) {
    message = "user=" + std::string(user) + "\x01" + "auth=Bearer " + std::string(accessToken) +
              "\x01\x01";
  } else {
    message = "n,a=" + SaslName(user) + ",\x01" + "host=" + std::string(host) + "\x01" +
              "port=" + std::to_string(port) + "\x01" + "auth=Bearer " + std::string(accessToken) +
              "\x01\x01";
  }
  return Base64Encode(message);
}

std::string_view ErrorChallengeAnswer(SaslMechanism mechanism) {
  return mechanism == SaslMechanism::OAuthBearer ? "AQ==" : "";
}

std::optional<std::string> ErrorChallengeReason(std::string_view base64) {
  while (!base64.empty() &&
         (base64.back() == ' ' || base64.back() == '\r' || base64.back() == '\n')) {
    base64.remove_suffix(1);
  }
  const std::optional<std::string> text = Base64Decode(base64);
  if (!text) return std::nullopt;
  const std::optional<nlohmann::json> object = ParseJsonObject(*text);
  if (!object) return std::nullopt;
  // Servers send the status as a text ("401", "invalid_token") and some as a number.
  std::string status = StringMember(*object, "status");
  const auto found = object->find("status");
  if (status.empty() && found != object->end() && found->is_number_integer()) {
    status = std::to_string(found->get<long long>());
  }
  if (status.empty()) return std::nullopt;
  const std::string scope = StringMember(*object, "scope");
  return scope.empty() ? status : status + " (" + scope + ")";
}

}  // namespace postvane
