// The period of the tray program's minute timer.
#pragma once

namespace postvane {

// kMinuteTimerMs, unless POSTVANE_MINUTE_TIMER_MS holds 100 to 60000: the soak test uses it to
// run many check cycles in little time.
int MinuteTimerMs();

}  // namespace postvane
