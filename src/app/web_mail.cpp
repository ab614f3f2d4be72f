// Which web mail addresses the tray offers.
#include "app/web_mail.h"

#include "settings/web_mail_url.h"
#include "text/display_text.h"
#include "text/own_text.h"

namespace postvane {

std::vector<WebMailEntry> WebMailEntries(const ProgramState& state) {
  std::vector<WebMailEntry> entries;
  for (int i = 0; i < kUserMailboxes; ++i) {
    if (UsableWebMailUrl(state.Mailboxes[i].WebMailUrl)) entries.push_back({i, {}});
  }
  const std::string open = OwnString(state.LanguageBase, OwnText::OpenWebMail);
  for (WebMailEntry& entry : entries) {
    entry.Caption = open;
    const std::string name = DisplayText(state.Mailboxes[entry.Index].Name);
    if (entries.size() > 1)
      entry.Caption += ": " + (name.empty() ? std::to_string(entry.Index + 1) : name);
  }
  return entries;
}

int WebMailForNotice(const ProgramState& state) {
  int chosen = -1;
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& mailbox = state.Mailboxes[i];
    if (mailbox.NewCount <= 0 || !UsableWebMailUrl(mailbox.WebMailUrl)) continue;
    if (chosen < 0 || mailbox.LastCheck > state.Mailboxes[chosen].LastCheck) chosen = i;
  }
  return chosen;
}

}  // namespace postvane
