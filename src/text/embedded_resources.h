// Data files compiled into the core at build time (see resources/CMakeLists.txt).
#pragma once

#include <string_view>

namespace postvane {

// The bytes of resources/strings.tsv: 64 lines, each the offset and the six texts
// (Catalan, German, English, Spanish, Italian, Dutch), tab-separated, UTF-8, LF line ends.
std::string_view EmbeddedStringTable();

// The bytes of resources/own_strings.tsv: the same format, offsets ascending with gaps.
std::string_view EmbeddedOwnStringTable();

}  // namespace postvane
