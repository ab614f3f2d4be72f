// First-use helpers: the login watch, and the texts that lead a new user to the dialog.
#include "app/first_use.h"

#include "app/tray_summary.h"
#include "text/own_text.h"

namespace postvane {

void LoginWatch::Remember(const MailboxTable& mailboxes) {
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& record = mailboxes[i];
    logins_[i] =
        Login{record.Enabled != kFalse, record.RemoteHost, record.RemotePort,     record.User,
              record.Password,          record.Security,   record.CertFingerprint};
  }
}

bool LoginWatch::NewLogin(const MailboxTable& mailboxes) const {
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& now = mailboxes[i];
    const Login& was = logins_[i];
    if (now.Enabled == kFalse) continue;
    if (!was.Enabled || now.RemoteHost != was.RemoteHost || now.RemotePort != was.RemotePort ||
        now.User != was.User || now.Password != was.Password || now.Security != was.Security ||
        now.CertFingerprint != was.CertFingerprint) {
      return true;
    }
  }
  return false;
}

bool AnyMailboxEnabled(const MailboxTable& mailboxes) {
  for (int i = 0; i < kUserMailboxes; ++i) {
    if (mailboxes[i].Enabled != kFalse) return true;
  }
  return false;
}

bool MailProgramSet(const GeneralSettings& general) {
  return general.MailProgram.find_first_not_of(" \t") != std::string::npos;
}

std::string NoMailboxToolTip(int16_t languageBase) {
  return std::string(kProductName) + ": " + OwnString(languageBase, OwnText::NoMailboxEnabled);
}

}  // namespace postvane
