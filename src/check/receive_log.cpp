// The receive log: the trace of every dialogue, appended one record at a time.
#include "check/receive_log.h"

#include <cstdio>

namespace postvane {

std::string FormatLogDateTime(const LocalDateTime& when) {
  // Wide enough for any int fields, so nothing is ever cut short.
  char text[96];
  if (when.IsMidnight()) {
    std::snprintf(text, sizeof text, "#%04d-%02d-%02d#", when.Year, when.Month, when.Day);
  } else {
    std::snprintf(text, sizeof text, "#%04d-%02d-%02d %02d:%02d:%02d#", when.Year, when.Month,
                  when.Day, when.Hour, when.Minute, when.Second);
  }
  return text;
}

std::string FormatReceiveLogRecord(int16_t stateCode, const LocalDateTime& when,
                                   std::string_view text) {
  std::string record = std::to_string(stateCode);
  record += ",";
  record += FormatLogDateTime(when);
  record += ",\"";
  record.append(text.data(), text.size());
  record += "\"\r\n";
  return record;
}

}  // namespace postvane
