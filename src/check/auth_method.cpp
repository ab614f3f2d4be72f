// `Auth` codes as read from the settings.
#include "check/auth_method.h"

#include "check/connection_security.h"

namespace postvane {

int16_t ReadAuthCode(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text == "0") return 0;
  if (text == "1") return 1;
  return kUnknownAuth;
}

std::optional<AuthMethod> EffectiveAuth(int16_t stored) {
  switch (stored) {
    case 0:
      return AuthMethod::Password;
    case 1:
      return AuthMethod::OAuth;
    default:
      return std::nullopt;
  }
}

std::optional<std::string> SignInRefusal(const MailboxRecord& record, int16_t languageBase) {
  const std::optional<AuthMethod> method = EffectiveAuth(record.Auth);
  if (!method) return OwnString(languageBase, OwnText::UnknownAuthSetting);
  if (*method == AuthMethod::Password) return std::nullopt;
  if (EffectiveSecurity(record.Security).value_or(SecurityMode::None) == SecurityMode::None) {
    return OwnString(languageBase, OwnText::OAuthNeedsSecureConnection);
  }
  if (!record.OAuthAccessToken.Token.empty()) return std::nullopt;
  if (!record.OAuthProblem.empty()) return record.OAuthProblem;
  const bool locked = record.PasswordInKeyring != kFalse && record.RefreshTokenUnknown;
  return OwnString(languageBase, locked ? OwnText::KeyringUnavailable : OwnText::NotSignedIn);
}

}  // namespace postvane
