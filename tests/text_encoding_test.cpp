// UTF-8 validation, the Windows-1252 fallback and cutting by code points.
#include "text/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

using std::string_literals::operator""s;

struct Utf8Case {
  const char* name;
  std::string bytes;
  bool valid;
};

class IsValidUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(IsValidUtf8Test, JudgesBytes) {
  EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Table, IsValidUtf8Test,
                         ::testing::Values(Utf8Case{"Empty", "", true},
                                           Utf8Case{"Ascii", "Postfach 1", true},
                                           Utf8Case{"Nul", "a\0b"s, true},
                                           Utf8Case{"TwoBytes",
                                                    "Postf\xC3\xA4"
                                                    "cher",
                                                    true},
                                           Utf8Case{"ThreeBytes", "\xE2\x82\xAC", true},
                                           Utf8Case{"FourBytes", "\xF0\x9F\x93\xAC", true},
                                           Utf8Case{"HighestCodePoint", "\xF4\x8F\xBF\xBF", true},
                                           Utf8Case{"Latin1Byte",
                                                    "Postf\xE4"
                                                    "cher",
                                                    false},
                                           Utf8Case{"LoneContinuation", "\x80", false},
                                           Utf8Case{"OverlongTwo", "\xC0\x80", false},
                                           Utf8Case{"OverlongC1", "\xC1\xBF", false},
                                           Utf8Case{"OverlongThree", "\xE0\x80\x80", false},
                                           Utf8Case{"OverlongFour", "\xF0\x80\x80\x80", false},
                                           Utf8Case{"Surrogate", "\xED\xA0\x80", false},
                                           Utf8Case{"AboveMaximum", "\xF4\x90\x80\x80", false},
                                           Utf8Case{"F5Lead", "\xF5\x80\x80\x80", false},
                                           Utf8Case{"TruncatedAtEnd", "ab\xE2\x82", false},
                                           Utf8Case{"BadContinuation", "\xE2\x28\xA1", false},
                                           Utf8Case{"FFByte", "\xFF", false}),
                         [](const ::testing::TestParamInfo<Utf8Case>& info) {
                           return info.param.name;
                         });

TEST(Windows1252ToUtf8Test, MapsLatinLetters) {
  EXPECT_EQ(Windows1252ToUtf8("Postf\xE4"
                              "cher"),
            "Postf\xC3\xA4"
            "cher");
  EXPECT_EQ(Windows1252ToUtf8("\xDF\xFF\xA0"), "\xC3\x9F\xC3\xBF\xC2\xA0");
}

TEST(Windows1252ToUtf8Test, MapsTheHighControlRange) {
  EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
  EXPECT_EQ(Windows1252ToUtf8("\x84"), "\xE2\x80\x9E");  // low double quote
  EXPECT_EQ(Windows1252ToUtf8("\x8A"), "\xC5\xA0");      // S caron
  EXPECT_EQ(Windows1252ToUtf8("\x99"), "\xE2\x84\xA2");  // trade mark
  EXPECT_EQ(Windows1252ToUtf8("\x9F"), "\xC5\xB8");      // Y diaeresis
}

TEST(Windows1252ToUtf8Test, UnassignedCodesBecomeControls) {
  EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xC2\x81");
  EXPECT_EQ(Windows1252ToUtf8("\x8D\x8F\x90\x9D"), "\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(Windows1252ToUtf8Test, EveryByteGivesValidUtf8) {
  std::string all;
  for (int code = 0; code < 256; ++code) all.push_back(static_cast<char>(code));
  const std::string decoded = Windows1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(decoded));
  EXPECT_EQ(decoded.substr(0, 128), all.substr(0, 128));
}

TEST(DecodeUtf8OrWindows1252Test, KeepsValidUtf8) {
  EXPECT_EQ(DecodeUtf8OrWindows1252("Postf\xC3\xA4"
                                    "cher"),
            "Postf\xC3\xA4"
            "cher");
  EXPECT_EQ(DecodeUtf8OrWindows1252("plain"), "plain");
}

TEST(DecodeUtf8OrWindows1252Test, DecodesOtherBytesAsWindows1252) {
  EXPECT_EQ(DecodeUtf8OrWindows1252("Postf\xE4"
                                    "cher"),
            "Postf\xC3\xA4"
            "cher");
  // One stray byte makes the whole text Windows-1252.
  EXPECT_EQ(DecodeUtf8OrWindows1252("\xC3\xA4\xE4"), "\xC3\x83\xC2\xA4\xC3\xA4");
}

TEST(CutToCodePointsTest, CountsCodePointsNotBytes) {
  const std::string umlauts = "\xC3\xA4\xC3\xB6\xC3\xBC";  // three letters, six bytes
  EXPECT_EQ(CutToCodePoints(umlauts, 2), "\xC3\xA4\xC3\xB6");
  EXPECT_EQ(CutToCodePoints(umlauts, 3), umlauts);
  EXPECT_EQ(CutToCodePoints(umlauts, 10), umlauts);
  EXPECT_EQ(CutToCodePoints(umlauts, 0), "");
  EXPECT_EQ(CutToCodePoints("a\xF0\x9F\x93\xAC"
                            "b",
                            2),
            "a\xF0\x9F\x93\xAC");
  EXPECT_EQ(CutToCodePoints("", 5), "");
}

TEST(CutToCodePointsTest, LongTextKeepsWholeSequences) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "\xE2\x82\xAC";
  const std::string cut = CutToCodePoints(text, 255);
  EXPECT_EQ(cut.size(), 255u * 3);
  EXPECT_TRUE(IsValidUtf8(cut));
}

}  // namespace
}  // namespace postvane
