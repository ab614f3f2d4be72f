// One record of the receive log: state, date and time, quoted text, CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ports/file_system.h"
#include "ports/local_date_time.h"

namespace postvane {

// The log never grows past this: the record that would pass it first moves the log to
// "<log>.1", replacing the older one.
inline constexpr std::uintmax_t kReceiveLogLimit = std::uintmax_t{10} * 1024 * 1024;
// A record's text beyond this is cut and the marker put in its place.
inline constexpr std::size_t kReceiveLogTextLimit = std::size_t{64} * 1024;
inline constexpr std::string_view kReceiveLogCutMarker = "[cut]";

// Where the engine writes its trace. Both are read at every write, so that a change in the
// settings takes effect with the next record.
struct ReceiveLogTarget {
  const int16_t& Enabled;  // 0: no trace
  const std::string& Path;
};

// "#yyyy-mm-dd hh:mm:ss#", or "#yyyy-mm-dd#" at exactly midnight.
std::string FormatLogDateTime(const LocalDateTime& when);

// The text goes in as it came, CR LF line ends, tabs and double quotes included; any other C0
// control and DEL is written as \xNN (upper-case hex), so that showing the log never replays
// a server's terminal controls. Text longer than kReceiveLogTextLimit keeps its start and ends
// in kReceiveLogCutMarker.
std::string FormatReceiveLogRecord(int16_t stateCode, const LocalDateTime& when,
                                   std::string_view text);

// Appends one record to the log at `path`, moving a full log aside first.
bool AppendReceiveLog(FileSystem& files, const std::string& path, std::string_view record,
                      std::uintmax_t limit = kReceiveLogLimit);

}  // namespace postvane
