// Texts from servers and files made safe to show: no control can move, hide or reverse text.
#pragma once

#include <string>
#include <string_view>

namespace postvane {

// Control characters (C0, DEL, C1), line and paragraph separators, the Unicode format and
// bidirectional controls (U+061C, U+200B..U+200F, U+202A..U+202E, U+2066..U+2069, U+FEFF), and
// the characters that show as nothing (soft hyphen U+00AD, U+180E, word joiner and invisible
// operators U+2060..U+2064, the annotation marks U+FFF9..U+FFFB, the tag characters
// U+E0000..U+E007F): what a display must not obey or hide.
bool IsDisplayControl(char32_t codePoint);

// Bytes decoded as UTF-8, else Windows-1252; a tab becomes a blank and every other display
// control U+FFFD.
std::string DisplayText(std::string_view bytes);

// An address header for display: a quoted display name loses its quotes and quoted-pair
// escapes ("Dan \"the Man\"" <dan@x> shows as Dan "the Man" <dan@x>); addresses in angle
// brackets, comments and quoted local parts stay as they are. Then made safe as DisplayText.
std::string DisplayAddresses(std::string_view bytes);

}  // namespace postvane
