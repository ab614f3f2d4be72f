// Which protocol a mailbox speaks, and the ports each protocol usually listens on.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "check/connection_security.h"

namespace postvane {

// Codes of the `Protocol` key.
enum class MailProtocol : int16_t {
  Pop3 = 0,
  Imap = 1,
};

constexpr int32_t kPlainImapPort = 143;
constexpr int32_t kTlsImapPort = 993;

// The code a mailbox holds when its `Protocol` text is none of the known ones.
constexpr int16_t kUnknownProtocol = -1;

// The stored code as the engine uses it; nothing for a code it does not know. Such a mailbox
// is never checked: the password would go to a server in a dialogue it does not expect.
std::optional<MailProtocol> EffectiveProtocol(int16_t stored);

// The `Protocol` text as read: "0" or "1" with blanks around them, and the empty text (0);
// anything else is kUnknownProtocol.
int16_t ReadProtocolCode(std::string_view text);

// The port a mailbox of this protocol and security usually uses (110/995, 143/993).
int32_t UsualPort(MailProtocol protocol, SecurityMode security);

}  // namespace postvane
