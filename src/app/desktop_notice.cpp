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
      notice.Body += "\n" + LocalString(base, StringId::From) + " " +
                     DisplayAddresses(header.From) + " | " + LocalString(base, StringId::Subject) +
                     " " + DisplayText(header.Subject);
    }
  }
  notice.Summary =
      "Postvane: " + std::to_string(total) + " " + LocalString(base, StringId::NewMessages);
  return notice;
}

}  // namespace postvane
