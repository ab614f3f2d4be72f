// Settings files as a Windows editor saves them "Unicode": UTF-16 code units, no mark.
#pragma once

#include <string>
#include <string_view>

#include "text/text_encoding.h"

namespace postvane {

// Valid UTF-8 is taken as UTF-8, anything else as Windows-1252 (as the program writes lines).
inline std::string Utf16Bytes(std::string_view text, bool bigEndian) {
  std::string out;
  for (char16_t unit : NarrowToUtf16(text)) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
  }
  return out;
}

}  // namespace postvane
