// Finding header lines by name at the start of a line, and unfolding their continuation lines.
#include "check/header_block.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace postvane {
namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A header name is printable ASCII other than blank and colon.
bool IsNameChar(char c) { return c > 32 && c < 127 && c != ':'; }

// Position of the first CR or LF at or after pos, or npos. Lines are short, so instead of a
// library search per line for each of the two, sixteen bytes at a time are tested for any
// byte below 14 (CR, LF, and also tab and a few rare controls, which are then stepped over).
std::size_t FindLineEnd(std::string_view text, std::size_t pos) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  constexpr std::uint64_t kBelow = kOnes * 14;
  // Flags the bytes below 14; the lowest flag is exact, borrows only flag bytes above it.
  const auto lowBytes = [](std::uint64_t word) { return (word - kBelow) & ~word & kHighs; };
  const char* data = text.data();
  const std::size_t size = text.size();
  if constexpr (std::endian::native == std::endian::little) {
    while (pos + 16 <= size) {
      std::uint64_t first;
      std::uint64_t second;
      std::memcpy(&first, data + pos, 8);
      std::memcpy(&second, data + pos + 8, 8);
      const std::uint64_t low = lowBytes(first);
      const std::uint64_t high = lowBytes(second);
      if ((low | high) == 0) {
        pos += 16;
        continue;
      }
      const int bit = low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(high);
      const std::size_t at = pos + static_cast<std::size_t>(bit) / 8;
      if (data[at] == '\r' || data[at] == '\n') return at;
      pos = at + 1;
    }
  }
  for (; pos < size; ++pos) {
    if (data[pos] == '\r' || data[pos] == '\n') return pos;
  }
  return npos;
}

// Walks the lines of a text; CR LF, a lone LF and a lone CR each end a line.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = FindLineEnd(text_, pos_);
    if (end == npos) {
      line = text_.substr(pos_);
      pos_ = text_.size();
      return true;
    }
    line = text_.substr(pos_, end - pos_);
    pos_ = end + ((text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ? 2 : 1);
    return true;
  }

  // Offset of the next line's start.
  std::size_t Position() const { return pos_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool EqualsLower(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (LowerAscii(text[i]) != lower[i]) return false;
  }
  return true;
}

// Adds a piece of a folded value: blanks and tabs collapse into one blank between words.
struct Unfolder {
  std::string Value;
  bool PendingBlank = false;

  void Append(std::string_view piece) {
    std::size_t i = 0;
    while (i < piece.size() && Value.size() < kMaxHeaderValueBytes) {
      if (IsBlank(piece[i])) {
        PendingBlank = !Value.empty();
        ++i;
        continue;
      }
      std::size_t end = i + 1;
      while (end < piece.size() && !IsBlank(piece[end])) ++end;
      if (PendingBlank) {
        Value.push_back(' ');
        PendingBlank = false;
      }
      Value.append(piece, i, std::min(end - i, kMaxHeaderValueBytes - Value.size()));
      i = end;
    }
  }
};

}  // namespace

std::string_view AfterStatusLine(std::string_view reply) {
  LineReader lines(reply);
  std::string_view line;
  lines.Next(line);
  return reply.substr(std::min(lines.Position(), reply.size()));
}

std::string_view LeadingHeaderLines(std::string_view reply, std::size_t limit) {
  const std::size_t start = reply.size() - AfterStatusLine(reply).size();
  LineReader lines(reply.substr(start));
  std::string_view line;
  std::size_t kept = 0;
  while (lines.Next(line)) {
    const std::size_t end = lines.Position();
    // A line the text ends in without its line end may go on past what arrived.
    const char last = reply[start + end - 1];
    if (end > limit || (last != '\n' && last != '\r')) break;
    kept = end;
  }
  return reply.substr(0, start + kept);
}

void FirstHeaderValues(std::string_view text, std::span<const std::string_view> lowerNames,
                       std::span<std::optional<std::string>> values) {
  for (std::optional<std::string>& value : values) value.reset();
  const std::size_t names = std::min(lowerNames.size(), values.size());
  std::size_t missing = names;
  Unfolder current;
  std::size_t collecting = npos;  // index of the name whose lines are being read
  const auto finish = [&] {
    if (collecting == npos) return;
    values[collecting] = std::move(current.Value);
    current = Unfolder{};
    collecting = npos;
    --missing;
  };

  LineReader lines(text);
  std::string_view line;
  while (lines.Next(line)) {
    if (line.empty()) break;  // the end of the header section
    if (IsBlank(line.front())) {
      if (collecting != npos) current.Append(line);
      continue;
    }
    finish();
    if (missing == 0) break;
    // Most lines start with a letter no wanted name starts with.
    const char first = LowerAscii(line.front());
    bool candidate = false;
    for (std::size_t i = 0; i < names; ++i) candidate = candidate || lowerNames[i].front() == first;
    if (!candidate) continue;
    std::size_t colon = 0;
    while (colon < line.size() && IsNameChar(line[colon])) ++colon;
    if (colon == 0 || colon == line.size() || line[colon] != ':') continue;
    const std::string_view name = line.substr(0, colon);
    for (std::size_t i = 0; i < names; ++i) {
      if (!values[i] && EqualsLower(name, lowerNames[i])) {
        collecting = i;
        current.Append(line.substr(colon + 1));
        break;
      }
    }
  }
  finish();
}

}  // namespace postvane
