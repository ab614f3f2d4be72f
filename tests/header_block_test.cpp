// Tests of where the header section starts and ends, and of finding and unfolding header
// lines by name.
#include "check/header_block.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace postvane {
namespace {

constexpr std::array<std::string_view, 2> kNames{"subject", "to"};

std::array<std::optional<std::string>, 2> Values(std::string_view text) {
  std::array<std::optional<std::string>, 2> values;
  FirstHeaderValues(text, kNames, values);
  return values;
}

struct StatusCase {
  const char* name;
  std::string reply;
  std::string rest;
};

class AfterStatusLineTest : public testing::TestWithParam<StatusCase> {};

TEST_P(AfterStatusLineTest, SkipsTheFirstLine) {
  EXPECT_EQ(AfterStatusLine(GetParam().reply), GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(Cases, AfterStatusLineTest,
                         testing::Values(StatusCase{"Empty", "", ""},
                                         StatusCase{"StatusOnly", "+OK\r\n", ""},
                                         StatusCase{"StatusWithoutLineEnd", "+OK ready", ""},
                                         StatusCase{"CrLf", "+OK\r\nA: 1\r\n", "A: 1\r\n"},
                                         StatusCase{"BareLf", "+OK\nA: 1\n", "A: 1\n"},
                                         StatusCase{"LoneCr", "+OK\rA: 1\r", "A: 1\r"}),
                         [](const testing::TestParamInfo<StatusCase>& info) {
                           return std::string(info.param.name);
                         });

struct EndCase {
  const char* name;
  std::string text;
  bool toFound;  // the To line after the subject is still in the header section
};

class SectionEndTest : public testing::TestWithParam<EndCase> {};

TEST_P(SectionEndTest, EndsAtFirstEmptyLine) {
  const auto values = Values(GetParam().text);
  EXPECT_EQ(values[0], "s");
  EXPECT_EQ(values[1].has_value(), GetParam().toFound);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SectionEndTest,
    testing::Values(EndCase{"CrLfEmptyLine", "Subject: s\r\n\r\nTo: t\r\n", false},
                    EndCase{"LfEmptyLine", "Subject: s\n\nTo: t\n", false},
                    EndCase{"CrEmptyLine", "Subject: s\r\rTo: t\r", false},
                    EndCase{"CrThenCrLf", "Subject: s\r\r\nTo: t\r\n", false},
                    EndCase{"BlankLineIsNotEmpty", "Subject: s\r\n \r\nTo: t\r\n", true},
                    EndCase{"NoEmptyLine", "Subject: s\r\nTo: t", true},
                    EndCase{"JunkLineDoesNotEnd", "Subject: s\r\n=junk=\r\nTo: t\r\n", true}),
    [](const testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

struct LeadingCase {
  const char* name;
  std::string reply;
  std::size_t limit;
  std::string kept;
};

class LeadingHeaderLinesTest : public testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingHeaderLinesTest, KeepsTheStatusAndTheLinesThatFitWhole) {
  EXPECT_EQ(LeadingHeaderLines(GetParam().reply, GetParam().limit), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeadingHeaderLinesTest,
    testing::Values(
        LeadingCase{"AllFit", "+OK\r\nA: 1\r\nB: 2\r\n", 100, "+OK\r\nA: 1\r\nB: 2\r\n"},
        LeadingCase{"ExactlyAtTheLimit", "+OK\r\nA: 1\r\nB: 2\r\n", 12, "+OK\r\nA: 1\r\nB: 2\r\n"},
        LeadingCase{"LineEndPastTheLimit", "+OK\r\nA: 1\r\nB: 2\r\n", 11, "+OK\r\nA: 1\r\n"},
        LeadingCase{"CrOfTheLineEndFits", "+OK\r\nA: 1\r\nB: 2\r\n", 5, "+OK\r\n"},
        LeadingCase{"NoLineFits", "+OK\r\nA: 12345\r\n", 3, "+OK\r\n"},
        LeadingCase{"UnendedLastLine", "+OK\r\nA: 1\r\nB: 2", 100, "+OK\r\nA: 1\r\n"},
        LeadingCase{"BareLineFeeds", "+OK\nA: 1\nB: 2\n", 5, "+OK\nA: 1\n"},
        LeadingCase{"OnlyTheStatus", "+OK\r\n", 10, "+OK\r\n"},
        LeadingCase{"StatusWithoutEnd", "+OK big", 10, "+OK big"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FirstHeaderValuesTest, NothingForMissingNames) {
  const auto values = Values("Subject: s\r\nCc: c\r\n");
  EXPECT_EQ(values[0], "s");
  EXPECT_FALSE(values[1].has_value());
}

TEST(FirstHeaderValuesTest, EmptyValueIsFound) {
  EXPECT_EQ(Values("To:\r\n \r\nTo: later\r\n")[1], "");
}

TEST(FirstHeaderValuesTest, LineEndsAtEveryOffset) {
  // Line ends are searched sixteen bytes at a time, stepping over tabs and other low bytes:
  // each position within and across blocks must be found.
  for (std::size_t length = 1; length < 40; ++length) {
    for (const char* end : {"\r\n", "\n", "\r"}) {
      const std::string word(length, 'a');
      const std::string text =
          "Subject: " + word + "\t\x01" + word + end + "To: " + word + "b" + end + end + "To: x";
      const auto values = Values(text);
      EXPECT_EQ(values[0], word + " \x01" + word) << length;
      EXPECT_EQ(values[1], word + "b") << length;
    }
  }
}

TEST(FirstHeaderValuesTest, LongFoldedValueStopsAtBound) {
  std::string section = "Subject: start\r\n";
  while (section.size() < 4 * kMaxHeaderValueBytes) section += "\t word word word\r\n";
  section += "To: after the long one\r\n";
  const auto values = Values(section);
  EXPECT_EQ(values[0]->size(), kMaxHeaderValueBytes);
  EXPECT_EQ(values[1], "after the long one");
}

}  // namespace
}  // namespace postvane
