// Charsets of mail headers to UTF-8 through the system's code pages (MultiByteToWideChar).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ports/charset_converter.h"

namespace postvane {

// The code page of a MIME charset name or alias (any letter case), or 0 when Windows has none.
unsigned CodePageOf(std::string_view charset);

class Win32CharsetConverter : public CharsetConverter {
 public:
  std::optional<std::string> ToUtf8(std::string_view charset,
                                    std::string_view bytes) const override;
};

}  // namespace postvane
