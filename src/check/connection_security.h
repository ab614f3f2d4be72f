// How a mailbox's connection is secured, and the certificate fingerprint a user chose to trust.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace postvane {

// Codes of the `Security` key.
enum class SecurityMode : int16_t {
  None = 0,      // plain POP3
  Tls = 1,       // TLS from the first byte
  StartTls = 2,  // plain greeting, CAPA, STLS, then TLS
};

constexpr int32_t kPlainPop3Port = 110;
constexpr int32_t kTlsPop3Port = 995;

// The code a mailbox holds when its `Security` text is none of the known ones.
constexpr int16_t kUnknownSecurity = -1;

// The stored code as the engine uses it; nothing for a code it does not know. Such a mailbox
// is never checked: guessing plain would send the password in clear.
std::optional<SecurityMode> EffectiveSecurity(int16_t stored);

// The `Security` text as read: "0", "1" or "2" with blanks around them, and the empty text
// (0); anything else is kUnknownSecurity.
int16_t ReadSecurityCode(std::string_view text);

// 64 upper-case hex digits, or empty when the text is not a SHA-256 fingerprint. Colons, blanks
// and letter case are ignored, so "ab:cd:..." as tools print it is accepted.
std::string NormalizeFingerprint(std::string_view text);

// The fingerprint as people read it: pairs of digits joined by colons.
std::string FingerprintWithColons(std::string_view normalized);

// True when both name the same certificate; an empty or malformed one matches nothing.
bool FingerprintsMatch(std::string_view a, std::string_view b);

}  // namespace postvane
