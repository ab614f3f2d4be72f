// One record of the receive log: state, date and time, quoted text, CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ports/local_date_time.h"

namespace postvane {

// Where the engine writes its trace. Both are read at every write, so that a change in the
// settings takes effect with the next record.
struct ReceiveLogTarget {
  const int16_t& Enabled;  // 0: no trace
  const std::string& Path;
};

// "#yyyy-mm-dd hh:mm:ss#", or "#yyyy-mm-dd#" at exactly midnight.
std::string FormatLogDateTime(const LocalDateTime& when);

// The text goes in as it came: line breaks and double quotes are not escaped.
std::string FormatReceiveLogRecord(int16_t stateCode, const LocalDateTime& when,
                                   std::string_view text);

}  // namespace postvane
