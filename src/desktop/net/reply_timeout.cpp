// Read once per program; anything that is not a number in range means the normal time-out.
#include "desktop/net/reply_timeout.h"

#include <QByteArray>
#include <QtGlobal>

#include "check/silent_server_guard.h"

namespace postvane {

int ReplyTimeoutMs() {
  bool ok = false;
  const int value = qEnvironmentVariableIntValue("POSTVANE_REPLY_TIMEOUT_MS", &ok);
  return ok && value >= 100 && value <= kReplyTimeoutMs ? value : kReplyTimeoutMs;
}

}  // namespace postvane
