// The local date and time from Qt.
#pragma once

#include "ports/clock.h"

namespace postvane {

class QtClock : public Clock {
 public:
  LocalDateTime Now() const override;
};

}  // namespace postvane
