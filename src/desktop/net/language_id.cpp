// Maps Qt's language enumeration onto the six languages of the string table.
#include "desktop/net/language_id.h"

namespace postvane {

uint16_t WindowsLanguageId(QLocale::Language language) {
  switch (language) {
    case QLocale::Catalan:
      return 0x03;
    case QLocale::German:
      return 0x07;
    case QLocale::Spanish:
      return 0x0A;
    case QLocale::Italian:
      return 0x10;
    case QLocale::Dutch:
      return 0x13;
    default:
      return 0x09;
  }
}

}  // namespace postvane
