// The user's language as a Windows language identifier, for the string table's selection.
#pragma once

#include <QLocale>
#include <cstdint>

namespace postvane {

// The primary language number of the six languages of the string table (Catalan 0x03,
// German 0x07, English 0x09, Spanish 0x0A, Italian 0x10, Dutch 0x13); English otherwise.
uint16_t SystemLanguageId(QLocale::Language language);

}  // namespace postvane
