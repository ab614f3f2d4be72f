// Header charsets through the system's code pages.
#include "win32/win32_charset_converter.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "win32/wide_text.h"

namespace postvane {
namespace {

// Text each charset can hold, in UTF-8; the system's own encoder makes the bytes.
struct RoundTrip {
  const char* charset;
  const char* text;
};

TEST(Win32CharsetConverterTest, DecodesWhatTheSystemEncodes) {
  const RoundTrip rows[] = {
      {"ISO-8859-1", "caf\xC3\xA9 \xC3\xBC"},
      {"iso-8859-2", "\xC5\x81\xC3\xB3\xC5\xBA"},
      {"ISO-8859-15", "\xE2\x82\xAC 5"},
      {"windows-1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {"KOI8-R", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {"Shift_JIS", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"GB2312", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"Big5", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"EUC-KR", "\xED\x95\x9C\xEA\xB5\xAD"},
  };
  Win32CharsetConverter converter;
  for (const RoundTrip& row : rows) {
    const std::wstring wide = Widen(row.text);
    const unsigned codePage = CodePageOf(row.charset);
    ASSERT_NE(codePage, 0u) << row.charset;
    const int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size,
                        nullptr, nullptr);
    EXPECT_NE(bytes, row.text) << row.charset << " has bytes of its own";
    EXPECT_EQ(converter.ToUtf8(row.charset, bytes), std::optional<std::string>(row.text))
        << row.charset;
  }
}

TEST(Win32CharsetConverterTest, UnknownNamesGiveNothing) {
  Win32CharsetConverter converter;
  const std::string names[] = {"x-unknown", "", std::string("iso-8859-1\0x", 12), "utf8 "};
  for (const std::string& name : names) {
    EXPECT_EQ(converter.ToUtf8(name, "abc"), std::nullopt) << name;
  }
  EXPECT_EQ(converter.ToUtf8("us-ascii", ""), std::optional<std::string>(""));
}

}  // namespace
}  // namespace postvane
