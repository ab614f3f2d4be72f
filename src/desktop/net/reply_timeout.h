// The reply time-out both programs give a connected server.
#pragma once

namespace postvane {

// kReplyTimeoutMs, unless POSTVANE_REPLY_TIMEOUT_MS holds 100 to 60000: tests use it so that a
// silent server does not hold them for a minute.
int ReplyTimeoutMs();

}  // namespace postvane
