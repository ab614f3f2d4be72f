// Encodings for IMAP command lines.
#include "check/imap_words.h"

#include <algorithm>
#include <charconv>

namespace postvane {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The next code point of `text` from `pos`, which moves past it; a bad sequence is one byte.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  int length = 0;
  char32_t value = 0;
  char32_t lowest = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, lowest = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + static_cast<std::size_t>(length) > text.size()) {
    ++pos;
    return kReplacement;
  }
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + static_cast<std::size_t>(i));
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    value = (value << 6) | (next & 0x3F);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += static_cast<std::size_t>(length);
  return value;
}

std::string Base64With(std::string_view bytes, char slash, bool pad) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  const auto digit = [&](uint32_t v) { return v == 63 ? slash : kDigits[v]; };
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += {digit(v >> 18), digit((v >> 12) & 63), digit((v >> 6) & 63), digit(v & 63)};
  }
  const std::size_t left = bytes.size() - i;
  if (left > 0) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (left == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += digit(v >> 18);
    out += digit((v >> 12) & 63);
    if (left == 2) out += digit((v >> 6) & 63);
    if (pad) out.append(3 - left, '=');
  }
  return out;
}

}  // namespace

std::string ModifiedUtf7(std::string_view utf8) {
  std::string out;
  std::string pending;  // UTF-16 big-endian bytes of the current run
  const auto flush = [&] {
    if (pending.empty()) return;
    out += '&';
    out += Base64With(pending, ',', false);
    out += '-';
    pending.clear();
  };
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t c = NextCodePoint(utf8, pos);
    if (c >= 0x20 && c <= 0x7E) {
      flush();
      out += c == '&' ? std::string("&-") : std::string(1, static_cast<char>(c));
      continue;
    }
    const auto unit = [&](char32_t u) {
      pending += static_cast<char>((u >> 8) & 0xFF);
      pending += static_cast<char>(u & 0xFF);
    };
    if (c >= 0x10000) {
      const char32_t v = c - 0x10000;
      unit(0xD800 + (v >> 10));
      unit(0xDC00 + (v & 0x3FF));
    } else {
      unit(c);
    }
  }
  flush();
  return out;
}

bool SevenBitQuotable(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == 0 || byte == '\r' || byte == '\n' || byte >= 0x80;
  });
}

std::optional<std::string> Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\0' || c == '\r' || c == '\n') return std::nullopt;
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

std::string UidSet(std::vector<uint32_t> uids) {
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  std::string out;
  for (std::size_t i = 0; i < uids.size();) {
    std::size_t j = i;
    while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(uids[i]);
    if (j > i) out += ':' + std::to_string(uids[j]);
    i = j + 1;
  }
  return out;
}

std::string Base64(std::string_view bytes) { return Base64With(bytes, '/', true); }

std::optional<uint32_t> ParseUid(std::string_view text) {
  uint32_t value = 0;
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace postvane
