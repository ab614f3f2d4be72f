// The user's language as the Windows primary language number that the string table keys on.
#pragma once

#include <QLocale>
#include <cstdint>

namespace postvane {

// Catalan 3, German 7, English 9, Spanish 10, Italian 16, Dutch 19; every other language 9.
uint16_t WindowsLanguageId(QLocale::Language language);

}  // namespace postvane
