// Byte encodings of texts from files and servers: UTF-8, with Windows-1252 for older bytes,
// and UTF-16 for settings files saved as "Unicode" by Windows editors.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace postvane {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Every byte is one Windows-1252 character; the five unassigned codes map to the C1 controls
// of the same number, as the platform's converter does.
std::string Windows1252ToUtf8(std::string_view bytes);

// Every byte is one ISO-8859-16 character (Latin-10). Built in because common converters
// lack it.
std::string Iso885916ToUtf8(std::string_view bytes);

// Files written by older versions hold the 8-bit code page; anything that is not valid UTF-8
// is taken as Windows-1252. The result is always valid UTF-8.
std::string DecodeUtf8OrWindows1252(std::string_view bytes);

// Valid UTF-8 kept; every byte of a malformed sequence becomes U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view bytes);

// Code point of the sequence at `at` of valid UTF-8 and its length in bytes; never reads
// past the end (a cut sequence gives U+FFFD).
char32_t CodePointAt(std::string_view text, std::size_t at, std::size_t& length);

// Windows-1252 bytes of UTF-8 text; the inverse of Windows1252ToUtf8, so any bytes survive the
// round trip. A character the code page lacks becomes '?'; text that is not valid UTF-8 is
// returned as it is.
std::string Utf8ToWindows1252(std::string_view text);

enum class ByteOrder { LittleEndian, BigEndian };

// UTF-16 code units (no byte-order mark) to UTF-8. A lone surrogate becomes U+FFFD and an odd
// last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, ByteOrder order);

// UTF-8 to UTF-16 code units (no byte-order mark). Text that is not valid UTF-8 is taken as
// Windows-1252 first.
std::string Utf8ToUtf16(std::string_view text, ByteOrder order);

// The first n code points of UTF-8 text; never splits a sequence. A stray continuation byte
// is counted with the code point before it.
std::string CutToCodePoints(std::string_view text, std::size_t n);

}  // namespace postvane
