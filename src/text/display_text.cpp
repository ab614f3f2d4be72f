// Replacing display controls, and showing display names without their quoting.
#include "text/display_text.h"

#include <cstddef>

#include "text/text_encoding.h"

namespace postvane {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Position after the quoted string that opens at `at`, or npos when it never closes.
std::size_t QuotedEnd(std::string_view text, std::size_t at) {
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// Position after the comment that opens at `at` (comments nest), or npos.
std::size_t CommentEnd(std::string_view text, std::size_t at) {
  int depth = 0;
  for (std::size_t i = at; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

std::string UnquoteDisplayNames(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    std::size_t end = std::string_view::npos;
    if (c == '<') {
      const std::size_t close = text.find('>', i);
      end = close == std::string_view::npos ? close : close + 1;
    } else if (c == '(') {
      end = CommentEnd(text, i);
    } else if (c == '"') {
      end = QuotedEnd(text, i);
      std::size_t next = end;
      while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
      // A quoted local part ("john doe"@example.org) is part of the address: kept.
      if (end != std::string_view::npos && (next >= text.size() || text[next] != '@')) {
        for (std::size_t k = i + 1; k + 1 < end; ++k) {
          if (text[k] == '\\' && k + 2 < end) ++k;
          out.push_back(text[k]);
        }
        i = end;
        continue;
      }
    } else {
      out.push_back(c);
      ++i;
      continue;
    }
    // Unclosed: the rest is shown as it is.
    if (end == std::string_view::npos) end = text.size();
    out.append(text, i, end - i);
    i = end;
  }
  const std::size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool IsDisplayControl(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0x00AD || cp == 0x061C || cp == 0x180E ||
         (cp >= 0x200B && cp <= 0x200F) || cp == 0x2028 || cp == 0x2029 ||
         (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x2064) ||
         (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF || (cp >= 0xFFF9 && cp <= 0xFFFB) ||
         (cp >= 0xE0000 && cp <= 0xE007F);
}

std::string DisplayText(std::string_view bytes) {
  const std::string text = DecodeUtf8OrWindows1252(bytes);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    const char32_t cp = CodePointAt(text, i, length);
    if (cp == '\t') {
      out.push_back(' ');
    } else if (IsDisplayControl(cp)) {
      out += kReplacement;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string DisplayAddresses(std::string_view bytes) {
  return DisplayText(UnquoteDisplayNames(DecodeUtf8OrWindows1252(bytes)));
}

}  // namespace postvane
