// Response splitting for the watch connection.
#include "check/watch_reader.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace postvane {

namespace {

// The size of a literal announced at the end of `line` ("{12}" or "{12+}"); nothing when the
// line does not end in one.
std::optional<std::size_t> LiteralAtEnd(std::string_view line) {
  if (line.empty() || line.back() != '}') return std::nullopt;
  const std::size_t open = line.rfind('{');
  if (open == std::string_view::npos) return std::nullopt;
  std::string_view digits = line.substr(open + 1, line.size() - open - 2);
  if (!digits.empty() && digits.back() == '+') digits.remove_suffix(1);
  if (digits.empty()) return std::nullopt;
  constexpr std::size_t kSaturated = std::size_t{1} << 48;
  std::size_t size = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    // Any size past every bound is as good as the number written.
    size = std::min(size * 10 + static_cast<std::size_t>(c - '0'), kSaturated);
  }
  return size;
}

WatchResponse Classify(std::string_view line) {
  WatchResponse response;
  if (line.size() >= 2 && line[0] == '*' && line[1] == ' ') {
    response.What = WatchResponse::Kind::Untagged;
    response.Text.assign(line.substr(2));
  } else if (!line.empty() && line[0] == '+') {
    response.What = WatchResponse::Kind::Continuation;
    if (line.size() > 2) response.Text.assign(line.substr(2));
  } else {
    response.What = WatchResponse::Kind::Tagged;
    const std::size_t blank = line.find(' ');
    response.Tag.assign(line.substr(0, blank));
    if (blank != std::string_view::npos) response.Text.assign(line.substr(blank + 1));
  }
  return response;
}

}  // namespace

bool WatchReader::Feed(std::string_view bytes) {
  if (failed_) return false;
  pending_.append(bytes);
  std::size_t at = 0;
  for (;;) {
    if (literalLeft_ > 0) {
      const std::size_t skip = std::min(literalLeft_, pending_.size() - at);
      at += skip;
      literalLeft_ -= skip;
      if (literalLeft_ > 0) break;
      continue;
    }
    const std::size_t end = pending_.find('\n', at);
    const std::size_t available = (end == std::string::npos ? pending_.size() : end + 1) - at;
    if (responseSize_ + available > limit_) {
      failed_ = true;
      Clear();
      return false;
    }
    if (end == std::string::npos) break;
    std::string_view part(pending_.data() + at, end - at);
    if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
    responseSize_ += available;
    at = end + 1;
    if (const auto literal = LiteralAtEnd(part)) {
      if (responseSize_ + *literal > limit_) {
        failed_ = true;
        Clear();
        return false;
      }
      responseSize_ += *literal;
      line_.append(part.substr(0, part.rfind('{')));
      literalLeft_ = *literal;
      continue;
    }
    line_.append(part);
    ready_.push_back(Classify(line_));
    line_.clear();
    responseSize_ = 0;
  }
  pending_.erase(0, at);
  return true;
}

std::optional<WatchResponse> WatchReader::Next() {
  if (ready_.empty()) return std::nullopt;
  WatchResponse response = std::move(ready_.front());
  ready_.pop_front();
  return response;
}

void WatchReader::Clear() {
  pending_.clear();
  line_.clear();
  literalLeft_ = 0;
  responseSize_ = 0;
  ready_.clear();
}

std::vector<std::string> UpperWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string UpperWord(std::string_view text, std::size_t index) {
  std::size_t at = 0;
  for (std::size_t n = 0;; ++n) {
    while (at < text.size() && text[at] == ' ') ++at;
    const std::size_t end = std::min(text.find(' ', at), text.size());
    if (n == index) {
      std::string word(text.substr(at, end - at));
      for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return word;
    }
    if (end >= text.size()) return {};
    at = end;
  }
}

std::vector<std::string> CapabilityCode(std::string_view statusText) {
  const std::size_t open = statusText.find('[');
  if (open == std::string_view::npos) return {};
  // Only a code right after the status word counts: "OK [CAPABILITY ...] text".
  if (statusText.find_first_not_of(' ', statusText.find(' ')) != open) return {};
  const std::size_t close = statusText.find(']', open);
  if (close == std::string_view::npos) return {};
  std::vector<std::string> words = UpperWords(statusText.substr(open + 1, close - open - 1));
  if (words.empty() || words.front() != "CAPABILITY") return {};
  words.erase(words.begin());
  return words;
}

}  // namespace postvane
