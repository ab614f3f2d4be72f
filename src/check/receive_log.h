// One record of the receive log: state, date and time, quoted text, CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check/local_date_time.h"

namespace postvane {

// "#yyyy-mm-dd hh:mm:ss#", or "#yyyy-mm-dd#" at exactly midnight.
std::string FormatLogDateTime(const LocalDateTime& when);

// The text goes in as it came: line breaks and double quotes are not escaped.
std::string FormatReceiveLogRecord(int16_t stateCode, const LocalDateTime& when,
                                   std::string_view text);

}  // namespace postvane
