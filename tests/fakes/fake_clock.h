// Clock for tests: reports whatever date and time the test set.
#pragma once

#include "ports/clock.h"

namespace postvane {

class FakeClock : public Clock {
 public:
  LocalDateTime Time{2024, 3, 5, 8, 15, 0};

  LocalDateTime Now() const override { return Time; }

  void Set(int year, int month, int day, int hour, int minute, int second) {
    Time = LocalDateTime{year, month, day, hour, minute, second};
  }
};

}  // namespace postvane
