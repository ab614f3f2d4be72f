# Refuses a string table that is not 64 lines of "offset<TAB>six texts", LF line ends,
# offsets 1..64 in order. Run with: cmake -DINPUT=strings.tsv -P check_string_table.cmake
if(NOT DEFINED INPUT)
  message(FATAL_ERROR "check_string_table: INPUT not set")
endif()

set(line_count 64)
# file(READ) drops carriage returns, so look for them in the hex form (0d at a byte boundary).
file(READ "${INPUT}" hex HEX)
if(hex MATCHES "^(..)*0d")
  message(FATAL_ERROR "${INPUT}: carriage return found; line ends must be LF only")
endif()
file(READ "${INPUT}" content)

# Only the separators left: every line must read six tabs and a line feed.
string(REGEX REPLACE "[^\t\n]" "" separators "${content}")
string(REPEAT "\t\t\t\t\t\t\n" ${line_count} expected_separators)
if(NOT separators STREQUAL expected_separators)
  message(FATAL_ERROR "${INPUT}: expected ${line_count} LF-terminated lines of 7 tab-separated fields")
endif()

# Only the first fields left: they must count 1, 2, ... 64.
string(REGEX REPLACE "\t[^\n]*" "" offsets "${content}")
set(expected_offsets "")
foreach(offset RANGE 1 ${line_count})
  string(APPEND expected_offsets "${offset}\n")
endforeach()
if(NOT offsets STREQUAL expected_offsets)
  message(FATAL_ERROR "${INPUT}: the first field of line n must be n (1 to ${line_count})")
endif()

# An empty text would show as a blank caption.
if(content MATCHES "\t\t" OR content MATCHES "\t\n")
  message(FATAL_ERROR "${INPUT}: empty text found")
endif()
