// Header text as a mail reader shows it: encoded words decoded, raw bytes read as UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ports/charset_converter.h"

namespace postvane {

// The text of an unfolded header value. Encoded words (=?charset?B|Q?text?=, any letter case)
// are decoded; white space between two adjacent ones is dropped. UTF-8, US-ASCII, ISO-8859-1
// and Windows-1252 are decoded here, any other charset by the converter (none: unknown). A
// word that is malformed or in an unknown charset stays as it was. Bytes outside encoded words
// are UTF-8 when the whole value is valid UTF-8, else Windows-1252. The result is valid UTF-8
// of at most maxBytes bytes, cut at a character boundary.
std::string DecodeHeaderText(std::string_view raw, const CharsetConverter* converter,
                             std::size_t maxBytes);

}  // namespace postvane
