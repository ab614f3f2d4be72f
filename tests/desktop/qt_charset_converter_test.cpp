// The Qt charset converter behind the header decoder, for every charset family mail uses.
// The system's iconv encodes each sample, so the expected text is the sample itself.
#include "desktop/net/qt_charset_converter.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "support/qt_test_main.h"
#include "text/encoded_words.h"

namespace postvane {
namespace {

struct CharsetCase {
  const char* charset;
  const char* sample;  // UTF-8
};

// UTF-8 text in the charset, by iconv; empty when iconv cannot.
std::string Encode(const std::string& text, const char* charset) {
  iconv_t cd = iconv_open(charset, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(text.size() * 8 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* dest = out.data();
  size_t outLeft = out.size();
  const size_t converted = iconv(cd, &in, &inLeft, &dest, &outLeft);
  // Stateful encodings (ISO-2022-JP) return to their initial shift state at the end.
  iconv(cd, nullptr, nullptr, &dest, &outLeft);
  iconv_close(cd);
  if (converted == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - outLeft);
  return out;
}

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out.push_back(kDigits[(v >> shift) & 63]);
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out.push_back(kDigits[(v >> 18) & 63]);
    out.push_back(kDigits[(v >> 12) & 63]);
    out += i + 1 < bytes.size() ? std::string(1, kDigits[(v >> 6) & 63]) + "=" : "==";
  }
  return out;
}

std::string QuotedQ(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9')) {
      out.push_back(c);
    } else {
      out += {'=', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return out;
}

class CharsetFamilyTest : public testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetFamilyTest, EncodedWordsGiveTheSampleBack) {
  const CharsetCase& c = GetParam();
  const std::string bytes = Encode(c.sample, c.charset);
  ASSERT_FALSE(bytes.empty()) << "iconv cannot encode the sample in " << c.charset;
  const QtCharsetConverter converter;
  const std::string b = "=?" + std::string(c.charset) + "?B?" + Base64(bytes) + "?=";
  const std::string q = "=?" + std::string(c.charset) + "?q?" + QuotedQ(bytes) + "?=";
  EXPECT_EQ(DecodeHeaderText(b, &converter, 1000), c.sample) << b;
  EXPECT_EQ(DecodeHeaderText(q, &converter, 1000), c.sample) << q;
  EXPECT_EQ(DecodeHeaderText("Re: " + b + " " + q + " (2)", &converter, 1000),
            "Re: " + std::string(c.sample) + c.sample + " (2)");
}

INSTANTIATE_TEST_SUITE_P(
    Families, CharsetFamilyTest,
    testing::Values(
        CharsetCase{"ISO-8859-1", "Caf\u00e9 d\u00e9j\u00e0 vu"},
        CharsetCase{"ISO-8859-2",
                    "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148"},
        CharsetCase{"ISO-8859-3", "\u0126al G\u0127ar\u0121ur \u017cebbu\u0121"},
        CharsetCase{"ISO-8859-4", "\u0122\u0113rbtuve \u0137\u012bsis \u0172\u016b"},
        CharsetCase{"ISO-8859-5", "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440"},
        CharsetCase{"ISO-8859-6", "\u0645\u0631\u062d\u0628\u0627"},
        CharsetCase{"ISO-8859-7", "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1"},
        CharsetCase{"ISO-8859-8", "\u05e9\u05dc\u05d5\u05dd"},
        CharsetCase{"ISO-8859-9", "G\u00fcnayd\u0131n \u011f\u0131\u015f"},
        CharsetCase{"ISO-8859-10", "\u014a\u0167\u0138 \u00f0\u00fe"},
        CharsetCase{"ISO-8859-11", "\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35"},
        CharsetCase{"ISO-8859-13", "Labas \u0105\u010d\u0119\u0117\u012f\u0161\u0173\u016b\u017e"},
        CharsetCase{"ISO-8859-14", "\u0174\u0177 \u1e81 \u1e03"},
        CharsetCase{"ISO-8859-15", "\u20acuro \u0153\u0152 \u0178 \u0160"},
        CharsetCase{"ISO-8859-16", "\u0218tiin\u021b\u0103 \u0218\u021a \u20ac"},
        CharsetCase{"windows-1250", "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd"},
        CharsetCase{"windows-1251", "\u041f\u0440\u0438\u0432\u0435\u0442"},
        CharsetCase{"windows-1252", "\u20ac \u201cquoted\u201d Caf\u00e9"},
        CharsetCase{"windows-1253", "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1"},
        CharsetCase{"windows-1254", "G\u00fcnayd\u0131n"},
        CharsetCase{"windows-1255", "\u05e9\u05dc\u05d5\u05dd"},
        CharsetCase{"windows-1256", "\u0645\u0631\u062d\u0628\u0627"},
        CharsetCase{"windows-1257", "\u0105\u010d\u0119\u0117\u012f\u0161\u0173\u016b\u017e"},
        CharsetCase{"windows-1258", "\u0110\u01b0 \u01a0 \u00e2\u00ea\u00f4"},
        CharsetCase{"KOI8-R", "\u041f\u0440\u0438\u0432\u0435\u0442"},
        CharsetCase{"KOI8-U", "\u041f\u0440\u0438\u0432\u0456\u0442 \u0457\u0436\u0430\u043a"},
        CharsetCase{"ISO-2022-JP", "\u3053\u3093\u306b\u3061\u306f\u65e5\u672c"},
        CharsetCase{"Shift_JIS", "\u3053\u3093\u306b\u3061\u306f\u65e5\u672c"},
        CharsetCase{"EUC-JP", "\u3053\u3093\u306b\u3061\u306f\u65e5\u672c"},
        CharsetCase{"GB2312", "\u4f60\u597d\u4e16\u754c"},
        CharsetCase{"GBK", "\u4f60\u597d\u4e16\u754c"},
        CharsetCase{"GB18030", "\u4f60\u597d\u4e16\u754c"},
        CharsetCase{"Big5", "\u81fa\u7063\u4f60\u597d"},
        CharsetCase{"EUC-KR", "\uc548\ub155\ud558\uc138\uc694"}),
    [](const testing::TestParamInfo<CharsetCase>& info) {
      std::string name;
      for (const char* p = info.param.charset; *p != '\0'; ++p) {
        if ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9')) {
          name.push_back(*p);
        }
      }
      return name;
    });

TEST(QtCharsetConverterTest, UnknownNamesAreUnknown) {
  const QtCharsetConverter converter;
  for (const std::string& name :
       {std::string("x-no-such-charset"), std::string(), std::string("utf-8\0x", 7)}) {
    EXPECT_FALSE(converter.ToUtf8(name, "abc").has_value()) << name;
  }
}

TEST(QtCharsetConverterTest, BadAndCutBytesBecomeReplacements) {
  const QtCharsetConverter converter;
  // A lead byte of Shift_JIS at the very end, and bytes EUC-KR does not define.
  for (auto [charset, bytes] :
       {std::pair{"Shift_JIS", "a\x82"}, std::pair{"EUC-KR", "a\xFF\xFE"}}) {
    const std::optional<std::string> text = converter.ToUtf8(charset, bytes);
    ASSERT_TRUE(text.has_value()) << charset;
    EXPECT_EQ(text->substr(0, 1), "a");
    EXPECT_NE(text->find("\xEF\xBF\xBD"), std::string::npos) << charset;
  }
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
