// Decoding of encoded words in header values, with the charsets every mail reader knows built in.
#include "text/encoded_words.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

#include "text/text_encoding.h"

namespace postvane {
namespace {

constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Missing padding is forgiven, as mail readers do; any other character makes the word malformed.
std::optional<std::string> DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3 / 4);
  unsigned bits = 0;
  int bitCount = 0;
  std::size_t digits = 0;
  std::size_t i = 0;
  for (; i < text.size() && text[i] != '='; ++i) {
    const int value = Base64Value(text[i]);
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(value);
    bitCount += 6;
    ++digits;
    if (bitCount >= 8) {
      bitCount -= 8;
      out.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
  for (; i < text.size(); ++i) {
    if (text[i] != '=') return std::nullopt;
  }
  // A single digit left over holds no whole byte.
  if (digits % 4 == 1) return std::nullopt;
  return out;
}

// An '=' without two hex digits after it is kept as it is.
std::string DecodeQ(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '_') {
      out.push_back(' ');
    } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool NameIs(std::string_view lowerName, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (lowerName == name) return true;
  }
  return false;
}

std::optional<std::string> WordToUtf8(std::string_view charset, std::string_view bytes,
                                      const CharsetConverter* converter) {
  std::string lower;
  for (char c : charset) lower.push_back(LowerAscii(c));
  if (NameIs(lower, {"utf-8", "utf8"})) return ReplaceInvalidUtf8(bytes);
  if (NameIs(lower, {"us-ascii", "ascii", "ansi_x3.4-1968", "iso-8859-1", "iso8859-1", "iso_8859-1",
                     "latin1", "latin-1", "l1", "cp819", "windows-1252", "cp1252", "x-cp1252"})) {
    // Mail labelled Latin-1 or ASCII is in practice written in Windows-1252, its superset.
    return DecodeUtf8OrWindows1252(bytes);
  }
  if (NameIs(lower, {"iso-8859-16", "iso8859-16", "iso_8859-16", "latin10", "l10"})) {
    return Iso885916ToUtf8(bytes);
  }
  if (converter == nullptr) return std::nullopt;
  std::optional<std::string> text = converter->ToUtf8(charset, bytes);
  if (text && !IsValidUtf8(*text)) *text = ReplaceInvalidUtf8(*text);
  return text;
}

bool IsCharsetChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 32 && byte < 127 && c != '?' && c != '=' && c != '(' && c != ')' && c != '"' &&
         c != '<' && c != '>' && c != ',' && c != ';' && c != ':' && c != '\\';
}

struct EncodedWord {
  std::size_t End = 0;  // one past the closing "?="
  std::string Text;     // decoded, UTF-8
};

// The encoded word starting at "=?" at pos, decoded; nothing when it is malformed or its
// charset is unknown.
std::optional<EncodedWord> ReadEncodedWord(std::string_view raw, std::size_t pos,
                                           const CharsetConverter* converter) {
  std::size_t i = pos + 2;
  const std::size_t charsetStart = i;
  while (i < raw.size() && IsCharsetChar(raw[i])) ++i;
  if (i == charsetStart || i >= raw.size() || raw[i] != '?') return std::nullopt;
  std::string_view charset = raw.substr(charsetStart, i - charsetStart);
  // A language tag after '*' (RFC 2231) names no charset.
  charset = charset.substr(0, charset.find('*'));
  if (charset.empty()) return std::nullopt;
  ++i;
  if (i + 1 >= raw.size() || raw[i + 1] != '?') return std::nullopt;
  const char encoding = LowerAscii(raw[i]);
  if (encoding != 'b' && encoding != 'q') return std::nullopt;
  i += 2;
  const std::size_t textStart = i;
  while (i < raw.size() && raw[i] != '?' && !IsBlank(raw[i])) ++i;
  if (i + 1 >= raw.size() || raw[i] != '?' || raw[i + 1] != '=') return std::nullopt;
  const std::string_view text = raw.substr(textStart, i - textStart);

  std::optional<std::string> bytes;
  if (encoding == 'b') {
    bytes = DecodeBase64(text);
  } else {
    bytes = DecodeQ(text);
  }
  if (!bytes) return std::nullopt;
  std::optional<std::string> utf8 = WordToUtf8(charset, *bytes, converter);
  if (!utf8) return std::nullopt;
  return EncodedWord{i + 2, std::move(*utf8)};
}

bool AllBlank(std::string_view text) {
  for (char c : text) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

// At most maxBytes bytes of valid UTF-8, never ending inside a sequence.
void CutToBytes(std::string& text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return;
  std::size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

}  // namespace

std::string DecodeHeaderText(std::string_view raw, const CharsetConverter* converter,
                             std::size_t maxBytes) {
  const bool literalUtf8 = IsValidUtf8(raw);
  const auto appendLiteral = [literalUtf8](std::string& out, std::string_view bytes) {
    if (literalUtf8) {
      out.append(bytes);
    } else {
      out += Windows1252ToUtf8(bytes);
    }
  };

  std::string out;
  std::size_t literalStart = 0;  // start of the text not yet written
  bool afterWord = false;        // the text since literalStart follows an encoded word
  std::size_t pos = raw.find("=?");
  while (pos != std::string_view::npos && out.size() <= maxBytes) {
    std::optional<EncodedWord> word = ReadEncodedWord(raw, pos, converter);
    if (!word) {
      pos = raw.find("=?", pos + 1);
      continue;
    }
    const std::string_view between = raw.substr(literalStart, pos - literalStart);
    // Only white space between two encoded words is dropped; it separates, it is not text.
    if (!(afterWord && AllBlank(between))) appendLiteral(out, between);
    out += word->Text;
    literalStart = word->End;
    afterWord = true;
    pos = raw.find("=?", literalStart);
  }
  if (out.size() <= maxBytes && literalStart < raw.size()) {
    appendLiteral(out, raw.substr(literalStart, std::min(raw.size() - literalStart, maxBytes + 4)));
  }
  CutToBytes(out, maxBytes);
  return out;
}

}  // namespace postvane
