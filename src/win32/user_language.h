// The user's interface language as the primary language number the string table keys on.
#pragma once

#include <cstdint>

namespace postvane {

// Catalan 3, German 7, English 9, Spanish 10, Italian 16, Dutch 19; every other language 9.
uint16_t PrimaryLanguageOf(uint16_t languageId);
uint16_t UserLanguageId();

}  // namespace postvane
