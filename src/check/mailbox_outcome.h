// How one mailbox's check ended, as the engine reports it to its hooks.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

enum class MailboxResult : int16_t {
  NewMail,     // counted, NewCount > 0
  NoNewMail,   // counted, nothing new
  Failed,      // Text says why; the record's StatusText holds the same
  NotChecked,  // the server was not asked for counts; the record keeps them. Reason says why,
               // and Text (the record's StatusText) too when the user should know
};

enum class NotCheckedReason : int16_t {
  None,
  MaildropLocked,  // another session holds the mailbox (a "lock" or "[IN-USE]" reply)
  ConnectRests,    // the connect request failed at once and the cycle rests until its next start
};

struct MailboxOutcome {
  MailboxResult Result = MailboxResult::NoNewMail;
  NotCheckedReason Reason = NotCheckedReason::None;
  std::string Text;  // what the record's StatusText now says; empty when it was left alone

  // True when the mailbox's counts are fresh from this cycle.
  bool Counted() const {
    return Result == MailboxResult::NewMail || Result == MailboxResult::NoNewMail;
  }
};

}  // namespace postvane
