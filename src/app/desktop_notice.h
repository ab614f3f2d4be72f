// What the desktop notification says after a cycle with new mail.
#pragma once

#include "ports/desktop_notifier.h"
#include "app/program_state.h"

namespace postvane {

// At most this many messages per mailbox, newest first.
constexpr int kNoticeMessagesPerMailbox = 5;

// Summary: the total of new messages. Body: per mailbox with new mail its name and count, then
// sender and subject of its newest messages. Server bytes are decoded and control characters
// removed, so the text is valid UTF-8 on one line per entry.
DesktopNotice MakeDesktopNotice(const ProgramState& state);

}  // namespace postvane
