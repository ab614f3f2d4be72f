// Conversion of text in a named character set to UTF-8, for the charsets the core does not know.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postvane {

class CharsetConverter {
 public:
  virtual ~CharsetConverter() = default;
  // The UTF-8 text of bytes in the charset of that name (a MIME name or alias, any letter
  // case), or nothing when the charset is unknown. Bytes the charset does not define become
  // U+FFFD.
  virtual std::optional<std::string> ToUtf8(std::string_view charset,
                                            std::string_view bytes) const = 0;
};

}  // namespace postvane
