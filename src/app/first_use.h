// What a new user needs to get going: the dialog at the first start, a tool tip that says how
// to set up a mailbox, and a check as soon as a mailbox's login changes in the dialog.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "check/mailbox_table.h"
#include "settings/general_settings.h"

namespace postvane {

// The login details of the ten mailboxes as they were at start-up or at the last closing of
// the configuration dialog.
class LoginWatch {
 public:
  void Remember(const MailboxTable& mailboxes);
  // True when some mailbox is enabled now and was not, or is enabled and its server, port,
  // user, password, security or trusted certificate differ from what was remembered.
  bool NewLogin(const MailboxTable& mailboxes) const;

 private:
  struct Login {
    bool Enabled = false;
    std::string RemoteHost;
    int32_t RemotePort = 0;
    std::string User;
    std::string Password;
    int16_t Security = 0;
    // A certificate trusted in the dialog is checked at once, as a changed login is.
    std::string CertFingerprint;
  };
  std::array<Login, kUserMailboxes> logins_{};
};

bool AnyMailboxEnabled(const MailboxTable& mailboxes);

// A command line with something in it besides blanks.
bool MailProgramSet(const GeneralSettings& general);

// The tray tool tip while no mailbox is enabled: what to do to set one up.
std::string NoMailboxToolTip(int16_t languageBase);

}  // namespace postvane
