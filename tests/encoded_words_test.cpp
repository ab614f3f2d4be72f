// Tests of encoded-word decoding: both encodings, adjacency, malformed words, charsets, bounds.
#include "text/encoded_words.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace postvane {
namespace {

// Knows one charset by exact name, so that tests see what reaches the port and what it gives.
class OneCharsetConverter : public CharsetConverter {
 public:
  std::optional<std::string> ToUtf8(std::string_view charset,
                                    std::string_view bytes) const override {
    calls.emplace_back(charset, bytes);
    if (charset != "x-test") return std::nullopt;
    if (bytes == "bad") return std::string("\xFF");
    return "[" + std::string(bytes) + "]";
  }
  mutable std::vector<std::pair<std::string, std::string>> calls;
};

struct DecodeCase {
  const char* name;
  std::string raw;
  std::string decoded;
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, Decodes) {
  const OneCharsetConverter converter;
  EXPECT_EQ(DecodeHeaderText(GetParam().raw, &converter, 1000), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Words, DecodeTest,
    testing::Values(
        DecodeCase{"PlainText", "Hello world", "Hello world"},
        DecodeCase{"QWithUnderscore", "=?utf-8?q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=",
                   "Gr\xC3\xBC\xC3\x9F"
                   "e aus K\xC3\xB6ln"},
        DecodeCase{"BUpperCase", "=?UTF-8?B?w4lsw6h2ZQ==?=", "\xC3\x89l\xC3\xA8ve"},
        DecodeCase{"BWithoutPadding", "=?utf-8?b?w4lsw6h2ZQ?=", "\xC3\x89l\xC3\xA8ve"},
        DecodeCase{"MixedCaseCharsetAndEncoding", "=?Utf-8?Q?a=3Fb?=", "a?b"},
        DecodeCase{"LowerCaseHex", "=?utf-8?q?=c3=a9?=", "\xC3\xA9"},
        DecodeCase{"AdjacentWordsJoin", "=?utf-8?q?ab?= \t =?utf-8?q?cd?=", "abcd"},
        // Each word stands alone: half a character in each is two malformed characters.
        DecodeCase{"SplitMultibyteAcrossWords",
                   "=?utf-8?b?w4?= =?utf-8?b?qQ==?=", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        DecodeCase{"TextBetweenWordsKept", "=?utf-8?q?ab?= x =?utf-8?q?cd?=", "ab x cd"},
        DecodeCase{"BlankBeforeAndAfterKept", "Re: =?utf-8?q?caf=C3=A9?= ok", "Re: caf\xC3\xA9 ok"},
        DecodeCase{"DisplayNameWord", "=?iso-8859-1?Q?J=F6rg?= <j@example.org>",
                   "J\xC3\xB6rg <j@example.org>"},
        DecodeCase{"QuotedDisplayNameWord", "\"=?utf-8?q?Jos=C3=A9?=\" <j@example.org>",
                   "\"Jos\xC3\xA9\" <j@example.org>"},
        DecodeCase{"LanguageTag", "=?utf-8*de?q?=C3=A4?=", "\xC3\xA4"},
        DecodeCase{"Windows1252Word",
                   "=?windows-1252?q?=80_=93x=94?=", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        DecodeCase{"AsciiWord", "=?us-ascii?q?plain?=", "plain"},
        DecodeCase{"InvalidUtf8InWordReplaced", "=?utf-8?q?a=FFb?=",
                   "a\xEF\xBF\xBD"
                   "b"},
        DecodeCase{"PortCharset", "=?x-test?q?hi?=", "[hi]"},
        DecodeCase{"PortGivesBadUtf8", "=?x-test?q?bad?=", "\xEF\xBF\xBD"},
        DecodeCase{"UnknownCharsetStays", "=?x-unknown?q?hi?=", "=?x-unknown?q?hi?="},
        DecodeCase{"UnknownEncodingStays", "=?utf-8?x?hi?=", "=?utf-8?x?hi?="},
        DecodeCase{"BadBase64Stays", "=?utf-8?b?!!!!?=", "=?utf-8?b?!!!!?="},
        DecodeCase{"OneBase64DigitLeftStays", "=?utf-8?b?QUJDR?=", "=?utf-8?b?QUJDR?="},
        DecodeCase{"UnterminatedStays", "=?utf-8?q?abc", "=?utf-8?q?abc"},
        DecodeCase{"BlankInsideStays", "=?utf-8?q?a b?=", "=?utf-8?q?a b?="},
        // Split so that "??=" is not read as a trigraph.
        DecodeCase{"EmptyCharsetStays",
                   "=?"
                   "?q?a?=",
                   "=?"
                   "?q?a?="},
        DecodeCase{"BadQEscapeKept", "=?utf-8?q?100=_=4?=", "100= =4"},
        DecodeCase{"MalformedThenGood", "=?utf-8?q =?utf-8?q?ok?=", "=?utf-8?q ok"},
        DecodeCase{"WordGluedToText", "x=?utf-8?q?y?=z", "xyz"},
        DecodeCase{"EmptyWord",
                   "a =?utf-8?q?"
                   "?= b",
                   "a  b"},
        DecodeCase{"RawLatinOutsideWords", "Caf\xE9 =?utf-8?q?ok?=", "Caf\xC3\xA9 ok"},
        DecodeCase{"RawUtf8OutsideWords", "Caf\xC3\xA9 =?utf-8?q?ok?=", "Caf\xC3\xA9 ok"}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(DecodeHeaderTextTest, BuiltInCharsetsNeverReachThePort) {
  const OneCharsetConverter converter;
  DecodeHeaderText("=?UTF-8?q?a?= =?us-ascii?q?b?= =?ISO-8859-1?q?c?= =?cp1252?q?d?=", &converter,
                   100);
  EXPECT_TRUE(converter.calls.empty());
  DecodeHeaderText("=?KOI8-R?B?8NLJ18XU?=", &converter, 100);
  ASSERT_EQ(converter.calls.size(), 1u);
  EXPECT_EQ(converter.calls[0].first, "KOI8-R");
  EXPECT_EQ(converter.calls[0].second, "\xF0\xD2\xC9\xD7\xC5\xD4");
}

TEST(DecodeHeaderTextTest, WithoutPortOtherCharsetsStay) {
  EXPECT_EQ(DecodeHeaderText("=?koi8-r?q?=F0?= =?utf-8?q?x?=", nullptr, 100), "=?koi8-r?q?=F0?= x");
}

TEST(DecodeHeaderTextTest, ResultIsCutAtCharacterBoundary) {
  std::string raw;
  for (int i = 0; i < 200; ++i) raw += "=?utf-8?q?=E2=82=AC?= ";
  for (std::size_t bound : {0u, 1u, 2u, 3u, 4u, 100u, 301u}) {
    const std::string text = DecodeHeaderText(raw, nullptr, bound);
    EXPECT_LE(text.size(), bound);
    EXPECT_EQ(text.size() % 3, 0u) << bound;
  }
}

}  // namespace
}  // namespace postvane
