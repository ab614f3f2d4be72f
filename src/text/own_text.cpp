// Postvane's own texts, read once from the data compiled into the program.
#include "text/own_text.h"

#include <map>

#include "text/embedded_resources.h"
#include "text/text_table.h"

namespace postvane {

namespace {

constexpr int kEnglish = 9;

const std::map<int, TextRow>& OwnStrings() {
  static const std::map<int, TextRow> table = ParseTextTable(EmbeddedOwnStringTable());
  return table;
}

}  // namespace

std::string OwnString(int16_t languageBase, OwnText id) {
  const auto row = OwnStrings().find(static_cast<int>(id));
  if (row == OwnStrings().end()) return std::string();
  int column = LanguageColumn(languageBase / 100);
  if (column < 0) column = LanguageColumn(kEnglish);
  return row->second[static_cast<size_t>(column)];
}

}  // namespace postvane
