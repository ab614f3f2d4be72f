# Writes a C++ source that returns the bytes of a file, so data ships inside the program.
# Run with: cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=Name -DHEADER=dir/header.h
#   -P embed_file.cmake
# The header declares `std::string_view FUNCTION();` in namespace postvane.
foreach(argument INPUT OUTPUT FUNCTION HEADER)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "embed_file: ${argument} not set")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR byte_count "${hex_length} / 2")

# Sixteen bytes a line; the trailing 0 keeps an empty file from making a zero-size array.
set(bytes "")
set(chunk_start 0)
while(chunk_start LESS hex_length)
  string(SUBSTRING "${hex}" ${chunk_start} 32 chunk)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" " 0x\\1," chunk "${chunk}")
  string(APPEND bytes "   ${chunk}\n")
  math(EXPR chunk_start "${chunk_start} + 32")
endwhile()
get_filename_component(input_name "${INPUT}" NAME)

file(WRITE "${OUTPUT}" "// Generated from ${input_name} by embed_file.cmake at build time; do not edit.
#include \"${HEADER}\"

#include <cstddef>

namespace postvane {
namespace {

const unsigned char kBytes[] = {
${bytes}    0x00};
constexpr std::size_t kByteCount = ${byte_count};

}  // namespace

std::string_view ${FUNCTION}() {
  return std::string_view(reinterpret_cast<const char*>(kBytes), kByteCount);
}

}  // namespace postvane
")
