// Splits what an IMAP server sends into whole responses: tagged, untagged and continuation
// requests, with the literals ({n} and {n+}) they carry. Bounded: a response past its limits
// fails the reader rather than growing memory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postvane {

enum class ImapResponseKind { Tagged, Untagged, Continuation };

struct ImapResponse {
  ImapResponseKind Kind = ImapResponseKind::Untagged;
  std::string Tag;  // tagged responses only
  // Everything after the tag, "*" or "+" and its blank, without line ends; a literal stays as
  // its "{n}" mark, its bytes are in Literals in order.
  std::string Text;
  std::vector<std::string> Literals;
  // Where in Text each literal's mark ends: only a mark that ended a line is a literal.
  std::vector<std::size_t> LiteralEnds;
  bool operator==(const ImapResponse&) const = default;
};

struct ImapReaderLimits {
  // The text of one response, literals not counted.
  std::size_t Text = std::size_t{1} * 1024 * 1024;
  // One literal's bytes; a literal announced larger fails at once, before any byte of it.
  std::size_t Literal = std::size_t{1} * 1024 * 1024;
  // All literals of one response together.
  std::size_t Literals = std::size_t{4} * 1024 * 1024;
};

enum class ImapReadError { None, TextTooLong, LiteralTooLong, BadLiteral };

class ImapReader {
 public:
  explicit ImapReader(ImapReaderLimits limits = {}) : limits_(limits) {}

  // Appends the bytes; whole responses are added to `out` in the order they end. Once failed,
  // nothing more is read.
  void Feed(std::string_view bytes, std::vector<ImapResponse>& out);

  ImapReadError Error() const { return error_; }
  bool Failed() const { return error_ != ImapReadError::None; }
  // Bytes of a response begun but not ended.
  bool Pending() const { return !text_.empty() || literalLeft_ > 0 || !current_.Literals.empty(); }

 private:
  void EndLine(std::vector<ImapResponse>& out);
  void Fail(ImapReadError error);

  ImapReaderLimits limits_;
  ImapReadError error_ = ImapReadError::None;
  // The response being read: its text so far and the literals it announced.
  ImapResponse current_;
  std::string text_;
  std::size_t literalLeft_ = 0;
  std::size_t literalBytes_ = 0;
  // Where the text after the last literal begins: only that part can end in a new mark.
  std::size_t partStart_ = 0;
};

// The literal a line ends with, "{n}" or "{n+}": its size; nothing when the line ends
// otherwise. A mark with no digits, too many or a size past the limit of size_t is bad.
struct LiteralMark {
  std::size_t Size = 0;
  bool Bad = false;
};
std::optional<LiteralMark> TrailingLiteral(std::string_view line);

// Reading a response's text as IMAP's atoms, strings and lists.
class ImapTokens {
 public:
  enum class Kind { End, Atom, String, Open, Close };
  struct Token {
    Kind What = Kind::End;
    std::string Text;  // the atom, or the string's bytes (quoted ones unescaped)
    bool Nil() const;  // the atom NIL
  };

  explicit ImapTokens(const ImapResponse& response) : response_(response) {}
  Token Next();
  // The rest of the text from the current place, blanks before it skipped.
  std::string_view Rest();

 private:
  const ImapResponse& response_;
  std::size_t pos_ = 0;
  std::size_t literal_ = 0;
};

// Letter case ignored, ASCII only.
bool EqualsNoCase(std::string_view a, std::string_view b);

// A tagged or untagged status response, "OK [CODE args] text": its word upper-cased, its
// response code (text in brackets, without them) and the human-readable text after it.
struct ImapStatus {
  std::string Word;
  std::string Code;
  std::string Text;
};
ImapStatus ReadStatus(std::string_view text);

}  // namespace postvane
