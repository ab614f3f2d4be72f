// The receive log: the trace of every dialogue, appended one record at a time.
#include "check/receive_log.h"

#include <cstdio>
#include <optional>

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
  if (text.size() > kReceiveLogTextLimit) {
    record.append(text.data(), kReceiveLogTextLimit);
    record += kReceiveLogCutMarker;
  } else {
    record.append(text.data(), text.size());
  }
  record += "\"\r\n";
  return record;
}

bool AppendReceiveLog(FileSystem& files, const std::string& path, std::string_view record,
                      std::uintmax_t limit) {
  const std::optional<std::uintmax_t> size = files.FileSize(path);
  if (size && *size > 0 && *size + record.size() > limit) files.RenameFile(path, path + ".1");
  return files.AppendFile(path, std::string(record));
}

}  // namespace postvane
