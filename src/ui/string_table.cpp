// The six-language string table, read once from the data compiled into the program.
#include "ui/string_table.h"

#include <array>
#include <charconv>
#include <string_view>

#include "ui/embedded_resources.h"

namespace postvane {
namespace {

constexpr int kLanguageCount = 6;

// Language numbers in the column order of strings.tsv.
constexpr std::array<int16_t, kLanguageCount> kLanguageNumbers = {3, 7, 9, 10, 16, 19};

using StringTable = std::array<std::array<std::string, kStringCount>, kLanguageCount>;

// The build refuses a malformed file; should one slip through anyway, what cannot be
// read stays empty rather than shifting texts to other ids.
StringTable ParseStringTable(std::string_view tsv) {
  StringTable table;
  while (!tsv.empty()) {
    const size_t lineEnd = tsv.find('\n');
    std::string_view line = tsv.substr(0, lineEnd);
    tsv = lineEnd == std::string_view::npos ? std::string_view() : tsv.substr(lineEnd + 1);

    const size_t offsetEnd = line.find('\t');
    if (offsetEnd == std::string_view::npos) continue;
    int offset = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + offsetEnd, offset);
    if (error != std::errc() || end != line.data() + offsetEnd) continue;
    if (offset < 1 || offset > kStringCount) continue;

    line.remove_prefix(offsetEnd + 1);
    for (int language = 0; language < kLanguageCount; ++language) {
      const size_t fieldEnd = line.find('\t');
      table[language][offset - 1] = std::string(line.substr(0, fieldEnd));
      if (fieldEnd == std::string_view::npos) break;
      line.remove_prefix(fieldEnd + 1);
    }
  }
  return table;
}

const StringTable& Strings() {
  static const StringTable table = ParseStringTable(EmbeddedStringTable());
  return table;
}

int LanguageColumn(int languageNumber) {
  for (int column = 0; column < kLanguageCount; ++column) {
    if (kLanguageNumbers[column] == languageNumber) return column;
  }
  return -1;
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
  return Strings()[column][offset - 1];
}

}  // namespace postvane
