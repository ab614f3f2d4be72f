// Finding the end of each reply: one line, a status line and its block, or a listing.
#include "check/reply_reader.h"

#include <algorithm>

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBlockEnd = "\r\n.\r\n";

// Where a search for `mark` resumes: it may have begun in the bytes already searched.
std::size_t Resume(std::size_t scanned, std::string_view mark) {
  return scanned > mark.size() - 1 ? scanned - (mark.size() - 1) : 0;
}

}  // namespace

ReplyReader::ReplyReader(ReplyEnd end, ReplyLimits limits) : end_(end), limits_(limits) {}

void ReplyReader::Expect(ReplyEnd end, ReplyLimits limits) {
  end_ = end;
  limits_ = limits;
  std::string().swap(buffer_);
  start_ = 0;
  skipping_ = false;
  overflowed_ = false;
  delivered_ = false;
  NextReply();
}

void ReplyReader::NextReply() {
  scanned_ = 0;
  statusEnd_ = std::string_view::npos;
  skipped_ = 0;
  listingEnd_.Reset();
  listingRefusal_.Reset();
  listingLineEnd_.Reset();
}

void ReplyReader::Compact() {
  if (start_ == 0) return;
  buffer_.erase(0, start_);
  start_ = 0;
}

void ReplyReader::Add(std::string_view bytes) {
  Compact();
  buffer_.append(bytes);
  delivered_ = true;
}

std::optional<Reply> ReplyReader::Take() {
  if (overflowed_) return std::nullopt;
  if (skipping_) return SkipRest();
  const std::string_view text = std::string_view(buffer_).substr(start_);
  // Each delivery is a reply, even an empty one, which refuses.
  if (end_ == ReplyEnd::Block) return delivered_ ? Whole(text.size()) : std::nullopt;
  if (text.empty()) return std::nullopt;
  switch (end_) {
    case ReplyEnd::Block:
      break;
    case ReplyEnd::Line:
      return TakeLine(text);
    case ReplyEnd::Status:
      return TakeStatus(text);
    case ReplyEnd::Listing:
      return TakeListing(text);
  }
  return std::nullopt;
}

std::optional<Reply> ReplyReader::TakeLine(std::string_view text) {
  const std::size_t at = text.find(kLineEnd, Resume(scanned_, kLineEnd));
  if (at == std::string_view::npos) return Wait(text.size());
  return Whole(at + kLineEnd.size());
}

std::optional<Reply> ReplyReader::TakeStatus(std::string_view text) {
  if (statusEnd_ == std::string_view::npos) {
    statusEnd_ = text.find(kLineEnd, Resume(scanned_, kLineEnd));
    if (statusEnd_ == std::string_view::npos) return Wait(text.size());
  }
  if (!text.starts_with("+OK")) return Whole(statusEnd_ + kLineEnd.size());
  // The lone dot's CR LF may be the status line's own.
  const std::size_t at = text.find(kBlockEnd, std::max(statusEnd_, Resume(scanned_, kBlockEnd)));
  const std::size_t end = at == std::string_view::npos ? text.size() : at + kBlockEnd.size();
  if (limits_.CutLong && limits_.Bytes != 0 && end > limits_.Bytes) return Cut(text);
  if (at == std::string_view::npos) return Wait(text.size());
  return Whole(end);
}

std::optional<Reply> ReplyReader::TakeListing(std::string_view text) {
  // No listing can be trusted past the bound, whole or not.
  if (limits_.Bytes != 0 && text.size() > limits_.Bytes) {
    overflowed_ = true;
    return std::nullopt;
  }
  const bool ended = listingEnd_.Update(text, scanned_);
  const bool refused = listingRefusal_.Update(text, scanned_);
  const bool lineEnd = listingLineEnd_.Update(text, scanned_);
  if (!ended && !(refused && lineEnd)) return Wait(text.size());
  return Whole(text.size());
}

std::optional<Reply> ReplyReader::Cut(std::string_view text) {
  skipping_ = true;
  skipped_ = 0;
  return Reply{Reply::Part::Head, true, text.substr(0, limits_.Bytes)};
}

std::optional<Reply> ReplyReader::SkipRest() {
  const std::string_view text = std::string_view(buffer_).substr(start_);
  const std::size_t at = text.find(kBlockEnd);
  if (at == std::string_view::npos) {
    // Only the bytes that may begin the end mark are kept.
    const std::size_t dropped = text.size() - std::min(text.size(), kBlockEnd.size() - 1);
    start_ += dropped;
    skipped_ += dropped;
    // The bound counts what came past the head that was handed on.
    if (limits_.SkippedBytes != 0 && skipped_ > limits_.Bytes + limits_.SkippedBytes) {
      overflowed_ = true;
    }
    return std::nullopt;
  }
  skipping_ = false;
  start_ += at + kBlockEnd.size();
  NextReply();
  return Reply{Reply::Part::RestEnd, true, {}};
}

std::optional<Reply> ReplyReader::Whole(std::size_t length) {
  if (limits_.Bytes != 0 && length > limits_.Bytes) {
    overflowed_ = true;
    return std::nullopt;
  }
  const std::string_view text = std::string_view(buffer_).substr(start_, length);
  start_ += length;
  delivered_ = false;
  NextReply();
  return Reply{Reply::Part::Whole, text.starts_with("+OK"), text};
}

std::optional<Reply> ReplyReader::Wait(std::size_t held) {
  scanned_ = held;
  if (limits_.Bytes != 0 && held > limits_.Bytes) overflowed_ = true;
  return std::nullopt;
}

}  // namespace postvane
