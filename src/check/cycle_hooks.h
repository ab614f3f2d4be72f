// What the check engine reports while a cycle runs; the tray program and the command-line
// check each react in their own way.
#pragma once

#include <cstdint>

#include "check/mailbox_outcome.h"

namespace postvane {

class CycleHooks {
 public:
  virtual ~CycleHooks() = default;
  // Mailbox `index` (0..9) is done for this cycle. Its record already shows the outcome; the
  // engine moves on to the next mailbox right after this call.
  virtual void MailboxFinished(int16_t index, const MailboxOutcome& outcome) = 0;
  // The cycle passed the last mailbox; CurrentMailbox is back at 0.
  virtual void CycleEnded() = 0;
};

// What the engine does when a connect request fails at once (no route, no free port, a
// socket that will not close).
enum class ConnectFailurePolicy {
  // The cycle stops at that mailbox until the next cycle starts, as the tray program does.
  RestUntilNextCycle,
  // That mailbox fails with the socket's text and the cycle goes on, as a one-shot run needs.
  FailAndGoOn,
};

}  // namespace postvane
