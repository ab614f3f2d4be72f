// The session for a mailbox's protocol.
#include "check/mailbox_session.h"

#include "check/imap_session.h"
#include "check/mail_protocol.h"
#include "check/pop3_session.h"

namespace postvane {

std::unique_ptr<MailboxSession> MakeMailboxSession(const SessionSetup& setup) {
  // The engine never connects for an unknown protocol; POP3 is the default as ever.
  if (EffectiveProtocol(setup.Record.Protocol) == MailProtocol::Imap) {
    return std::make_unique<ImapSession>(setup);
  }
  return std::make_unique<Pop3Session>(setup);
}

}  // namespace postvane
