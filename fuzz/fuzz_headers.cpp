// Fuzz target: a header section from a server as the check reads it and the windows show it:
// header lines found and unfolded, encoded words and charsets decoded, then the display filter.
//
// Input: 0 the byte limit for decoding (times 64, 0 meaning the engine's own), then the header
// section (the rest). Charsets named "x-..." go to a converter that passes the bytes through,
// so that the converter's path is taken too; every other unknown charset has none.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/header_block.h"
#include "fuzz_input.h"
#include "ports/charset_converter.h"
#include "text/display_text.h"
#include "text/encoded_words.h"
#include "text/text_encoding.h"

namespace postvane::fuzz {
namespace {

class PassThroughConverter : public CharsetConverter {
 public:
  std::optional<std::string> ToUtf8(std::string_view charset,
                                    std::string_view bytes) const override {
    if (charset.size() < 2 || (charset[0] != 'x' && charset[0] != 'X') || charset[1] != '-') {
      return std::nullopt;
    }
    return ReplaceInvalidUtf8(bytes);
  }
};

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// What the windows get: valid UTF-8 without a control that could move or hide text, and the
// filter changes nothing on a second pass.
void CheckShown(const std::string& shown, std::string (*filter)(std::string_view)) {
  POSTVANE_FUZZ_CHECK(IsValidUtf8(shown));
  for (std::size_t i = 0; i < shown.size();) {
    std::size_t length = 0;
    const char32_t codePoint = CodePointAt(shown, i, length);
    POSTVANE_FUZZ_CHECK(!IsDisplayControl(codePoint));
    i += length;
  }
  POSTVANE_FUZZ_CHECK_EQ(filter(shown), shown);
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane;
  using namespace postvane::fuzz;
  FuzzInput in(data, size);
  const uint8_t limitByte = in.Byte();
  const std::size_t limit = limitByte == 0 ? kMaxHeaderValueBytes : std::size_t{limitByte} * 64;
  const std::string section = in.Rest();

  static constexpr std::array<std::string_view, 6> kNames{"from",       "to",   "subject",
                                                          "x-priority", "date", "reply-to"};
  std::array<std::optional<std::string>, kNames.size()> values;
  FirstHeaderValues(AfterStatusLine(section), kNames, values);

  static const PassThroughConverter converter;
  for (const std::optional<std::string>& value : values) {
    if (!value) continue;
    // Unfolded, trimmed and bounded.
    POSTVANE_FUZZ_CHECK(value->size() <= kMaxHeaderValueBytes);
    POSTVANE_FUZZ_CHECK(value->find_first_of("\r\n") == std::string::npos);
    if (!value->empty()) {
      POSTVANE_FUZZ_CHECK(!IsBlankOrTab(value->front()) && !IsBlankOrTab(value->back()));
    }

    for (const CharsetConverter* charsets : {static_cast<const CharsetConverter*>(nullptr),
                                             static_cast<const CharsetConverter*>(&converter)}) {
      const std::string decoded = DecodeHeaderText(*value, charsets, limit);
      POSTVANE_FUZZ_CHECK(IsValidUtf8(decoded));
      POSTVANE_FUZZ_CHECK(decoded.size() <= limit);
      if (value->find("=?") == std::string::npos) {
        // Nothing to decode: the bytes as text, cut at a character boundary.
        const std::string plain = DecodeUtf8OrWindows1252(*value);
        POSTVANE_FUZZ_CHECK(plain.starts_with(decoded));
        POSTVANE_FUZZ_CHECK(decoded.size() == plain.size() || plain.size() > limit);
      }
      CheckShown(DisplayText(decoded), DisplayText);
      CheckShown(DisplayAddresses(decoded), DisplayText);
    }
  }
  // The raw bytes, as a status text from a server is shown.
  CheckShown(DisplayText(section.substr(0, 4096)), DisplayText);
  return 0;
}
