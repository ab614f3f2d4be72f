// Where each reply of a POP3 server ends, read from the bytes as they arrive, within a bound.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "check/reply_watch.h"

namespace postvane {

// How the end of the next reply is found.
enum class ReplyEnd {
  // Whatever one delivery holds is the whole reply: the greeting and the one-line replies of
  // the login steps are decided by their first block.
  Block,
  // One line, whole at its CR LF.
  Line,
  // The status line decides: "+OK" opens a block that ends at a lone dot, anything else is
  // one line.
  Status,
  // A listing: a block up to a lone dot, or a refusal once "-ERR" in any letter case begins a
  // line and a line end came. The reply is everything that arrived for it.
  Listing,
};

struct ReplyLimits {
  std::size_t Bytes = 0;  // longest reply held (0: no bound)
  // A "+OK" block past Bytes is handed on as its first Bytes bytes (Reply::Part::Head) and
  // the rest of it is skipped rather than ending the read.
  bool CutLong = false;
  std::size_t SkippedBytes = 0;  // longest rest of a cut reply that is skipped (0: no bound)
};

struct Reply {
  enum class Part {
    Whole,
    Head,     // the first Bytes bytes of a longer block; its rest is skipped next
    RestEnd,  // the rest of a cut block has ended; Text is empty
  };
  Part What = Part::Whole;
  bool Accepted = false;  // the reply begins with "+OK"
  // Valid until the next Add, Compact or Expect.
  std::string_view Text;
};

// Replies are read strictly one after another; each Take searches only the bytes that
// arrived since the last one, so a reply that comes in many blocks costs no rescans.
class ReplyReader {
 public:
  explicit ReplyReader(ReplyEnd end = ReplyEnd::Block, ReplyLimits limits = {});

  // A new command in lock step: what is left of earlier replies is dropped with its memory.
  void Expect(ReplyEnd end, ReplyLimits limits = {});
  void Add(std::string_view bytes);
  // The next reply once it is whole (or the head of a cut one); none while it is not, or after
  // Overflowed().
  std::optional<Reply> Take();
  // Forgets the bytes of the replies taken so far (Add does it too).
  void Compact();

  // A reply passed the bound and was not cut, or the rest of a cut reply passed SkippedBytes.
  bool Overflowed() const { return overflowed_; }
  // Bytes held that belong to no reply taken yet.
  std::size_t Held() const { return buffer_.size() - start_; }
  // The bytes held, for tests and invariants.
  const std::string& Buffer() const { return buffer_; }

 private:
  std::optional<Reply> TakeLine(std::string_view text);
  std::optional<Reply> TakeStatus(std::string_view text);
  std::optional<Reply> TakeListing(std::string_view text);
  std::optional<Reply> Cut(std::string_view text);
  std::optional<Reply> SkipRest();
  // The first `length` bytes of what is held make the reply.
  std::optional<Reply> Whole(std::size_t length);
  // Nothing whole yet: the next Take searches on from the end of `held` bytes.
  std::optional<Reply> Wait(std::size_t held);
  void NextReply();

  ReplyEnd end_;
  bool delivered_ = false;  // bytes came since the last reply was taken
  ReplyLimits limits_;
  std::string buffer_;
  std::size_t start_ = 0;                           // where the current reply begins
  std::size_t scanned_ = 0;                         // bytes of it already searched
  std::size_t statusEnd_ = std::string_view::npos;  // its status line's CR LF, once found
  bool skipping_ = false;                           // it was cut: its rest is read up to its end
  std::size_t skipped_ = 0;
  bool overflowed_ = false;
  // The listing's marks, which may arrive in any order and in separate blocks.
  ReplyWatch listingEnd_{"\r\n.\r\n", CaseRule::Exact};
  ReplyWatch listingRefusal_{"-ERR", CaseRule::IgnoreCaseAtLineStart};
  ReplyWatch listingLineEnd_{"\r\n", CaseRule::Exact};
};

}  // namespace postvane
