// Turns a date and time into the user's text: short date, a blank, long time.
#pragma once

#include <string>

#include "ports/local_date_time.h"

namespace postvane {

class DateText {
 public:
  virtual ~DateText() = default;
  // Time only for the zero date, date only at midnight.
  virtual std::string Format(const LocalDateTime& value) const = 0;
};

}  // namespace postvane
