// Watches a growing reply buffer for one fixed text without scanning it again from the start.
#pragma once

#include <cstddef>
#include <string_view>

namespace postvane {

// IgnoreCaseAtLineStart: letter case ignored, and only a needle that starts the buffer or
// follows a line feed counts (a listing's "-ERR" is its status line, never inside an entry).
enum class CaseRule { Exact, IgnoreCase, IgnoreCaseAtLineStart };

// A multi-line reply arrives block by block; each block is searched together with just
// enough of the old tail to catch the text when it is split across two blocks.
class ReplyWatch {
 public:
  // The needle must outlive the watch (string literals do).
  ReplyWatch(std::string_view needle, CaseRule rule) : needle_(needle), rule_(rule) {}

  void Reset() { found_ = false; }
  bool Found() const { return found_; }

  // buffer already holds the new bytes at its end; oldSize is its size before they came.
  bool Update(std::string_view buffer, std::size_t oldSize);

 private:
  std::string_view needle_;
  CaseRule rule_;
  bool found_ = false;
};

// Position of needle in text from `from` on, ASCII letter case ignored; npos when absent.
std::size_t FindIgnoreCase(std::string_view text, std::string_view needle, std::size_t from = 0);

}  // namespace postvane
