// Tests of the header section bounds and of finding and unfolding header lines by name.
#include "check/header_block.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

namespace postvane {
namespace {

struct SectionCase {
  const char* name;
  std::string reply;
  std::string section;
};

class HeaderSectionTest : public testing::TestWithParam<SectionCase> {};

TEST_P(HeaderSectionTest, EndsAtFirstEmptyLine) {
  EXPECT_EQ(HeaderSection(GetParam().reply), GetParam().section);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderSectionTest,
    testing::Values(SectionCase{"Empty", "", ""}, SectionCase{"StatusOnly", "+OK\r\n", ""},
                    SectionCase{"StatusWithoutLineEnd", "+OK ready", ""},
                    SectionCase{"UpToEmptyLine", "+OK\r\nA: 1\r\nB: 2\r\n\r\nbody\r\n.\r\n",
                                "A: 1\r\nB: 2\r\n\r\n"},
                    SectionCase{"NoEmptyLine", "+OK\r\nA: 1\r\n.\r\n", "A: 1\r\n.\r\n"},
                    SectionCase{"BareLf", "+OK\nA: 1\n\nbody\n", "A: 1\n\n"},
                    SectionCase{"LoneCr", "+OK\rA: 1\r\rbody\r", "A: 1\r\r"},
                    SectionCase{"BlankLineIsNotEmpty", "+OK\r\nA: 1\r\n \r\nB: 2\r\n\r\n",
                                "A: 1\r\n \r\nB: 2\r\n\r\n"}),
    [](const testing::TestParamInfo<SectionCase>& info) { return std::string(info.param.name); });

constexpr std::array<std::string_view, 2> kNames{"subject", "to"};

TEST(FirstHeaderValuesTest, NothingForMissingNames) {
  const auto values = FirstHeaderValues("Subject: s\r\nCc: c\r\n", kNames);
  ASSERT_EQ(values.size(), kNames.size());
  EXPECT_EQ(values[0], "s");
  EXPECT_FALSE(values[1].has_value());
}

TEST(FirstHeaderValuesTest, EmptyValueIsFound) {
  const auto values = FirstHeaderValues("To:\r\n \r\nTo: later\r\n", kNames);
  EXPECT_EQ(values[1], "");
}

TEST(FirstHeaderValuesTest, LongFoldedValueStopsAtBound) {
  std::string section = "Subject: start\r\n";
  while (section.size() < 4 * kMaxHeaderValueBytes) section += "\t word word word\r\n";
  section += "To: after the long one\r\n";
  const auto values = FirstHeaderValues(section, kNames);
  EXPECT_EQ(values[0]->size(), kMaxHeaderValueBytes);
  EXPECT_EQ(values[1], "after the long one");
}

}  // namespace
}  // namespace postvane
