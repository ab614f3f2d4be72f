// Built from the string table's texts (new messages, From, Subject), so it reads in the user's
// language like the status window.
#include "app/desktop_notice.h"

#include <algorithm>
#include <string>

#include "text/display_text.h"
#include "text/string_table.h"

namespace postvane {

DesktopNotice MakeDesktopNotice(const ProgramState& state) {
  const int16_t base = state.LanguageBase;
  DesktopNotice notice;
  int total = 0;
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& mailbox = state.Mailboxes[i];
    if (mailbox.Enabled == kFalse || mailbox.NewCount <= 0) continue;
    total += mailbox.NewCount;
    if (!notice.Body.empty()) notice.Body += '\n';
    notice.Body += DisplayText(mailbox.Name) + ": " + std::to_string(mailbox.NewCount) + " " +
                   LocalString(base, StringId::NewMessages);
    // Element 1 is the newest message; element 0 is never filled.
    const int upper = std::min(HeadersUpperBound(mailbox), kNoticeMessagesPerMailbox);
    for (int k = 1; k <= upper; ++k) {
      const MessageHeader& header = mailbox.Headers[static_cast<std::size_t>(k)];
      // Appended piece by piece: a literal put before a temporary string makes GCC 12 warn
      // of an overlapping copy that cannot happen (-Wrestrict in optimised builds).
      notice.Body.append("\n")
          .append(LocalString(base, StringId::From))
          .append(" ")
          .append(DisplayAddresses(header.From))
          .append(" | ")
          .append(LocalString(base, StringId::Subject))
          .append(" ")
          .append(DisplayText(header.Subject));
    }
  }
  notice.Summary.append("Postvane: ")
      .append(std::to_string(total))
      .append(" ")
      .append(LocalString(base, StringId::NewMessages));
  return notice;
}

}  // namespace postvane
