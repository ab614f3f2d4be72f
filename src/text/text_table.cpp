// Reading a six-language text table, shared by strings.tsv and own_strings.tsv.
#include "text/text_table.h"

#include <charconv>

namespace postvane {

namespace {

// Language numbers in the column order of the tables.
constexpr std::array<int, kLanguageCount> kLanguageNumbers = {3, 7, 9, 10, 16, 19};

}  // namespace

std::map<int, TextRow> ParseTextTable(std::string_view tsv) {
  std::map<int, TextRow> table;
  while (!tsv.empty()) {
    const size_t lineEnd = tsv.find('\n');
    std::string_view line = tsv.substr(0, lineEnd);
    tsv = lineEnd == std::string_view::npos ? std::string_view() : tsv.substr(lineEnd + 1);

    const size_t offsetEnd = line.find('\t');
    if (offsetEnd == std::string_view::npos) continue;
    int offset = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + offsetEnd, offset);
    if (error != std::errc() || end != line.data() + offsetEnd || offset < 1) continue;

    line.remove_prefix(offsetEnd + 1);
    TextRow& row = table[offset];
    for (int language = 0; language < kLanguageCount; ++language) {
      const size_t fieldEnd = line.find('\t');
      row[static_cast<size_t>(language)] = std::string(line.substr(0, fieldEnd));
      if (fieldEnd == std::string_view::npos) break;
      line.remove_prefix(fieldEnd + 1);
    }
  }
  return table;
}

int LanguageColumn(int languageNumber) {
  for (int column = 0; column < kLanguageCount; ++column) {
    if (kLanguageNumbers[static_cast<size_t>(column)] == languageNumber) return column;
  }
  return -1;
}

}  // namespace postvane
