// GetUserDefaultUILanguage, narrowed to the six languages the texts exist in.
#include "win32/user_language.h"

#include <windows.h>

namespace postvane {

uint16_t PrimaryLanguageOf(uint16_t languageId) {
  switch (PRIMARYLANGID(languageId)) {
    case LANG_CATALAN:
    case LANG_GERMAN:
    case LANG_SPANISH:
    case LANG_ITALIAN:
    case LANG_DUTCH:
      return PRIMARYLANGID(languageId);
    default:
      return LANG_ENGLISH;
  }
}

uint16_t UserLanguageId() { return PrimaryLanguageOf(GetUserDefaultUILanguage()); }

}  // namespace postvane
