// Read once per program; anything that is not a number in range means the normal minute.
#include "desktop/net/minute_timer_ms.h"

#include <QtGlobal>

#include "ports/timer.h"

namespace postvane {

int MinuteTimerMs() {
  bool ok = false;
  const int value = qEnvironmentVariableIntValue("POSTVANE_MINUTE_TIMER_MS", &ok);
  return ok && value >= 100 && value <= kMinuteTimerMs ? value : kMinuteTimerMs;
}

}  // namespace postvane
