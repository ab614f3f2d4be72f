// Plain-text and JSON renderings of a one-shot check, and its exit status.
#include "app/check_report.h"

#include <algorithm>
#include <cstddef>

#include "app/check_options.h"
#include "check/secure_failure_text.h"
#include "text/display_text.h"
#include "text/own_text.h"
#include "text/string_table.h"
#include "text/text_encoding.h"

namespace postvane {

namespace {

void AppendHex4(std::string& out, unsigned value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
}

const char* ProtocolName(std::optional<MailProtocol> protocol) {
  if (!protocol) return "unknown";
  return *protocol == MailProtocol::Imap ? "imap" : "pop3";
}

const char* SecurityName(std::optional<SecurityMode> mode) {
  if (!mode) return "unknown";
  switch (*mode) {
    case SecurityMode::Tls:
      return "tls";
    case SecurityMode::StartTls:
      return "starttls";
    case SecurityMode::None:
      break;
  }
  return "none";
}

std::string StatusOf(const MailboxReport& mailbox, int16_t languageBase) {
  if (mailbox.StatusText.empty()) return LocalString(languageBase, StringId::NoError);
  return mailbox.StatusText;
}

}  // namespace

bool Checked(const MailboxReport& mailbox) {
  return mailbox.Enabled &&
         (mailbox.Result == MailboxResult::NewMail || mailbox.Result == MailboxResult::NoNewMail);
}

CheckReport MakeCheckReport(const ProgramState& state, const std::vector<int16_t>& listed,
                            const MailboxResults& results) {
  CheckReport report;
  report.LanguageBase = state.LanguageBase;
  for (int16_t index : listed) {
    if (index < 0 || index >= kUserMailboxes) continue;
    const MailboxRecord& record = state.Mailboxes[static_cast<std::size_t>(index)];
    MailboxReport mailbox;
    mailbox.Index = index;
    mailbox.Name = record.Name;
    mailbox.Enabled = record.Enabled != kFalse;
    mailbox.NewCount = record.NewCount;
    mailbox.MessageCount = record.MessageCount;
    mailbox.StatusText = record.StatusText;
    mailbox.Result = results[static_cast<std::size_t>(index)];
    mailbox.NewestUidl = record.NewestUidl;
    mailbox.Security = EffectiveSecurity(record.Security);
    mailbox.Protocol = EffectiveProtocol(record.Protocol);
    mailbox.RejectedCertificate = record.RejectedCertificate;
    // Element 0 is never filled; element 1 is the newest message.
    for (std::size_t k = 1; k < record.Headers.size(); ++k) {
      mailbox.Headers.push_back(record.Headers[k]);
    }
    report.Mailboxes.push_back(std::move(mailbox));
  }
  return report;
}

int NewTotal(const CheckReport& report) {
  int total = 0;
  for (const MailboxReport& mailbox : report.Mailboxes) {
    if (mailbox.Enabled && mailbox.NewCount > 0) total += mailbox.NewCount;
  }
  return total;
}

int CheckExitStatus(const CheckReport& report) {
  bool failed = false;
  for (const MailboxReport& mailbox : report.Mailboxes) {
    if (!mailbox.Enabled) continue;
    if (mailbox.NewCount > 0) return kExitNewMail;
    if (!mailbox.StatusText.empty() || !Checked(mailbox)) failed = true;
  }
  return failed ? kExitFailed : kExitNoNewMail;
}

std::string JsonString(std::string_view bytes) {
  const std::string text = DecodeUtf8OrWindows1252(bytes);
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    const char32_t cp = CodePointAt(text, i, length);
    if (cp == '"') {
      out += "\\\"";
    } else if (cp == '\\') {
      out += "\\\\";
    } else if (IsDisplayControl(cp)) {
      // Legal JSON, mostly, but a terminal or a page that shows the document would obey them;
      // the line separators also end a line in JavaScript.
      if (cp > 0xFFFF) {
        // Beyond the 16 bits of one escape (the tag characters): a surrogate pair, as JSON
        // writes such characters.
        const auto offset = static_cast<unsigned>(cp - 0x10000);
        AppendHex4(out, 0xD800 + (offset >> 10));
        AppendHex4(out, 0xDC00 + (offset & 0x3FF));
      } else {
        AppendHex4(out, static_cast<unsigned>(cp));
      }
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  out += "\"";
  return out;
}

std::string RenderPlainReport(const CheckReport& report) {
  const int16_t base = report.LanguageBase;
  std::string out;
  for (const MailboxReport& mailbox : report.Mailboxes) {
    out += std::to_string(mailbox.Index) + " " + DisplayText(mailbox.Name) + ": ";
    if (!mailbox.Enabled) {
      out += OwnString(base, OwnText::NotCheckedSwitchedOff) + "\n";
      continue;
    }
    // Counts that were not renewed are not shown as if they were.
    if (mailbox.Result == MailboxResult::NotChecked) {
      out += OwnString(base, OwnText::NotChecked);
      if (!mailbox.StatusText.empty()) out += " - " + DisplayText(mailbox.StatusText);
      out += "\n";
      continue;
    }
    out += std::to_string(mailbox.NewCount) + " " + LocalString(base, StringId::NewMessages) +
           ", " + std::to_string(mailbox.MessageCount) + " " +
           LocalString(base, StringId::MessagesInMailbox) + " - " +
           DisplayText(StatusOf(mailbox, base)) + "\n";
    for (const std::string& line : CertificateDetails(base, mailbox.RejectedCertificate)) {
      out += "    " + DisplayText(line) + "\n";
    }
    for (const MessageHeader& header : mailbox.Headers) {
      out += "    " + LocalString(base, StringId::From) + " " + DisplayAddresses(header.From) +
             " | " + LocalString(base, StringId::Subject) + " " + DisplayText(header.Subject) +
             " | " + LocalString(base, StringId::Date) + " " + DisplayText(header.Date) + "\n";
    }
  }
  return out;
}

std::string RenderJsonReport(const CheckReport& report) {
  std::string out = "{\"mailboxes\":[";
  bool firstMailbox = true;
  for (const MailboxReport& mailbox : report.Mailboxes) {
    if (!firstMailbox) out += ",";
    firstMailbox = false;
    out += "{\"index\":" + std::to_string(mailbox.Index);
    out += ",\"name\":" + JsonString(mailbox.Name);
    out += ",\"enabled\":" + std::string(mailbox.Enabled ? "true" : "false");
    out += ",\"checked\":" + std::string(Checked(mailbox) ? "true" : "false");
    out += ",\"newCount\":" + std::to_string(mailbox.NewCount);
    out += ",\"messageCount\":" + std::to_string(mailbox.MessageCount);
    out += ",\"status\":" + JsonString(mailbox.Enabled ? StatusOf(mailbox, report.LanguageBase)
                                                       : OwnString(report.LanguageBase,
                                                                   OwnText::NotCheckedSwitchedOff));
    const bool notChecked = mailbox.Enabled && mailbox.Result == MailboxResult::NotChecked;
    out +=
        ",\"error\":" + std::string(!mailbox.StatusText.empty() || notChecked ? "true" : "false");
    out += ",\"newestUidl\":" + JsonString(mailbox.NewestUidl);
    out += ",\"security\":" + JsonString(SecurityName(mailbox.Security));
    const TlsCertificate& certificate = mailbox.RejectedCertificate;
    if (!certificate.Fingerprint.empty()) {
      out += ",\"certificate\":{\"subject\":" + JsonString(certificate.Subject) +
             ",\"issuer\":" + JsonString(certificate.Issuer) +
             ",\"validFrom\":" + JsonString(certificate.ValidFrom) +
             ",\"validUntil\":" + JsonString(certificate.ValidUntil) +
             ",\"sha256\":" + JsonString(FingerprintWithColons(certificate.Fingerprint)) + "}";
    }
    out += ",\"protocol\":" + JsonString(ProtocolName(mailbox.Protocol));
    out += ",\"headers\":[";
    bool firstHeader = true;
    for (const MessageHeader& header : mailbox.Headers) {
      if (!firstHeader) out += ",";
      firstHeader = false;
      out += "{\"from\":" + JsonString(header.From) + ",\"to\":" + JsonString(header.To) +
             ",\"subject\":" + JsonString(header.Subject) +
             ",\"priority\":" + JsonString(header.Priority) +
             ",\"date\":" + JsonString(header.Date) + "}";
    }
    out += "]}";
  }
  out += "],\"newTotal\":" + std::to_string(NewTotal(report)) + "}\n";
  return out;
}

}  // namespace postvane
