// Splits what an IMAP server sends on the watch connection into whole responses, skipping
// literals, with a bound on every response so that no server can make it grow without end.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postvane {

// Far above any response the watch expects (capabilities, EXAMINE, untagged news).
inline constexpr std::size_t kWatchResponseLimit = std::size_t{256} * 1024;

struct WatchResponse {
  enum class Kind { Untagged, Continuation, Tagged };
  Kind What = Kind::Untagged;
  std::string Tag;   // Tagged only
  std::string Text;  // after "* ", "+ " or the tag and its blank; literals left out
};

class WatchReader {
 public:
  explicit WatchReader(std::size_t limit = kWatchResponseLimit) : limit_(limit) {}

  // Takes the bytes as they arrived. False once a response passed the limit: the connection
  // is not to be trusted any more, and nothing more is read.
  bool Feed(std::string_view bytes);
  // The oldest whole response not taken yet.
  std::optional<WatchResponse> Next();
  // Something arrived that was not taken yet, whole or not.
  bool HasUnread() const {
    return !ready_.empty() || !pending_.empty() || !line_.empty() || literalLeft_ != 0;
  }
  void Clear();

 private:
  std::size_t limit_;
  std::string pending_;
  std::string line_;
  std::size_t literalLeft_ = 0;
  // Bytes of the response being read, skipped literals included.
  std::size_t responseSize_ = 0;
  bool failed_ = false;
  std::deque<WatchResponse> ready_;
};

// The first word of `text` in upper case ("OK", "EXISTS" after a number is the second word).
std::string UpperWord(std::string_view text, std::size_t index = 0);
// The words inside "[CAPABILITY ...]" at the start of a status text, upper case; empty
// when there is none.
std::vector<std::string> CapabilityCode(std::string_view statusText);
// The words of a CAPABILITY response's text, upper case.
std::vector<std::string> UpperWords(std::string_view text);

}  // namespace postvane
