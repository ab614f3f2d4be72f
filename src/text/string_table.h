// The six-language string table: string n of a language has id LanguageBase + n.
#pragma once

#include <cstdint>
#include <string>

#include "text/string_id.h"

namespace postvane {

constexpr int kStringCount = 64;

// Language number from a Windows language identifier: 3, 7, 9, 10, 16 or 19 (else 9).
int16_t SelectLanguage(uint16_t windowsLanguageId);

// UTF-8 text of a string id (LanguageBase + offset); empty for an id outside the table.
std::string LoadResourceString(int stringId);

// The text of `id` in the language at `languageBase` (300, 700, 900, 1000, 1600 or 1900).
inline std::string LocalString(int16_t languageBase, StringId id) {
  return LoadResourceString(languageBase + static_cast<int>(id));
}

}  // namespace postvane
