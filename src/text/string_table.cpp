// The six-language string table, read once from the data compiled into the program.
#include "text/string_table.h"

#include <map>

#include "text/embedded_resources.h"
#include "text/text_table.h"

namespace postvane {

namespace {

const std::map<int, TextRow>& Strings() {
  static const std::map<int, TextRow> table = ParseTextTable(EmbeddedStringTable());
  return table;
}

}  // namespace

int16_t SelectLanguage(uint16_t windowsLanguageId) {
  // The low byte is the primary language; every sub-language shares its table.
  const int16_t primary = static_cast<int16_t>(windowsLanguageId & 0xFF);
  return LanguageColumn(primary) >= 0 ? primary : int16_t{9};
}

std::string LoadResourceString(int stringId) {
  if (stringId < 0) return std::string();
  const int column = LanguageColumn(stringId / 100);
  const int offset = stringId % 100;
  if (column < 0 || offset < 1 || offset > kStringCount) return std::string();
  const auto row = Strings().find(offset);
  if (row == Strings().end()) return std::string();
  return row->second[static_cast<size_t>(column)];
}

}  // namespace postvane
