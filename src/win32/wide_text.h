// UTF-8 (the core's texts) to and from UTF-16 (the Windows API's texts).
#pragma once

#include <string>
#include <string_view>

namespace postvane {

// Invalid UTF-8 sequences become U+FFFD.
std::wstring Widen(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view wide);

// The system's text for an error number (Win32 or Winsock), without the trailing line end.
std::string SystemErrorText(unsigned long number);

}  // namespace postvane
