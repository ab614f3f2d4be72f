// The hint after a silent server on a TLS port reached without TLS.
#include "check/plain_port_hint.h"

#include "check/connection_security.h"
#include "check/silent_server_guard.h"
#include "text/own_text.h"
#include "text/replace_hash.h"

namespace postvane {

bool PortUsuallyTls(int32_t port) { return port == kTlsPop3Port || port == kImapsPort; }

std::string WithPlainPortHint(int16_t languageBase, const MailboxRecord& record, int errorNumber,
                              const std::string& description) {
  // Connected and not further: the greeting never came. A server silent later in the dialogue
  // speaks POP3 and does not need TLS.
  const bool noGreeting = errorNumber == kSocketNoAnswer &&
                          record.State == MailboxState::Connected &&
                          EffectiveSecurity(record.Security) == SecurityMode::None;
  if (!noGreeting || !PortUsuallyTls(record.RemotePort)) return description;
  return description + " " +
         ReplaceHash(OwnString(languageBase, OwnText::PortUsuallyTls), record.RemotePort);
}

}  // namespace postvane
