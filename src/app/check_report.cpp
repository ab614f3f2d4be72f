// Plain-text and JSON renderings of a one-shot check, and its exit status.
#include "app/check_report.h"

#include <algorithm>
#include <cstddef>

#include "app/check_options.h"
#include "settings/text_encoding.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Length of the UTF-8 sequence at `at`; the decoder gives valid text, but a sequence is
// never taken past the end whatever it holds.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 4;
  if (lead < 0x80) {
    length = 1;
  } else if (lead < 0xE0) {
    length = 2;
  } else if (lead < 0xF0) {
    length = 3;
  }
  return std::min(length, text.size() - at);
}

// Code point of a two-byte sequence (U+0080..U+07FF), for spotting the C1 controls.
unsigned TwoByteCodePoint(std::string_view text, std::size_t at) {
  return (static_cast<unsigned>(static_cast<unsigned char>(text[at]) & 0x1F) << 6) |
         (static_cast<unsigned char>(text[at + 1]) & 0x3F);
}

void AppendHex4(std::string& out, unsigned value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
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
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = SequenceLength(text, i);
    if (lead == '"') {
      out += "\\\"";
    } else if (lead == '\\') {
      out += "\\\\";
    } else if (lead < 0x20 || lead == 0x7F) {
      AppendHex4(out, lead);
    } else if (length == 2 && TwoByteCodePoint(text, i) < 0xA0) {
      // C1 controls are legal JSON, but a terminal that shows the document would obey them.
      AppendHex4(out, TwoByteCodePoint(text, i));
    } else if (length == 3 && lead == 0xE2 && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      // Line and paragraph separators end a line in JavaScript.
      AppendHex4(out, text[i + 2] == '\xA8' ? 0x2028 : 0x2029);
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  out += "\"";
  return out;
}

std::string PlainText(std::string_view bytes) {
  const std::string text = DecodeUtf8OrWindows1252(bytes);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = SequenceLength(text, i);
    if (lead == '\t') {
      out.push_back(' ');
    } else if (lead < 0x20 || lead == 0x7F || (length == 2 && TwoByteCodePoint(text, i) < 0xA0)) {
      out += kReplacement;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string RenderPlainReport(const CheckReport& report) {
  const int16_t base = report.LanguageBase;
  std::string out;
  for (const MailboxReport& mailbox : report.Mailboxes) {
    out += std::to_string(mailbox.Index) + " " + PlainText(mailbox.Name) + ": ";
    if (!mailbox.Enabled) {
      out += OwnString(base, OwnText::NotCheckedSwitchedOff) + "\n";
      continue;
    }
    // Counts that were not renewed are not shown as if they were.
    if (mailbox.Result == MailboxResult::NotChecked) {
      out += OwnString(base, OwnText::NotChecked);
      if (!mailbox.StatusText.empty()) out += " - " + PlainText(mailbox.StatusText);
      out += "\n";
      continue;
    }
    out += std::to_string(mailbox.NewCount) + " " + LocalString(base, StringId::NewMessages) +
           ", " + std::to_string(mailbox.MessageCount) + " " +
           LocalString(base, StringId::MessagesInMailbox) + " - " +
           PlainText(StatusOf(mailbox, base)) + "\n";
    for (const MessageHeader& header : mailbox.Headers) {
      out += "    " + LocalString(base, StringId::From) + " " + PlainText(header.From) + " | " +
             LocalString(base, StringId::Subject) + " " + PlainText(header.Subject) + " | " +
             LocalString(base, StringId::Date) + " " + PlainText(header.Date) + "\n";
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
