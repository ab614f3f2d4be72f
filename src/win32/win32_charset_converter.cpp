// The names come from the IANA charset registry; Windows knows code pages by number only.
#include "win32/win32_charset_converter.h"

#include <windows.h>

#include <cctype>
#include <climits>

#include "win32/wide_text.h"

namespace postvane {
namespace {

struct NamedCodePage {
  const char* name;
  unsigned codePage;
};

constexpr NamedCodePage kCodePages[] = {
    {"us-ascii", 20127},     {"ascii", 20127},       {"iso-8859-1", 28591},
    {"latin1", 28591},       {"iso-8859-2", 28592},  {"latin2", 28592},
    {"iso-8859-3", 28593},   {"iso-8859-4", 28594},  {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},   {"iso-8859-7", 28597},  {"iso-8859-8", 28598},
    {"iso-8859-8-i", 38598}, {"iso-8859-9", 28599},  {"latin5", 28599},
    {"iso-8859-13", 28603},  {"iso-8859-15", 28605}, {"latin-9", 28605},
    {"windows-1250", 1250},  {"windows-1251", 1251}, {"windows-1252", 1252},
    {"windows-1253", 1253},  {"windows-1254", 1254}, {"windows-1255", 1255},
    {"windows-1256", 1256},  {"windows-1257", 1257}, {"windows-1258", 1258},
    {"cp1250", 1250},        {"cp1251", 1251},       {"cp1252", 1252},
    {"windows-874", 874},    {"tis-620", 874},       {"koi8-r", 20866},
    {"koi8-u", 21866},       {"ibm437", 437},        {"cp437", 437},
    {"ibm850", 850},         {"cp850", 850},         {"ibm852", 852},
    {"ibm866", 866},         {"cp866", 866},         {"shift_jis", 932},
    {"sjis", 932},           {"windows-31j", 932},   {"euc-jp", 20932},
    {"iso-2022-jp", 50220},  {"gb2312", 936},        {"gbk", 936},
    {"cp936", 936},          {"gb18030", 54936},     {"big5", 950},
    {"big5-hkscs", 950},     {"euc-kr", 949},        {"ks_c_5601-1987", 949},
    {"iso-2022-kr", 50225},  {"utf-8", 65001},       {"utf-7", 65000},
    {"macintosh", 10000},    {"x-mac-roman", 10000},
};

}  // namespace

unsigned CodePageOf(std::string_view charset) {
  std::string name;
  for (char c : charset)
    name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  for (const NamedCodePage& entry : kCodePages) {
    if (name == entry.name) return entry.codePage;
  }
  return 0;
}

std::optional<std::string> Win32CharsetConverter::ToUtf8(std::string_view charset,
                                                         std::string_view bytes) const {
  const unsigned codePage = CodePageOf(charset);
  if (codePage == 0 || !IsValidCodePage(codePage)) return std::nullopt;
  if (bytes.empty()) return std::string();
  if (bytes.size() > static_cast<std::size_t>(INT_MAX / 2)) return std::nullopt;
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) return std::string("\xEF\xBF\xBD");
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, wide.data(), size);
  return Narrow(wide);
}

}  // namespace postvane
