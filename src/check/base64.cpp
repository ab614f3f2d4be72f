// Base64 in both alphabets.
#include "check/base64.h"

#include <cstdint>

namespace postvane {

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Encode(std::string_view bytes, const char* alphabet, bool pad) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = (uint32_t{static_cast<uint8_t>(bytes[i])} << 16) |
                       (uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8) |
                       uint32_t{static_cast<uint8_t>(bytes[i + 2])};
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += alphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return out;
  uint32_t n = uint32_t{static_cast<uint8_t>(bytes[i])} << 16;
  if (rest == 2) n |= uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8;
  out += alphabet[(n >> 18) & 63];
  out += alphabet[(n >> 12) & 63];
  if (rest == 2) out += alphabet[(n >> 6) & 63];
  if (pad) out.append(3 - rest, '=');
  return out;
}

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) { return Encode(bytes, kStandard, true); }

std::string Base64UrlEncode(std::string_view bytes) { return Encode(bytes, kUrl, false); }

std::optional<std::string> Base64Decode(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  uint32_t bits = 0;
  int held = 0;
  for (char c : text) {
    const int v = Value(c);
    if (v < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out += static_cast<char>((bits >> held) & 0xFF);
    }
  }
  return out;
}

}  // namespace postvane
