// Charset conversion through Qt's decoders (ICU-backed on Debian), for header texts.
#pragma once

#include "ports/charset_converter.h"

namespace postvane {

class QtCharsetConverter : public CharsetConverter {
 public:
  std::optional<std::string> ToUtf8(std::string_view charset,
                                    std::string_view bytes) const override;
};

}  // namespace postvane
