// The receive log: the trace of every dialogue, appended one record at a time.
#include "check/receive_log.h"

#include <cstdio>
#include <exception>

#include "check/check_engine.h"

namespace postvane {

namespace {

// Decimal with at least `width` digits; negative values keep their sign.
std::string Padded(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

}  // namespace

std::string FormatLogDateTime(const LocalDateTime& when) {
  std::string out =
      "#" + Padded(when.Year, 4) + "-" + Padded(when.Month, 2) + "-" + Padded(when.Day, 2);
  if (!when.IsMidnight()) {
    out += " " + Padded(when.Hour, 2) + ":" + Padded(when.Minute, 2) + ":" + Padded(when.Second, 2);
  }
  out += "#";
  return out;
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

void CheckEngine::WriteReceiveLog(int16_t stateCode, std::string_view text) {
  if (state_.General.ReceiveLog == 0) return;
  // The log is a trace only: whatever goes wrong writing it must not touch the check.
  try {
    files_.AppendFile(state_.Paths.ReceiveLog,
                      FormatReceiveLogRecord(stateCode, clock_.Now(), text));
  } catch (const std::exception&) {
  }
}

}  // namespace postvane
