// Windows' quiet states (quiet time, presentation mode, a full-screen program, busy) from
// SHQueryUserNotificationState.
#pragma once

#include "ports/do_not_disturb.h"

namespace postvane {

class Win32DoNotDisturb : public DoNotDisturb {
 public:
  bool Active() override;
};

}  // namespace postvane
