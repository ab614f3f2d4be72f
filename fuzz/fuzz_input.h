// Reading a fuzz input front to back, and stopping hard when an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// A broken invariant is a finding: say which one, then trap so libFuzzer keeps the input.
#define POSTVANE_FUZZ_CHECK(condition)                                                        \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      __builtin_trap();                                                                       \
    }                                                                                         \
  } while (0)

// The same for two values that must be equal; both are printed, bytes escaped.
#define POSTVANE_FUZZ_CHECK_EQ(a, b)                                                             \
  do {                                                                                           \
    if (!((a) == (b))) {                                                                         \
      std::fprintf(stderr, "invariant broken: %s == %s (%s:%d)\n  left:  %s\n  right: %s\n", #a, \
                   #b, __FILE__, __LINE__, ::postvane::fuzz::Shown(a).c_str(),                   \
                   ::postvane::fuzz::Shown(b).c_str());                                          \
      __builtin_trap();                                                                          \
    }                                                                                            \
  } while (0)

namespace postvane::fuzz {

// Printable form of a value for the messages above.
inline std::string Shown(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    }
  }
  return out + "\" (" + std::to_string(text.size()) + " bytes)";
}
inline std::string Shown(long long value) { return std::to_string(value); }

// Plain front-to-back reads, so seed files can be written by hand or by a script. Past the
// end every read gives zeros or empty text.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::size_t Left() const { return size_ - pos_; }

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // Little-endian.
  uint16_t Word() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }

  std::string Bytes(std::size_t count) {
    const std::size_t n = count < Left() ? count : Left();
    std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return out;
  }

  // A byte count, then that many bytes.
  std::string ShortText() { return Bytes(Byte()); }
  // A 16-bit count, then that many bytes.
  std::string LongText() { return Bytes(Word()); }
  std::string Rest() { return Bytes(Left()); }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace postvane::fuzz
