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

namespace {

// Server bytes go in as they came, but for the controls a terminal would obey on `cat`: C0
// controls other than tab and a CR LF line end, and DEL, are written as \xNN.
void AppendEscaped(std::string& record, std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool lineEnd = (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ||
                         (byte == '\n' && i > 0 && text[i - 1] == '\r');
    if ((byte < 0x20 && byte != '\t' && !lineEnd) || byte == 0x7F) {
      record += "\\x";
      record.push_back(kDigits[byte >> 4]);
      record.push_back(kDigits[byte & 0xF]);
    } else {
      record.push_back(static_cast<char>(byte));
    }
  }
}

}  // namespace

std::string FormatReceiveLogRecord(int16_t stateCode, const LocalDateTime& when,
                                   std::string_view text) {
  std::string record = std::to_string(stateCode);
  record += ",";
  record += FormatLogDateTime(when);
  record += ",\"";
  if (text.size() > kReceiveLogTextLimit) {
    AppendEscaped(record, text.substr(0, kReceiveLogTextLimit));
    record += kReceiveLogCutMarker;
  } else {
    AppendEscaped(record, text);
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
