// The window of TOP commands in flight and the matching of replies to them.
#include "check/top_pipeline.h"

#include <algorithm>
#include <utility>

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBlockEnd = "\r\n.\r\n";

}  // namespace

TopPipeline::TopPipeline(int first, int last, PipelineLimits limits)
    : next_(std::max(first, 1)), last_(last), limits_(limits) {
  limits_.Commands = std::max<std::size_t>(limits_.Commands, 1);
}

std::vector<PipelineEvent> TopPipeline::Start() {
  std::vector<PipelineEvent> events;
  Refill(events);
  return events;
}

void TopPipeline::Refill(std::vector<PipelineEvent>& events) {
  if (stopped_ || failed_) return;
  // An eighth of the window free: writes of several commands rather than one per reply, and
  // still nearly a full window in flight at each round trip.
  const std::size_t batch = std::max<std::size_t>(limits_.Commands / 8, 1);
  if (!inFlight_.empty() && inFlight_.size() + batch > limits_.Commands) return;
  while (next_ <= last_ && inFlight_.size() < limits_.Commands) {
    std::string line = "TOP " + std::to_string(next_) + " 0";
    line += kLineEnd;
    // One command always goes, however small the byte bound.
    if (!inFlight_.empty() && bytesInFlight_ + line.size() > limits_.Bytes) break;
    bytesInFlight_ += line.size();
    inFlight_.push_back({next_, line.size()});
    events.push_back({PipelineEvent::Kind::Command, next_, false, std::move(line)});
    ++next_;
  }
}

std::vector<PipelineEvent> TopPipeline::Feed(std::string_view bytes) {
  std::vector<PipelineEvent> events;
  if (failed_ || bytes.empty()) return events;
  if (inFlight_.empty()) {
    failed_ = true;
    return events;
  }
  pending_.append(bytes);
  std::size_t taken = 0;
  for (;;) {
    const std::size_t before = events.size();
    if (inFlight_.empty() || !TakeReply(taken, events)) break;
    // The end of a cut reply adds no event of its own.
    if (limits_.StopAtRefusal && events.size() > before && !events.back().Accepted) {
      stopped_ = true;
    }
    Refill(events);
  }
  // One erase for all the replies this block completed.
  pending_.erase(0, taken);
  if (!failed_ && inFlight_.empty() && !pending_.empty()) failed_ = true;
  if (!failed_ && limits_.ReplyBytes != 0 && pending_.size() > limits_.ReplyBytes) failed_ = true;
  return events;
}

bool TopPipeline::TakeReply(std::size_t& taken, std::vector<PipelineEvent>& events) {
  const std::string_view text = std::string_view(pending_).substr(taken);
  if (skipping_) return SkipReply(taken);
  // The status line decides the shape: "+OK" opens a block up to a lone dot, anything else
  // is one line.
  const std::size_t statusEnd = text.find(kLineEnd);
  if (statusEnd == std::string_view::npos) {
    scanned_ = text.size();
    return false;
  }
  std::size_t end = 0;
  const bool accepted = text.starts_with("+OK");
  if (accepted) {
    // The dot line's CR LF may have begun in the bytes already searched.
    const std::size_t from = std::max(scanned_, kBlockEnd.size() - 1) - (kBlockEnd.size() - 1);
    const std::size_t at = text.find(kBlockEnd, std::max(from, statusEnd));
    end = at == std::string_view::npos ? text.size() : at + kBlockEnd.size();
    if (limits_.CutLongReplies && limits_.ReplyBytes != 0 && end > limits_.ReplyBytes) {
      return CutReply(taken, at != std::string_view::npos ? end : std::string_view::npos, events);
    }
    if (at == std::string_view::npos) {
      scanned_ = text.size();
      return false;
    }
  } else {
    end = statusEnd + kLineEnd.size();
  }
  if (limits_.ReplyBytes != 0 && end > limits_.ReplyBytes) {
    failed_ = true;
    return false;
  }
  const int message = inFlight_.front().Message;
  PopOldest();
  events.push_back(
      {PipelineEvent::Kind::Reply, message, accepted, std::string(text.substr(0, end))});
  taken += end;
  scanned_ = 0;
  return true;
}

bool TopPipeline::CutReply(std::size_t& taken, std::size_t end,
                           std::vector<PipelineEvent>& events) {
  const std::string_view text = std::string_view(pending_).substr(taken);
  events.push_back({PipelineEvent::Kind::Reply, inFlight_.front().Message, true,
                    std::string(text.substr(0, limits_.ReplyBytes)), true});
  if (end != std::string_view::npos) {
    PopOldest();
    taken += end;
    scanned_ = 0;
    return true;
  }
  skipping_ = true;
  skipped_ = 0;
  scanned_ = 0;
  return SkipReply(taken);
}

bool TopPipeline::SkipReply(std::size_t& taken) {
  const std::string_view text = std::string_view(pending_).substr(taken);
  const std::size_t at = text.find(kBlockEnd);
  if (at == std::string_view::npos) {
    // Only the bytes that may begin the end mark are kept.
    const std::size_t dropped = text.size() - std::min(text.size(), kBlockEnd.size() - 1);
    taken += dropped;
    skipped_ += dropped;
    if (limits_.SkippedBytes != 0 && skipped_ > limits_.SkippedBytes) failed_ = true;
    return false;
  }
  skipping_ = false;
  PopOldest();
  taken += at + kBlockEnd.size();
  scanned_ = 0;
  return true;
}

void TopPipeline::PopOldest() {
  const Sent sent = inFlight_.front();
  inFlight_.erase(inFlight_.begin());
  bytesInFlight_ -= sent.Bytes;
}

}  // namespace postvane
