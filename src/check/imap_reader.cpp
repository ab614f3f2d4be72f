// IMAP responses from a byte stream, and the pieces of their text.
#include "check/imap_reader.h"

#include <algorithm>
#include <cstring>

namespace postvane {

namespace {

// A size of 20 digits may not fit size_t; no real literal has more than a few.
constexpr std::size_t kMaxLiteralDigits = 19;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAscii(x) == UpperAscii(y);
         });
}

std::optional<LiteralMark> TrailingLiteral(std::string_view line) {
  if (line.empty() || line.back() != '}') return std::nullopt;
  std::size_t end = line.size() - 1;
  if (end > 0 && line[end - 1] == '+') --end;
  std::size_t begin = end;
  while (begin > 0 && IsDigit(line[begin - 1])) --begin;
  if (begin == end || begin == 0 || line[begin - 1] != '{') return std::nullopt;
  if (end - begin > kMaxLiteralDigits) return LiteralMark{0, true};
  std::size_t size = 0;
  for (std::size_t i = begin; i < end; ++i)
    size = size * 10 + static_cast<std::size_t>(line[i] - '0');
  return LiteralMark{size, false};
}

void ImapReader::Fail(ImapReadError error) {
  error_ = error;
  // The memory goes back at once; nothing more is read.
  std::string().swap(text_);
  current_ = {};
  literalLeft_ = 0;
  partStart_ = 0;
}

void ImapReader::Feed(std::string_view bytes, std::vector<ImapResponse>& out) {
  while (!bytes.empty() && !Failed()) {
    if (literalLeft_ > 0) {
      const std::size_t take = std::min(literalLeft_, bytes.size());
      current_.Literals.back().append(bytes.substr(0, take));
      literalLeft_ -= take;
      bytes.remove_prefix(take);
      continue;
    }
    const std::size_t lineFeed = bytes.find('\n');
    const std::size_t take = lineFeed == std::string_view::npos ? bytes.size() : lineFeed;
    if (take > limits_.Text || text_.size() + take > limits_.Text) {
      Fail(ImapReadError::TextTooLong);
      return;
    }
    text_.append(bytes.substr(0, take));
    if (lineFeed == std::string_view::npos) return;
    bytes.remove_prefix(lineFeed + 1);
    if (!text_.empty() && text_.back() == '\r') text_.pop_back();
    EndLine(out);
  }
}

void ImapReader::EndLine(std::vector<ImapResponse>& out) {
  if (const std::optional<LiteralMark> mark =
          TrailingLiteral(std::string_view(text_).substr(partStart_))) {
    if (mark->Bad) {
      Fail(ImapReadError::BadLiteral);
      return;
    }
    if (mark->Size > limits_.Literal || mark->Size > limits_.Literals - literalBytes_) {
      Fail(ImapReadError::LiteralTooLong);
      return;
    }
    literalBytes_ += mark->Size;
    literalLeft_ = mark->Size;
    current_.LiteralEnds.push_back(text_.size());
    partStart_ = text_.size();
    current_.Literals.emplace_back();
    // Grown as the bytes come: an announced size alone reserves little.
    current_.Literals.back().reserve(std::min<std::size_t>(mark->Size, 64 * 1024));
    return;
  }
  // A blank line between responses says nothing.
  if (text_.empty() && current_.Literals.empty()) return;
  std::string_view text = text_;
  if (text.starts_with('*')) {
    current_.Kind = ImapResponseKind::Untagged;
    text.remove_prefix(1);
  } else if (text.starts_with('+')) {
    current_.Kind = ImapResponseKind::Continuation;
    text.remove_prefix(1);
  } else {
    current_.Kind = ImapResponseKind::Tagged;
    const std::size_t blank = std::min(text.find(' '), text.size());
    current_.Tag = std::string(text.substr(0, blank));
    text.remove_prefix(blank);
  }
  if (text.starts_with(' ')) text.remove_prefix(1);
  const std::size_t prefix = text_.size() - text.size();
  for (std::size_t& end : current_.LiteralEnds) end = end >= prefix ? end - prefix : 0;
  current_.Text = std::string(text);
  out.push_back(std::move(current_));
  current_ = {};
  text_.clear();
  literalBytes_ = 0;
  partStart_ = 0;
}

bool ImapTokens::Token::Nil() const { return What == Kind::Atom && EqualsNoCase(Text, "NIL"); }

std::string_view ImapTokens::Rest() {
  const std::string_view text = response_.Text;
  while (pos_ < text.size() && text[pos_] == ' ') ++pos_;
  return text.substr(pos_);
}

ImapTokens::Token ImapTokens::Next() {
  const std::string_view text = Rest();
  Token token;
  if (text.empty()) return token;
  const char first = text.front();
  if (first == '(' || first == ')') {
    ++pos_;
    token.What = first == '(' ? Kind::Open : Kind::Close;
    return token;
  }
  if (first == '"') {
    token.What = Kind::String;
    std::size_t i = 1;
    for (; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] == '\\' && i + 1 < text.size()) ++i;
      token.Text.push_back(text[i]);
    }
    pos_ += std::min(i + 1, text.size());
    return token;
  }
  std::size_t end = 0;
  while (end < text.size() && text[end] != ' ' && text[end] != '(' && text[end] != ')' &&
         text[end] != '"') {
    ++end;
  }
  if (end == 0) end = 1;
  const std::string_view word = text.substr(0, end);
  pos_ += end;
  // Marks that did not end a line (a server's text quoting one) are plain atoms.
  while (literal_ < response_.LiteralEnds.size() && response_.LiteralEnds[literal_] < pos_) {
    ++literal_;
  }
  if (literal_ < response_.LiteralEnds.size() && response_.LiteralEnds[literal_] == pos_ &&
      TrailingLiteral(word)) {
    token.What = Kind::String;
    token.Text = response_.Literals[literal_++];
    return token;
  }
  token.What = Kind::Atom;
  token.Text = std::string(word);
  return token;
}

ImapStatus ReadStatus(std::string_view text) {
  ImapStatus status;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const std::size_t blank = std::min(text.find(' '), text.size());
  for (const char c : text.substr(0, blank)) status.Word.push_back(UpperAscii(c));
  text.remove_prefix(blank);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    status.Code = std::string(text.substr(1, end - 1));
    text.remove_prefix(std::min(end + 1, text.size()));
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  status.Text = std::string(text);
  return status;
}

}  // namespace postvane
