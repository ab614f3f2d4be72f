// A plain mailbox on a port that usually speaks TLS: a server there that never greets most
// likely waits for a TLS handshake, and the failure text says so.
#pragma once

#include <cstdint>
#include <string>

#include "check/mailbox_table.h"

namespace postvane {

constexpr int32_t kImapsPort = 993;

// 995 (POP3 over TLS) and 993 (IMAP over TLS).
bool PortUsuallyTls(int32_t port);

// `description` of a socket error, followed by the hint when the error is the reply time-out
// of a plain mailbox on such a port that got no greeting; `description` alone otherwise.
std::string WithPlainPortHint(int16_t languageBase, const MailboxRecord& record, int errorNumber,
                              const std::string& description);

}  // namespace postvane
