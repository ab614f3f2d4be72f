// Stored form of passwords and tokens that keeps every character on its line.
#include "settings/stored_secret.h"

#include "settings/settings_store.h"
#include "text/text_encoding.h"

namespace postvane {

namespace {

// The characters whose UTF-8 starts with F3.
constexpr char32_t kFirstSpelled = 0xC0000;
constexpr char32_t kLastSpelled = 0xFFFFF;

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendSurrogate(std::string& out, char32_t unit) {
  out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
  out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
  out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
}

// A surrogate in the three-byte form at `at` within [first, last], or 0.
char32_t SurrogateAt(std::string_view bytes, std::size_t at, char32_t first, char32_t last) {
  if (at + 3 > bytes.size() || static_cast<unsigned char>(bytes[at]) != 0xED) return 0;
  const auto second = static_cast<unsigned char>(bytes[at + 1]);
  const auto third = static_cast<unsigned char>(bytes[at + 2]);
  if (!Continuation(second) || !Continuation(third)) return 0;
  const char32_t unit = 0xD000 | ((second & 0x3F) << 6) | (third & 0x3F);
  return unit >= first && unit <= last ? unit : 0;
}

// The spelled pairs joined back into four-byte UTF-8; `joined` tells whether there were any.
std::string JoinPairs(std::string_view bytes, bool& joined) {
  std::string out;
  out.reserve(bytes.size());
  joined = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const char32_t high = SurrogateAt(bytes, i, 0xD800, 0xDBFF);
    const char32_t low = high != 0 ? SurrogateAt(bytes, i + 3, 0xDC00, 0xDFFF) : 0;
    const char32_t code = low == 0 ? 0 : 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    if (code < kFirstSpelled || code > kLastSpelled) {
      out.push_back(bytes[i++]);
      continue;
    }
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    joined = true;
    i += 6;
  }
  return out;
}

}  // namespace

std::string StoredSecret(std::string_view text) {
  std::string spelled;
  spelled.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const bool whole = static_cast<unsigned char>(text[i]) == 0xF3 && i + 4 <= text.size() &&
                       Continuation(static_cast<unsigned char>(text[i + 1])) &&
                       Continuation(static_cast<unsigned char>(text[i + 2])) &&
                       Continuation(static_cast<unsigned char>(text[i + 3]));
    if (!whole) {
      // A stray F3 byte (never in valid text) stays as it is.
      spelled.push_back(text[i++]);
      continue;
    }
    std::size_t length = 4;
    const char32_t code = CodePointAt(text, i, length);
    const char32_t offset = code - 0x10000;
    AppendSurrogate(spelled, 0xD800 + (offset >> 10));
    AppendSurrogate(spelled, 0xDC00 + (offset & 0x3FF));
    i += 4;
  }
  return TransformPassword(spelled);
}

std::string SecretFromStored(std::string_view stored) {
  const std::string bytes = TransformPassword(stored);
  if (IsValidUtf8(bytes)) return bytes;
  bool joined = false;
  std::string text = JoinPairs(bytes, joined);
  // Pairs are joined only where that makes the whole text valid UTF-8; an older file's
  // Windows-1252 bytes that happen to look like them stay those characters.
  if (joined && IsValidUtf8(text)) return text;
  return DecodeUtf8OrWindows1252(bytes);
}

}  // namespace postvane
