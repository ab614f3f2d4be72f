// Byte encodings of texts from files and servers: UTF-8, with Windows-1252 for older bytes.
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

// One line of a UTF-16 file as the 8-bit text the settings code reads: Windows-1252 when every
// character has a code there, UTF-8 otherwise. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToNarrow(std::u16string_view text);
// The way back: valid UTF-8 is read as UTF-8, anything else as Windows-1252.
std::u16string NarrowToUtf16(std::string_view bytes);
// UTF-16 as UTF-8, character for character; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Valid UTF-8 kept; every byte of a malformed sequence becomes U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view bytes);

// Code point of the sequence at `at` of valid UTF-8 and its length in bytes; never reads
// past the end (a cut sequence gives U+FFFD).
char32_t CodePointAt(std::string_view text, std::size_t at, std::size_t& length);

// The first n code points of UTF-8 text; never splits a sequence. A stray continuation byte
// is counted with the code point before it.
std::string CutToCodePoints(std::string_view text, std::size_t n);

}  // namespace postvane
