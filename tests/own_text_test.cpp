// Postvane's own text table: every row in every language, the language rule, and reading.
#include "text/own_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "text/embedded_resources.h"
#include "text/string_table.h"
#include "text/text_table.h"

namespace postvane {
namespace {

constexpr std::array<int16_t, kLanguageCount> kBases = {300, 700, 900, 1000, 1600, 1900};

TEST(OwnStringTest, EveryRowHasTextInEveryLanguage) {
  const auto table = ParseTextTable(EmbeddedOwnStringTable());
  ASSERT_FALSE(table.empty());
  for (const auto& [offset, row] : table) {
    SCOPED_TRACE(offset);
    const std::string english = OwnString(900, static_cast<OwnText>(offset));
    const auto marks = std::count(english.begin(), english.end(), '#');
    for (std::size_t column = 0; column < kBases.size(); ++column) {
      const std::string text = OwnString(kBases[column], static_cast<OwnText>(offset));
      EXPECT_EQ(text, row[column]);
      EXPECT_FALSE(text.empty());
      // A count placeholder the caller fills in must exist in every translation.
      EXPECT_EQ(std::count(text.begin(), text.end(), '#'), marks) << text;
    }
  }
}

TEST(OwnStringTest, FollowsTheLanguageOfTheStringTable) {
  for (int16_t base : kBases) {
    SCOPED_TRACE(base);
    // Same base, same column: a German tray never mixes in an English text.
    const bool german = LocalString(base, StringId::NoError) == LocalString(700, StringId::NoError);
    EXPECT_EQ(OwnString(base, OwnText::ConnectionClosedByServer) ==
                  OwnString(700, OwnText::ConnectionClosedByServer),
              german);
  }
}

TEST(OwnStringTest, UnknownLanguageFallsBackToEnglish) {
  for (int16_t base : {int16_t{0}, int16_t{100}, int16_t{1200}, int16_t{-900}, int16_t{32000}}) {
    SCOPED_TRACE(base);
    EXPECT_EQ(OwnString(base, OwnText::NoAnswerInTimeLimit),
              OwnString(900, OwnText::NoAnswerInTimeLimit));
  }
}

TEST(OwnStringTest, IdOutsideTheTableIsEmpty) {
  for (int offset : {0, -1, 999, 100000}) {
    EXPECT_EQ(OwnString(900, static_cast<OwnText>(offset)), "") << offset;
  }
}

TEST(OwnStringTest, CompiledInRowsRiseAndHoldSevenFields) {
  std::string_view data = EmbeddedOwnStringTable();
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(data.back(), '\n');
  int previous = 0;
  while (!data.empty()) {
    const std::size_t end = data.find('\n');
    ASSERT_NE(end, std::string_view::npos);
    const std::string_view line = data.substr(0, end);
    data.remove_prefix(end + 1);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6) << line;
    const int offset = std::stoi(std::string(line.substr(0, line.find('\t'))));
    EXPECT_GT(offset, previous);
    previous = offset;
  }
}

// Whatever slips past the build's check is read without moving texts to other offsets.
struct ParseRow {
  const char* Name;
  const char* Input;
  int Offset;
  std::size_t Column;
  const char* Expected;  // null: the offset is absent
};

class ParseTextTableTest : public testing::TestWithParam<ParseRow> {};

TEST_P(ParseTextTableTest, ReadsWhatItCan) {
  const ParseRow& row = GetParam();
  const auto table = ParseTextTable(row.Input);
  const auto found = table.find(row.Offset);
  if (row.Expected == nullptr) {
    EXPECT_EQ(found, table.end());
    return;
  }
  ASSERT_NE(found, table.end());
  EXPECT_EQ(found->second[row.Column], row.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseTextTableTest,
    testing::Values(ParseRow{"Whole", "5\ta\tb\tc\td\te\tf\n", 5, 5, "f"},
                    ParseRow{"NoFinalLineFeed", "5\ta\tb\tc\td\te\tf", 5, 2, "c"},
                    ParseRow{"ShortRowLeavesRestEmpty", "5\ta\tb\n", 5, 3, ""},
                    ParseRow{"NoTab", "5 a b c\n", 5, 0, nullptr},
                    ParseRow{"OffsetNotANumber", "x5\ta\tb\tc\td\te\tf\n", 5, 0, nullptr},
                    ParseRow{"OffsetZero", "0\ta\tb\tc\td\te\tf\n", 0, 0, nullptr},
                    ParseRow{"NegativeOffset", "-3\ta\tb\tc\td\te\tf\n", -3, 0, nullptr},
                    ParseRow{"BadLineSkippedNextRead", "?\n7\ta\tb\tc\td\te\tf\n", 7, 1, "b"},
                    ParseRow{"EmptyInput", "", 1, 0, nullptr}),
    [](const testing::TestParamInfo<ParseRow>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace postvane
