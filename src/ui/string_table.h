// The six-language string table: string n of a language has id LanguageBase + n.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

constexpr int kStringCount = 64;

// Language number from a Windows language identifier: 3, 7, 9, 10, 16 or 19 (else 9).
int16_t SelectLanguage(uint16_t windowsLanguageId);

// UTF-8 text of a string id (LanguageBase + offset); empty for an id outside the table.
std::string LoadResourceString(int stringId);

// Shorthand for LoadResourceString(languageBase + offset).
inline std::string LocalString(int16_t languageBase, int offset) {
  return LoadResourceString(languageBase + offset);
}

}  // namespace postvane
