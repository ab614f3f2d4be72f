// Header fetch with the TOP commands sent ahead of their replies, for servers that list
// PIPELINING in their CAPA reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "check/reply_reader.h"

namespace postvane {

// One step of the pipelined fetch in the order it crosses the wire: a command the caller
// writes, or a whole reply to the oldest command still in flight.
struct PipelineEvent {
  enum class Kind { Command, Reply };
  Kind What = Kind::Command;
  int Message = 0;  // the message number the command asks for
  // Reply: "+OK" with its header block and no "-ERR" in what is read of it; otherwise a
  // refusal.
  bool Accepted = false;
  std::string Text;  // Command: the line with CR LF; Reply: the reply as it came
  bool Cut = false;  // Reply: Text is its first ReplyBytes bytes, the rest was skipped
};

// No bound on the number of commands in flight: the window is sized by bytes alone.
inline constexpr std::size_t kAnyCommandCount = std::numeric_limits<std::size_t>::max();

struct PipelineLimits {
  // Commands in flight at most; a window of one is lock step.
  std::size_t Commands = kAnyCommandCount;
  // Bytes of commands in flight at most. A server reads pipelined commands as a stream; what
  // it has not read yet waits in its socket buffer, and this keeps within what one holds, so
  // 2,000 TOP commands take two writes rather than dozens of round trips.
  std::size_t Bytes = 16 * 1024;
  std::size_t ReplyBytes = 0;  // longest reply taken (0: no bound)
  bool StopAtRefusal = false;  // a refused command sends no more (as StopSending)
  // A "+OK" reply past ReplyBytes is handed on cut (PipelineEvent::Cut) and the rest of it is
  // skipped, rather than ending the fetch.
  bool CutLongReplies = false;
  std::size_t SkippedBytes = 0;  // longest rest of a cut reply skipped (0: no bound)
};

// "TOP n 0" for messages first..last. The window is refilled once an eighth of it (in commands
// and in bytes) has been answered, so that commands go out in writes of several rather than one per
// reply. Replies are matched to commands strictly in order; only the bytes that arrived since the
// last call are searched for the end of a reply.
class TopPipeline {
 public:
  TopPipeline(int first, int last, PipelineLimits limits = {});

  // The first window of commands.
  std::vector<PipelineEvent> Start();
  // New bytes from the server: the replies they complete, each followed by the commands that
  // refill the window, in wire order. After Failed() nothing more is taken.
  std::vector<PipelineEvent> Feed(std::string_view bytes);
  // Sends no more commands; the replies to those in flight are still matched.
  void StopSending() { stopped_ = true; }

  // Every command sent has had its reply, and none is left to send.
  bool Done() const { return inFlight_.empty() && (stopped_ || next_ > last_); }
  // A reply outgrew ReplyBytes (and was not cut) or its rest outgrew SkippedBytes, or bytes
  // came with no command in flight.
  bool Failed() const { return failed_; }
  std::size_t CommandsInFlight() const { return inFlight_.size(); }
  std::size_t BytesInFlight() const { return bytesInFlight_; }
  // Bytes of a reply not complete yet that are held.
  std::size_t PendingBytes() const { return reader_.Held(); }
  const std::string& PendingBuffer() const { return reader_.Buffer(); }

 private:
  struct Sent {
    int Message;
    std::size_t Bytes;
  };

  void Refill(std::vector<PipelineEvent>& events);
  void PopOldest();

  int next_;
  int last_;
  PipelineLimits limits_;
  std::deque<Sent> inFlight_;  // oldest first
  std::size_t bytesInFlight_ = 0;
  ReplyReader reader_;
  bool stopped_ = false;
  bool failed_ = false;
};

}  // namespace postvane
