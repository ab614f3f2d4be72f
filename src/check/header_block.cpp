// Finding header lines by name at the start of a line, and unfolding their continuation lines.
#include "check/header_block.h"

#include <algorithm>
#include <cstring>

namespace postvane {
namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A header name is printable ASCII other than blank and colon.
bool IsNameChar(char c) { return c > 32 && c < 127 && c != ':'; }

std::size_t FindChar(std::string_view text, char c, std::size_t pos) {
  if (pos >= text.size()) return npos;
  const void* hit = std::memchr(text.data() + pos, c, text.size() - pos);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : npos;
}

// Walks the lines of a text. The next CR and the next LF are each remembered until passed, so
// every byte is searched once however the two are mixed.
class LineReader {
 public:
  explicit LineReader(std::string_view text)
      : text_(text), nextCr_(FindChar(text, '\r', 0)), nextLf_(FindChar(text, '\n', 0)) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    if (nextCr_ != npos && nextCr_ < pos_) nextCr_ = FindChar(text_, '\r', pos_);
    if (nextLf_ != npos && nextLf_ < pos_) nextLf_ = FindChar(text_, '\n', pos_);
    const std::size_t end = std::min(nextCr_, nextLf_);
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
  std::size_t nextCr_;
  std::size_t nextLf_;
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
    for (char c : piece) {
      if (Value.size() >= kMaxHeaderValueBytes) return;
      if (IsBlank(c)) {
        PendingBlank = !Value.empty();
        continue;
      }
      if (PendingBlank) {
        Value.push_back(' ');
        PendingBlank = false;
      }
      Value.push_back(c);
    }
  }
};

}  // namespace

std::string_view HeaderSection(std::string_view reply) {
  LineReader lines(reply);
  std::string_view line;
  if (!lines.Next(line)) return {};  // the status line
  const std::size_t start = lines.Position();
  while (lines.Next(line)) {
    if (line.empty()) return reply.substr(start, lines.Position() - start);
  }
  return reply.substr(start);
}

std::vector<std::optional<std::string>> FirstHeaderValues(
    std::string_view section, std::span<const std::string_view> lowerNames) {
  std::vector<std::optional<std::string>> values(lowerNames.size());
  std::size_t missing = lowerNames.size();
  Unfolder current;
  std::size_t collecting = npos;  // index of the name whose lines are being read
  const auto finish = [&] {
    if (collecting == npos) return;
    values[collecting] = std::move(current.Value);
    current = Unfolder{};
    collecting = npos;
    --missing;
  };

  LineReader lines(section);
  std::string_view line;
  while (lines.Next(line)) {
    if (!line.empty() && IsBlank(line.front())) {
      if (collecting != npos) current.Append(line);
      continue;
    }
    finish();
    if (missing == 0) break;
    std::size_t colon = 0;
    while (colon < line.size() && IsNameChar(line[colon])) ++colon;
    if (colon == 0 || colon == line.size() || line[colon] != ':') continue;
    const std::string_view name = line.substr(0, colon);
    for (std::size_t i = 0; i < lowerNames.size(); ++i) {
      if (!values[i] && EqualsLower(name, lowerNames[i])) {
        collecting = i;
        current.Append(line.substr(colon + 1));
        break;
      }
    }
  }
  finish();
  return values;
}

}  // namespace postvane
