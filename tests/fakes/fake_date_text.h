// Date text for tests: "2026-12-07 10:00:00", the time alone for the zero date, the date
// alone at midnight.
#pragma once

#include <cstdio>
#include <string>

#include "ports/date_text.h"

namespace postvane {

class FakeDateText : public DateText {
 public:
  std::string Format(const LocalDateTime& value) const override {
    char date[32];
    char time[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", value.Year, value.Month, value.Day);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", value.Hour, value.Minute, value.Second);
    if (value.IsZeroDate()) return time;
    if (value.IsMidnight()) return date;
    return std::string(date) + " " + time;
  }
};

}  // namespace postvane
