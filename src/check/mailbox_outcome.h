// How one mailbox's check ended, as the engine reports it to its hooks.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

enum class MailboxResult : int16_t {
  NewMail,     // counted, NewCount > 0
  NoNewMail,   // counted, nothing new
  Failed,      // Text says why; the record's StatusText holds the same
  NotChecked,  // the server was not asked for counts; Reason says why, the record keeps its values
};

enum class NotCheckedReason : int16_t {
  None,
  MaildropLocked,  // another session holds the mailbox (a "lock" or "[IN-USE]" reply)
  ConnectRests,    // the connect request failed at once and the cycle rests until its next start
};

struct MailboxOutcome {
  MailboxResult Result = MailboxResult::NoNewMail;
  NotCheckedReason Reason = NotCheckedReason::None;
  std::string Text;  // Failed: the failure text; otherwise empty

  // True when the mailbox's counts are fresh from this cycle.
  bool Counted() const {
    return Result == MailboxResult::NewMail || Result == MailboxResult::NoNewMail;
  }
};

}  // namespace postvane
