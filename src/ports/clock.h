// The local date and time.
#pragma once

#include "ports/local_date_time.h"

namespace postvane {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() const = 0;
};

}  // namespace postvane
