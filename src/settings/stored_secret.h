// A password or refresh token as the settings file holds it, and back.
#pragma once

#include <string>
#include <string_view>

namespace postvane {

// The text's bytes through TransformPassword. A character from U+C0000 to U+FFFFF starts with
// the byte F3, which the transform turns into a CR, and a line cannot hold that; such a
// character goes in as its UTF-16 surrogate pair, each half in the three-byte form (ED xx xx),
// so the stored bytes hold no line end. Every other text is stored as it always was.
std::string StoredSecret(std::string_view text);

// The text back from the stored bytes: UTF-8 (with such pairs joined again) when they are,
// else Windows-1252, as files from older versions hold it.
std::string SecretFromStored(std::string_view stored);

}  // namespace postvane
