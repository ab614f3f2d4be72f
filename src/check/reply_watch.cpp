// Incremental search for the completion marks of the UIDL and TOP replies.
#include "check/reply_watch.h"

namespace postvane {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::size_t FindIgnoreCase(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  if (text.size() < needle.size() || from > text.size() - needle.size()) {
    return std::string_view::npos;
  }
  const char first = LowerAscii(needle[0]);
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (LowerAscii(text[i]) != first) continue;
    std::size_t k = 1;
    while (k < needle.size() && LowerAscii(text[i + k]) == LowerAscii(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

namespace {

bool MatchesIgnoreCase(std::string_view text, std::size_t at, std::string_view needle) {
  if (at > text.size() || text.size() - at < needle.size()) return false;
  for (std::size_t k = 0; k < needle.size(); ++k) {
    if (LowerAscii(text[at + k]) != LowerAscii(needle[k])) return false;
  }
  return true;
}

// Only the places after a line feed are tried, found with a fast character search rather
// than by comparing every byte.
std::size_t FindAtLineStart(std::string_view text, std::string_view needle, std::size_t from) {
  if (from == 0 && MatchesIgnoreCase(text, 0, needle)) return 0;
  std::size_t feed = from == 0 ? 0 : from - 1;
  while ((feed = text.find('\n', feed)) != std::string_view::npos) {
    if (text.size() - (feed + 1) < needle.size()) return std::string_view::npos;
    if (MatchesIgnoreCase(text, feed + 1, needle)) return feed + 1;
    ++feed;
  }
  return std::string_view::npos;
}

}  // namespace

bool ReplyWatch::Update(std::string_view buffer, std::size_t oldSize) {
  if (found_) return true;
  // The needle may have begun in the last needle-1 bytes that were already there.
  const std::size_t overlap = needle_.empty() ? 0 : needle_.size() - 1;
  const std::size_t start = oldSize > overlap ? oldSize - overlap : 0;
  if (start >= buffer.size()) return false;
  if (rule_ == CaseRule::IgnoreCaseAtLineStart) {
    found_ = FindAtLineStart(buffer, needle_, start) != std::string_view::npos;
    return found_;
  }
  const std::size_t at = rule_ == CaseRule::Exact ? buffer.find(needle_, start)
                                                  : FindIgnoreCase(buffer, needle_, start);
  found_ = at != std::string_view::npos;
  return found_;
}

}  // namespace postvane
