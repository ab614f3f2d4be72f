// The window of TOP commands in flight and the matching of replies to them.
#include "check/top_pipeline.h"

#include <algorithm>
#include <utility>

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

TopPipeline::TopPipeline(int first, int last, PipelineLimits limits)
    : next_(std::max(first, 1)),
      last_(last),
      limits_(limits),
      reader_(ReplyEnd::Status, {.Bytes = limits.ReplyBytes,
                                 .CutLong = limits.CutLongReplies,
                                 .SkippedBytes = limits.SkippedBytes}) {
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
  if (!inFlight_.empty() && (inFlight_.size() + batch > limits_.Commands ||
                             bytesInFlight_ + limits_.Bytes / 8 > limits_.Bytes)) {
    return;
  }
  while (next_ <= last_ && inFlight_.size() < limits_.Commands) {
    // No blank after the 0: servers such as Dovecot refuse "TOP n 0 " as noise after the count.
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
  reader_.Add(bytes);
  while (!inFlight_.empty()) {
    const std::optional<Reply> reply = reader_.Take();
    if (!reply) break;
    const int message = inFlight_.front().Message;
    // The head of a cut reply goes out at once; its command is answered once the rest ended.
    if (reply->What != Reply::Part::Head) PopOldest();
    if (reply->What != Reply::Part::RestEnd) {
      // A server that fails in the middle of a reply says so in its text: "-ERR" anywhere
      // refuses it.
      const bool accepted = reply->Accepted && reply->Text.find("-ERR") == std::string_view::npos;
      events.push_back({PipelineEvent::Kind::Reply, message, accepted, std::string(reply->Text),
                        reply->What == Reply::Part::Head});
      if (limits_.StopAtRefusal && !accepted) stopped_ = true;
    }
    Refill(events);
  }
  // One erase for all the replies this block completed.
  reader_.Compact();
  if (reader_.Overflowed() || (inFlight_.empty() && reader_.Held() > 0)) failed_ = true;
  return events;
}

void TopPipeline::PopOldest() {
  const Sent sent = inFlight_.front();
  inFlight_.pop_front();
  bytesInFlight_ -= sent.Bytes;
}

}  // namespace postvane
