// What the check engine reads and writes: the mailbox table, the language of its texts and
// the position of the cycle.
#pragma once

#include <cstdint>
#include <string>

#include "check/mailbox_table.h"

namespace postvane {

struct CheckState {
  MailboxTable Mailboxes{};
  int16_t LanguageBase = 900;  // English until start-up selects the user's language

  // The dialogue with the one server being polled.
  int16_t CurrentMailbox = 0;
  std::string UidlBuffer;
  std::string HeaderBuffer;
  int16_t CurrentMessage = 0;
};

}  // namespace postvane
