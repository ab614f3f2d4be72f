// The settings reader against the platform's own private-profile functions: each file is read
// by both, and every key must come back the same (run under Windows or Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "../fakes/temp_folder.h"
#include "settings/ini_file.h"
#include "text/text_encoding.h"

namespace postvane {
namespace {

using std::string_literals::operator""s;

// Stands for "no such key" on both sides; GetPrivateProfileStringW hands back the default then.
constexpr wchar_t kMissingWide[] = L"<missing>";
constexpr char kMissing[] = "<missing>";

struct ProfileCase {
  const char* name;
  std::string bytes;
  const char* section;
  const char* key;
};

std::wstring Wide(const std::string& utf8) {
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

std::string Utf8(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::string Utf16Le(const std::u16string& text, bool bom) {
  std::string out = bom ? "\xFF\xFE"s : ""s;
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

std::string Utf16Be(const std::u16string& text) {
  std::string out = "\xFE\xFF"s;
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit >> 8));
    out.push_back(static_cast<char>(unit & 0xFF));
  }
  return out;
}

std::string ThePlatformReads(const std::string& path, const ProfileCase& row) {
  std::wstring buffer(1 << 16, L'\0');
  const DWORD length = GetPrivateProfileStringW(
      Wide(row.section).c_str(), Wide(row.key).c_str(), kMissingWide, buffer.data(),
      static_cast<DWORD>(buffer.size()), Wide(path).c_str());
  buffer.resize(length);
  return Utf8(buffer);
}

std::string PostvaneReads(const ProfileCase& row) {
  const std::optional<std::string> value = IniFile(row.bytes).Read(row.section, row.key);
  return value ? DecodeUtf8OrWindows1252(*value) : kMissing;
}

class ProfileCompareTest : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileCompareTest, ReadsAsThePlatformDoes) {
  TempFolder folder;
  // A fresh name per file: the platform caches the profile it read last.
  const std::string path = folder.File(std::string(GetParam().name) + ".ini");
  {
    std::ofstream out(folder.Path() / (std::string(GetParam().name) + ".ini"), std::ios::binary);
    out << GetParam().bytes;
  }
  EXPECT_EQ(PostvaneReads(GetParam()), ThePlatformReads(path, GetParam()));
}

const std::string kLong(5000, 'x');

// Files without a byte-order mark are read as the 8-bit code page by the platform, where
// Postvane takes valid UTF-8 as UTF-8: only ASCII and Windows-1252 rows are compared for those.
INSTANTIATE_TEST_SUITE_P(
    Files, ProfileCompareTest,
    testing::Values(
        ProfileCase{"MissingSection", "[A]\r\nk=1\r\n", "B", "k"},
        ProfileCase{"MissingKey", "[A]\r\nk=1\r\n", "A", "j"},
        ProfileCase{"EmptyFile", "", "A", "k"},
        ProfileCase{"EmptyValue", "[A]\r\nk=\r\n", "A", "k"},
        ProfileCase{"BlankValue", "[A]\r\nk=   \t \r\n", "A", "k"},
        ProfileCase{"KeyWithoutEquals", "[A]\r\nk\r\n", "A", "k"},
        ProfileCase{"SectionCase", "[mAiLbOx0]\r\nName=Home\r\n", "MailBox0", "Name"},
        ProfileCase{"KeyCase", "[A]\r\nREMOTEHOST=pop.example.org\r\n", "A", "RemoteHost"},
        ProfileCase{"DuplicateSectionFirstKey", "[A]\r\nk=1\r\n[B]\r\nk=9\r\n[a]\r\nk=2\r\nj=3\r\n",
                    "A", "k"},
        ProfileCase{"DuplicateSectionLaterKey", "[A]\r\nk=1\r\n[B]\r\nk=9\r\n[a]\r\nk=2\r\nj=3\r\n",
                    "A", "j"},
        ProfileCase{"DuplicateKey", "[A]\r\nk=1\r\nK=2\r\n", "A", "k"},
        ProfileCase{"BlanksAroundNames", "  [  A  ]  \r\n\t k \t=\t v w \t\r\n", "A", "k"},
        ProfileCase{"EqualsInValue", "[A]\r\nk=a=b\r\n", "A", "k"},
        ProfileCase{"DoubleQuotes", "[A]\r\nk=\" v \"\r\n", "A", "k"},
        ProfileCase{"SingleQuotes", "[A]\r\nk=' v '\r\n", "A", "k"},
        ProfileCase{"EmptyQuotes", "[A]\r\nk=\"\"\r\n", "A", "k"},
        ProfileCase{"LoneQuote", "[A]\r\nk=\"\r\n", "A", "k"},
        ProfileCase{"UnmatchedQuotes", "[A]\r\nk=\"v'\r\n", "A", "k"},
        ProfileCase{"QuoteInside", "[A]\r\nk=\"a\"b\"\r\n", "A", "k"},
        ProfileCase{"TwoPairsOfQuotes", "[A]\r\nk=\"\"v\"\"\r\n", "A", "k"},
        ProfileCase{"LongValue", "[A]\r\nk=" + kLong + "\r\n", "A", "k"},
        ProfileCase{"LastLineWithoutEnd", "[A]\r\nk=1", "A", "k"},
        ProfileCase{"LineFeedsOnly", "[A]\nk=1\nj=2\n", "A", "j"},
        ProfileCase{"Windows1252", "[A]\r\nk=caf\xE9 \x80\r\n", "A", "k"},
        ProfileCase{"Utf8WithMark", "\xEF\xBB\xBF[A]\r\nk=Z\xC3\xBCrich\r\n", "A", "k"},
        ProfileCase{"Utf16", Utf16Le(u"[A]\r\nk=Z\u00FCrich \u65E5\u672C\r\n", true), "A", "k"},
        ProfileCase{"Utf16FirstSection", Utf16Le(u"[A]\r\nk=1\r\n[B]\r\nk=2\r\n", true), "A", "k"},
        ProfileCase{"Utf16Latin", Utf16Le(u"[A]\r\nk=caf\u00E9\r\n", true), "A", "k"},
        ProfileCase{"Utf16BigEndian", Utf16Be(u"[A]\r\nk=\u00E9t\u00E9\r\n"), "A", "k"}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace postvane
