// Tests of display safety and of display names shown without their quoting.
#include "text/display_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace postvane {
namespace {

struct AddressCase {
  const char* name;
  std::string header;
  std::string shown;
};

class DisplayAddressesTest : public testing::TestWithParam<AddressCase> {};

TEST_P(DisplayAddressesTest, Shows) {
  EXPECT_EQ(DisplayAddresses(GetParam().header), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayAddressesTest,
    testing::Values(
        AddressCase{"Plain", "Bob Example <bob@example.org>", "Bob Example <bob@example.org>"},
        AddressCase{"BareAddress", "bob@example.org", "bob@example.org"},
        AddressCase{"QuotedName", "\"Example, Bob\" <bob@example.org>",
                    "Example, Bob <bob@example.org>"},
        AddressCase{"EscapedQuotes", "\"Dan \\\"the Man\\\"\" <dan@example.org>",
                    "Dan \"the Man\" <dan@example.org>"},
        AddressCase{"EscapedBackslash", "\"a\\\\b\" <ab@example.org>", "a\\b <ab@example.org>"},
        AddressCase{"TwoAddresses", "\"A, B\" <a@x.org>, \"C\" <c@x.org>",
                    "A, B <a@x.org>, C <c@x.org>"},
        AddressCase{"EmptyName", "\"\" <a@x.org>", "<a@x.org>"},
        AddressCase{"QuotedLocalPartStays", "\"john doe\"@example.org", "\"john doe\"@example.org"},
        AddressCase{"QuotedLocalPartInBracketsStays", "John <\"john doe\"@example.org>",
                    "John <\"john doe\"@example.org>"},
        AddressCase{"CommentStays", "bob@example.org (Bob \"B\" Example)",
                    "bob@example.org (Bob \"B\" Example)"},
        AddressCase{"NestedComment", "b@x.org (a (\"b\") c) \"N\" <n@x.org>",
                    "b@x.org (a (\"b\") c) N <n@x.org>"},
        AddressCase{"UnclosedQuoteShownAsIs", "\"Dan <dan@example.org>", "\"Dan <dan@example.org>"},
        AddressCase{"UnclosedBracketShownAsIs", "Dan <dan@example.org", "Dan <dan@example.org"},
        AddressCase{"BackslashAtEndOfQuote", "\"a\\\" <a@x.org>", "\"a\\\" <a@x.org>"},
        AddressCase{"DecodedUtf8Name", "\"Jos\xC3\xA9 \\\"Pepe\\\"\" <j@x.org>",
                    "Jos\xC3\xA9 \"Pepe\" <j@x.org>"},
        AddressCase{"ControlsInsideQuotesReplaced",
                    "\"a\xE2\x80\xAE"
                    "b\" <a@x.org>",
                    "a\xEF\xBF\xBD"
                    "b <a@x.org>"},
        AddressCase{"Windows1252Bytes", "\"Caf\xE9\" <c@x.org>", "Caf\xC3\xA9 <c@x.org>"}),
    [](const testing::TestParamInfo<AddressCase>& info) { return std::string(info.param.name); });

std::string Utf8(char32_t cp) {
  std::string out;
  if (cp < 0x800) {
    out += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
  } else if (cp < 0x10000) {
    out += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
  } else {
    out += {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
  }
  return out;
}

// Characters that show as nothing could hide or fake part of a sender or subject.
class InvisibleCharacterTest : public testing::TestWithParam<char32_t> {};

TEST_P(InvisibleCharacterTest, IsShownAsAReplacementMark) {
  EXPECT_TRUE(IsDisplayControl(GetParam()));
  EXPECT_EQ(DisplayText("pay" + Utf8(GetParam()) + "pal"), "pay\xEF\xBF\xBDpal");
}

INSTANTIATE_TEST_SUITE_P(CodePoints, InvisibleCharacterTest,
                         testing::Values(0x00AD, 0x180E, 0x2060, 0x2061, 0x2062, 0x2063, 0x2064,
                                         0xFFF9, 0xFFFA, 0xFFFB, 0xE0000, 0xE0001, 0xE0041,
                                         0xE007F),
                         [](const testing::TestParamInfo<char32_t>& info) {
                           char name[16];
                           std::snprintf(name, sizeof name, "U%05X",
                                         static_cast<unsigned>(info.param));
                           return std::string(name);
                         });

TEST(DisplayTextTest, NeighboursOfTheInvisibleRangesStay) {
  for (const char32_t cp :
       {0x00ACu, 0x00AEu, 0x180Du, 0x180Fu, 0x2065u, 0xFFF8u, 0xFFFCu, 0xE0080u, 0x1F600u}) {
    EXPECT_EQ(DisplayText(Utf8(cp)), Utf8(cp)) << std::hex << static_cast<unsigned>(cp);
  }
}

TEST(DisplayTextTest, EveryCodePointReplacedIsADisplayControl) {
  // All 2-byte and 3-byte code points: DisplayText keeps exactly those that are not controls.
  for (char32_t cp = 0x20; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp < 0xE000) continue;
    std::string utf8;
    if (cp < 0x80) {
      utf8.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      utf8 += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      utf8 += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
               static_cast<char>(0x80 | (cp & 0x3F))};
    }
    const std::string shown = DisplayText(utf8);
    if (IsDisplayControl(cp)) {
      ASSERT_EQ(shown, "\xEF\xBF\xBD") << std::hex << static_cast<unsigned>(cp);
    } else {
      ASSERT_EQ(shown, utf8) << std::hex << static_cast<unsigned>(cp);
    }
  }
}

}  // namespace
}  // namespace postvane
