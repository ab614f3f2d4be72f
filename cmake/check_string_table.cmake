# Refuses a text table that is not lines of "offset<TAB>six texts" with LF line ends.
# The string table (LINE_COUNT set) holds exactly offsets 1..LINE_COUNT in order; Postvane's
# own table (no LINE_COUNT) may leave gaps, but its offsets must rise and lie in 1..MAX_OFFSET.
# Run with: cmake -DINPUT=strings.tsv [-DLINE_COUNT=64] -P check_string_table.cmake
if(NOT DEFINED INPUT)
  message(FATAL_ERROR "check_string_table: INPUT not set")
endif()
set(max_offset 999)

# file(READ) drops carriage returns, so look for them in the hex form (0d at a byte boundary).
file(READ "${INPUT}" hex HEX)
if(hex MATCHES "^(..)*0d")
  message(FATAL_ERROR "${INPUT}: carriage return found; line ends must be LF only")
endif()
file(READ "${INPUT}" content)
if(NOT content MATCHES "\n$")
  message(FATAL_ERROR "${INPUT}: the last line must end with a line feed")
endif()

# Only the separators left: every line must read six tabs and a line feed.
string(REGEX REPLACE "[^\t\n]" "" separators "${content}")
string(REGEX REPLACE "[^\n]" "" line_feeds "${content}")
string(LENGTH "${line_feeds}" lines_found)
string(REPEAT "\t\t\t\t\t\t\n" ${lines_found} expected_separators)
if(NOT separators STREQUAL expected_separators)
  message(FATAL_ERROR "${INPUT}: every line must hold 7 tab-separated fields")
endif()

# An empty text would show as a blank caption.
if(content MATCHES "\t\t" OR content MATCHES "\t\n" OR content MATCHES "(^|\n)\t")
  message(FATAL_ERROR "${INPUT}: empty field found")
endif()

# Only the first fields left.
string(REGEX REPLACE "\t[^\n]*" "" offsets "${content}")
if(DEFINED LINE_COUNT)
  set(expected_offsets "")
  foreach(offset RANGE 1 ${LINE_COUNT})
    string(APPEND expected_offsets "${offset}\n")
  endforeach()
  if(NOT offsets STREQUAL expected_offsets)
    message(FATAL_ERROR "${INPUT}: the first field of line n must be n (1 to ${LINE_COUNT})")
  endif()
else()
  string(REGEX REPLACE "\n$" "" offsets "${offsets}")
  string(REPLACE "\n" ";" offsets "${offsets}")
  set(previous 0)
  foreach(offset IN LISTS offsets)
    if(NOT offset MATCHES "^[1-9][0-9]*$" OR offset GREATER ${max_offset})
      message(FATAL_ERROR "${INPUT}: offset '${offset}' is not a number from 1 to ${max_offset}")
    endif()
    if(NOT offset GREATER previous)
      message(FATAL_ERROR "${INPUT}: offset ${offset} after ${previous}; rows must rise")
    endif()
    set(previous ${offset})
  endforeach()
endif()
