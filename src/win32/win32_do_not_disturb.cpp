// Only the states in which Windows itself holds back notifications count; a failed question
// counts as not quiet.
#include "win32/win32_do_not_disturb.h"

// windows.h first: shellapi.h needs its declarations.
#include <windows.h>

#include <shellapi.h>

namespace postvane {

bool Win32DoNotDisturb::Active() {
  QUERY_USER_NOTIFICATION_STATE state{};
  if (FAILED(SHQueryUserNotificationState(&state))) return false;
  switch (state) {
    case QUNS_BUSY:
    case QUNS_RUNNING_D3D_FULL_SCREEN:
    case QUNS_PRESENTATION_MODE:
    case QUNS_QUIET_TIME:
      return true;
    default:
      return false;
  }
}

}  // namespace postvane
