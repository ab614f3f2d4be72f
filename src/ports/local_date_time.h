// A local calendar date and time, as the clock reports it and the mailbox table keeps it.
#pragma once

#include <compare>

namespace postvane {

// The zero value is 30 December 1899 00:00:00: "never checked since start-up".
struct LocalDateTime {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;

  bool IsZeroDate() const { return Year == 1899 && Month == 12 && Day == 30; }
  bool IsMidnight() const { return Hour == 0 && Minute == 0 && Second == 0; }
  auto operator<=>(const LocalDateTime&) const = default;
};

}  // namespace postvane
