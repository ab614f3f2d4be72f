// What a one-shot check found, as plain text or JSON, and the exit status it gives.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_state.h"
#include "check/connection_security.h"
#include "check/mail_protocol.h"
#include "check/mailbox_outcome.h"
#include "ports/tls_handshake.h"

namespace postvane {

// The outcome of one listed mailbox. Texts are as the table holds them (server bytes
// included); the renderings decode them.
struct MailboxReport {
  int16_t Index = 0;
  std::string Name;
  bool Enabled = false;  // false: listed with --mailbox but switched off, so not checked
  int16_t NewCount = 0;
  int16_t MessageCount = 0;
  std::string StatusText;  // empty: no error
  // How this run's check of the mailbox ended; anything but NewMail or NoNewMail means its
  // counts were not renewed (the deadline cut it short, it failed, or it was not checked).
  MailboxResult Result = MailboxResult::Failed;
  std::string NewestUidl;
  // Nothing when the stored `Security` text is not a known one.
  std::optional<SecurityMode> Security = SecurityMode::None;
  // Nothing when the stored `Protocol` text is not a known one.
  std::optional<MailProtocol> Protocol = MailProtocol::Pop3;
  // The server's certificate when the check failed on it; empty otherwise.
  TlsCertificate RejectedCertificate;
  // Newest message first, as the status window lists them.
  std::vector<MessageHeader> Headers;
};

struct CheckReport {
  int16_t LanguageBase = 900;
  std::vector<MailboxReport> Mailboxes;
};

// How each mailbox's check ended in a run, by index.
using MailboxResults = std::array<MailboxResult, kMailboxSlots>;

// The listed mailboxes in the given order, read from the table after the cycle.
CheckReport MakeCheckReport(const ProgramState& state, const std::vector<int16_t>& listed,
                            const MailboxResults& results);

// True when the mailbox was switched on and its counts come from this run.
bool Checked(const MailboxReport& mailbox);

// 0: some checked mailbox has new mail; 2: none has and some failed or was not checked;
// 1: otherwise.
int CheckExitStatus(const CheckReport& report);

// Sum of the new counts of the checked mailboxes.
int NewTotal(const CheckReport& report);

// One line per mailbox, then one indented line per message: sender, subject, date.
// Texts are shown as DisplayText makes them (display names without their quoting).
std::string RenderPlainReport(const CheckReport& report);

// One JSON object on one line, valid UTF-8 whatever bytes the servers sent.
std::string RenderJsonReport(const CheckReport& report);

// A JSON string literal, quotes included, of bytes decoded as UTF-8 or else Windows-1252.
// Display controls are escaped (\uXXXX), never passed raw.
std::string JsonString(std::string_view bytes);

}  // namespace postvane
