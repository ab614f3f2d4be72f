// How a mailbox signs in: with its password, or with an OAuth 2.0 access token.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/mailbox_table.h"
#include "text/own_text.h"

namespace postvane {

// Codes of the `Auth` key.
enum class AuthMethod : int16_t {
  Password = 0,
  OAuth = 1,
};

// The code a mailbox holds when its `Auth` text is none of the known ones.
constexpr int16_t kUnknownAuth = -1;

// "0" or "1" with blanks around them, and the empty text (0); anything else is kUnknownAuth.
int16_t ReadAuthCode(std::string_view text);

// The stored code as the engine uses it; nothing for a code it does not know. Such a mailbox
// is never checked: guessing would send a password where a token was meant, or the reverse.
std::optional<AuthMethod> EffectiveAuth(int16_t stored);

// Why the mailbox must not connect at all as its sign-in stands, as the status text: an
// unknown `Auth`, OAuth over a plain connection, or OAuth without an access token (the refresh
// failed, there is no refresh token, or the keyring did not give it). Nothing when it may.
std::optional<std::string> SignInRefusal(const MailboxRecord& record, int16_t languageBase);

}  // namespace postvane
