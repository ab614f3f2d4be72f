// Reading a six-language text table: lines of "offset TAB ca TAB de TAB en TAB es TAB it TAB nl".
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>

namespace postvane {

constexpr int kLanguageCount = 6;

// Texts of one line, in the column order above.
using TextRow = std::array<std::string, kLanguageCount>;

// The build refuses a malformed table; should one slip through anyway, a line that cannot be
// read is skipped and missing fields stay empty, so no text ever moves to another offset.
std::map<int, TextRow> ParseTextTable(std::string_view tsv);

// Column of a language number (3, 7, 9, 10, 16, 19), or -1 for any other number.
int LanguageColumn(int languageNumber);

}  // namespace postvane
