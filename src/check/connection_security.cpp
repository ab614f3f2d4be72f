// Security codes and fingerprint texts.
#include "check/connection_security.h"

namespace postvane {

namespace {
constexpr std::size_t kSha256Digits = 64;
}

std::optional<SecurityMode> EffectiveSecurity(int16_t stored) {
  switch (stored) {
    case 0:
      return SecurityMode::None;
    case 1:
      return SecurityMode::Tls;
    case 2:
      return SecurityMode::StartTls;
    default:
      return std::nullopt;
  }
}

int16_t ReadSecurityCode(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text == "0") return 0;
  if (text == "1") return 1;
  if (text == "2") return 2;
  return kUnknownSecurity;
}

std::string NormalizeFingerprint(std::string_view text) {
  std::string digits;
  for (const char c : text) {
    if (c == ':' || c == ' ' || c == '\t') continue;
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (c >= 'a' && c <= 'f') {
      digits.push_back(static_cast<char>(c - 'a' + 'A'));
    } else if (c >= 'A' && c <= 'F') {
      digits.push_back(c);
    } else {
      return {};
    }
    if (digits.size() > kSha256Digits) return {};
  }
  if (digits.size() != kSha256Digits) return {};
  return digits;
}

std::string FingerprintWithColons(std::string_view normalized) {
  std::string text;
  for (std::size_t i = 0; i < normalized.size(); ++i) {
    if (i > 0 && i % 2 == 0) text.push_back(':');
    text.push_back(normalized[i]);
  }
  return text;
}

bool FingerprintsMatch(std::string_view a, std::string_view b) {
  const std::string left = NormalizeFingerprint(a);
  return !left.empty() && left == NormalizeFingerprint(b);
}

}  // namespace postvane
