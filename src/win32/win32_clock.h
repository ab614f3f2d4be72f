// The local date and time from GetLocalTime, and the user's date and time formats.
#pragma once

#include "ports/clock.h"
#include "ports/date_text.h"

namespace postvane {

class Win32Clock : public Clock {
 public:
  LocalDateTime Now() const override;
};

// Short date and long time of the user's locale, as the control panel sets them.
class Win32DateText : public DateText {
 public:
  std::string Format(const LocalDateTime& value) const override;
};

}  // namespace postvane
