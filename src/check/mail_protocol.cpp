// Protocol codes and their usual ports.
#include "check/mail_protocol.h"

namespace postvane {

std::optional<MailProtocol> EffectiveProtocol(int16_t stored) {
  switch (stored) {
    case 0:
      return MailProtocol::Pop3;
    case 1:
      return MailProtocol::Imap;
    default:
      return std::nullopt;
  }
}

int16_t ReadProtocolCode(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text == "0") return 0;
  if (text == "1") return 1;
  return kUnknownProtocol;
}

int32_t UsualPort(MailProtocol protocol, SecurityMode security) {
  const bool tls = security == SecurityMode::Tls;
  if (protocol == MailProtocol::Imap) return tls ? kTlsImapPort : kPlainImapPort;
  return tls ? kTlsPop3Port : kPlainPop3Port;
}

}  // namespace postvane
