// The Linux desktop's do-not-disturb: the notification service's Inhibited property (KDE
// Plasma and services that follow it) and GNOME's "show banners" switch.
#pragma once

#include "ports/do_not_disturb.h"

namespace postvane {

class DesktopDoNotDisturb : public DoNotDisturb {
 public:
  // Asked when a notification is due, never on a timer; each question waits a moment at most.
  bool Active() override;
};

}  // namespace postvane
