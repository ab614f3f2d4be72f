// What the check engine shares with the rest of the program: the mailbox table, the language
// of its texts and the position of the cycle. Everything else of a cycle lives in the engine.
#pragma once

#include <cstdint>

#include "check/mailbox_table.h"

namespace postvane {

struct CheckState {
  MailboxTable Mailboxes{};
  int16_t LanguageBase = 900;  // English until start-up selects the user's language
  // The mailbox being checked; kEndOfCycle (or 0 after the end) when none is.
  int16_t CurrentMailbox = 0;
};

}  // namespace postvane
