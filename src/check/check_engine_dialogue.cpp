// The check engine's POP3 dialogue with the current mailbox's server, driven by arriving data.
#include <algorithm>
#include <string>
#include <utility>

#include "check/check_engine.h"
#include "check/connection_security.h"
#include "check/header_block.h"
#include "check/new_mail_rules.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Bytes of a skipped reply kept so that its end mark is found across two blocks.
constexpr std::size_t kEndMarkTail = 4;

bool Accepted(std::string_view reply) { return reply.starts_with("+OK"); }

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

int16_t ClampCount(int value) { return static_cast<int16_t>(std::clamp(value, 0, 32767)); }

// Empties a buffer and gives its memory back: a listing may have grown it to megabytes.
void Release(std::string& buffer) { std::string().swap(buffer); }

}  // namespace

void CheckEngine::OnDataArrival() {
  MailboxRecord* current = Current();
  if (current != nullptr && socketInUse_ &&
      (current->State == MailboxState::UidlSent || current->State == MailboxState::TopSent)) {
    if (current->State == MailboxState::TopSent && pipeline_) {
      OnPipelinedData(*current);
      return;
    }
    OnCollectedBlock(*current);
    return;
  }
  std::string data;
  if (!socket_.GetData(data)) return;
  MailboxRecord* record = Current();
  WriteReceiveLog(record != nullptr ? StateCode(record->State) : 0, data);
  // Data for a connection already given up, or with no mailbox under way, is only logged.
  if (record == nullptr || !socketInUse_) return;
  switch (record->State) {
    case MailboxState::Connected:
      if (secure_.Active()) {
        ApplySecure(*record, secure_.OnData(data));
      } else {
        OnGreeting(*record, data);
      }
      break;
    case MailboxState::UserSent:
      OnUserReply(*record, data);
      break;
    case MailboxState::PassSent:
      OnPassReply(*record, data);
      break;
    case MailboxState::StatSent:
      OnStatReply(*record, data);
      break;
    case MailboxState::LastSent:
      OnLastReply(*record, data);
      break;
    case MailboxState::QuitSent:
      OnQuitReply(data);
      break;
    default:
      break;
  }
}

void CheckEngine::OnGreeting(MailboxRecord& record, const std::string& reply) {
  if (!Accepted(reply)) {
    FailWith(StringId::MailServerNotReady);
    return;
  }
  // Over TLS from the first byte, CAPA tells whether the TOP commands may be pipelined.
  if (EffectiveSecurity(record.Security) == SecurityMode::Tls) {
    ApplySecure(record, secure_.AskCapabilities());
    return;
  }
  SendUser(record);
}

void CheckEngine::SendUser(MailboxRecord& record) {
  record.State = MailboxState::UserSent;
  const std::string line = "USER " + record.User;
  Send(line, line);
}

void CheckEngine::OnUserReply(MailboxRecord& record, const std::string& reply) {
  if (Accepted(reply)) {
    record.State = MailboxState::PassSent;
    Send("PASS " + record.Password, "PASS xxxxx");
    return;
  }
  // A locked maildrop is no unknown user: the previous outcome stays on show.
  if (Contains(reply, "lock")) {
    EndLocked(record);
    return;
  }
  FailWith(StringId::UserNameUnknown);
}

void CheckEngine::OnPassReply(MailboxRecord& record, const std::string& reply) {
  if (Accepted(reply)) {
    record.State = MailboxState::StatSent;
    Send("STAT", "STAT");
    return;
  }
  // Servers report a maildrop held by another session in the reply to PASS; the password
  // was fine, so this ends the check the way a locked reply to USER does.
  if (Contains(reply, "lock") || Contains(reply, "[IN-USE]")) {
    EndLocked(record);
    return;
  }
  FailWith(StringId::PasswordWrong);
}

void CheckEngine::OnStatReply(MailboxRecord& record, const std::string& reply) {
  if (!Accepted(reply)) {
    FailWith(StringId::NoStatCommand);
    return;
  }
  record.State = MailboxState::LastSent;
  UpdateNewCountFromStat(record, reply);
  Send("LAST", "LAST");
}

void CheckEngine::OnLastReply(MailboxRecord& record, const std::string& reply) {
  // A server without LAST is no failure; -1 tells the rules to ignore it.
  record.LastAccessed =
      Accepted(reply) ? ReadReplyNumber(std::string_view(reply).substr(3)) : int16_t{-1};
  record.State = MailboxState::UidlSent;
  Release(uidlBuffer_);
  uidlTerminator_.Reset();
  uidlError_.Reset();
  uidlLineEnd_.Reset();
  Send("UIDL", "UIDL");
}

// A listing or header block goes straight onto the end of its buffer, and only the new bytes
// are logged and searched.
void CheckEngine::OnCollectedBlock(MailboxRecord& record) {
  const bool listing = record.State == MailboxState::UidlSent;
  std::string& buffer = listing ? uidlBuffer_ : headerBuffer_;
  const std::size_t oldSize = buffer.size();
  if (!socket_.AppendData(buffer)) {
    buffer.resize(oldSize);
    return;
  }
  WriteReceiveLog(StateCode(record.State), std::string_view(buffer).substr(oldSize));
  if (listing) {
    OnUidlBlock(record, oldSize);
  } else {
    OnTopBlock(record, oldSize);
  }
}

void CheckEngine::OnUidlBlock(MailboxRecord& record, std::size_t oldSize) {
  std::string& buffer = uidlBuffer_;
  if (buffer.size() > uidlLimit_) {
    // No listing can be trusted past the bound: the counts rest on STAT, as after "-ERR".
    Release(buffer);
    FinishNewCount(record);
    DecideHeaders(record);
    return;
  }
  const bool terminated = uidlTerminator_.Update(buffer, oldSize);
  const bool error = uidlError_.Update(buffer, oldSize);
  const bool lineEnd = uidlLineEnd_.Update(buffer, oldSize);
  if (!terminated && !(error && lineEnd)) return;
  EvaluateUidlListing(record, buffer);
  FinishNewCount(record);
  DecideHeaders(record);
}

void CheckEngine::DecideHeaders(MailboxRecord& record) {
  // The same count as at the last fetch keeps the headers from then, unless that fetch was
  // cut off (new cycle, error, close) before it ended: its missing headers are fetched now.
  bool& unfinished = headerFetchUnfinished_[static_cast<std::size_t>(state_.CurrentMailbox)];
  if (record.NewCount <= 0 || (record.NewCount == HeadersUpperBound(record) && !unfinished)) {
    SendQuit();
    return;
  }
  unfinished = true;
  currentMessage_ = ClampCount(record.MessageCount - record.NewCount + 1);
  record.Headers.assign(static_cast<std::size_t>(record.NewCount) + 1, MessageHeader{});
  record.State = MailboxState::TopSent;
  Release(headerBuffer_);
  topCut_ = false;
  topError_.Reset();
  topTerminator_.Reset();
  pipeline_.reset();
  pipelineEnding_ = false;
  if (ServerPipelines()) {
    pipeline_.emplace(currentMessage_, record.MessageCount,
                      PipelineLimits{.ReplyBytes = headerLimit_,
                                     .StopAtRefusal = true,
                                     .CutLongReplies = true,
                                     .SkippedBytes = kSkippedReplyFactor * headerLimit_});
    ApplyPipelineEvents(record, pipeline_->Start());
    return;
  }
  SendTop();
}

bool CheckEngine::ServerPipelines() const {
  const std::vector<std::string>& keywords = secure_.Capabilities();
  return std::find(keywords.begin(), keywords.end(), "PIPELINING") != keywords.end();
}

void CheckEngine::EndHeaderFetch() {
  headerFetchUnfinished_[static_cast<std::size_t>(state_.CurrentMailbox)] = false;
  SendQuit();
}

void CheckEngine::OnPipelinedData(MailboxRecord& record) {
  std::string data;
  if (!socket_.GetData(data)) return;
  std::vector<PipelineEvent> events = pipeline_->Feed(data);
  // A reply past the bound, or bytes nobody asked for: logged as they came, and the fetch ends.
  if (pipeline_->Failed()) WriteReceiveLog(StateCode(record.State), data);
  ApplyPipelineEvents(record, events);
}

// Replies are logged and read in order; the commands that refill the window go out in one
// write, and each is logged as one record.
void CheckEngine::ApplyPipelineEvents(MailboxRecord& record,
                                      const std::vector<PipelineEvent>& events) {
  const int16_t mailbox = state_.CurrentMailbox;
  const int16_t stateCode = StateCode(record.State);
  std::string commands;
  for (const PipelineEvent& event : events) {
    // Every command the window let out is written, so that its reply is expected.
    if (event.What == PipelineEvent::Kind::Command) {
      commands += event.Text;
      WriteReceiveLog(stateCode, std::string_view(event.Text).substr(0, event.Text.size() - 2));
      continue;
    }
    WriteReceiveLog(stateCode, event.Text);
    if (pipelineEnding_) continue;
    // A reply past the bound counts with the header lines that fit whole in what is kept.
    const std::string_view reply =
        event.Cut ? LeadingHeaderLines(event.Text, std::min(kKeptHeaderBytes, headerLimit_))
                  : std::string_view(event.Text);
    // As for one TOP at a time: "-ERR" anywhere in a reply ends the fetch.
    if (!event.Accepted || Contains(reply, "-ERR")) {
      pipelineEnding_ = true;
      pipeline_->StopSending();
      headerFetchUnfinished_[static_cast<std::size_t>(mailbox)] = false;
      continue;
    }
    ExtractHeaders(record, reply, ClampCount(event.Message), charsets_);
    currentMessage_ = ClampCount(event.Message + 1);
  }
  if (!commands.empty()) {
    socket_.SendData(commands);
    // An error event raised during the write may already have moved the cycle on.
    if (!socketInUse_ || state_.CurrentMailbox != mailbox) return;
  }
  if (pipeline_->Failed() || pipeline_->Done()) {
    pipeline_.reset();
    EndHeaderFetch();
  }
}

void CheckEngine::OnTopBlock(MailboxRecord& record, std::size_t oldSize) {
  std::string& buffer = headerBuffer_;
  if (topCut_) {
    // Skipping the rest of a reply whose headers were cut: only its end matters, and only the
    // bytes that may hold the start of that end are kept.
    if (topTerminator_.Update(buffer, oldSize)) {
      NextTop(record);
      return;
    }
    topSkipped_ += buffer.size() - oldSize;
    if (topSkipped_ > kSkippedReplyFactor * headerLimit_) {
      Release(buffer);
      EndHeaderFetch();
      return;
    }
    if (buffer.size() > kEndMarkTail) buffer.erase(0, buffer.size() - kEndMarkTail);
    return;
  }
  if (buffer.size() > headerLimit_) {
    // A refusal that long is no header block: the fetch ends there.
    if (!buffer.starts_with("+OK")) {
      Release(buffer);
      EndHeaderFetch();
      return;
    }
    // One message with a huge header block: what fits of it is shown, the rest of its reply
    // is skipped, and the next message is fetched as usual.
    const bool terminated = topTerminator_.Update(buffer, oldSize);
    ExtractHeaders(record, LeadingHeaderLines(buffer, std::min(kKeptHeaderBytes, headerLimit_)),
                   currentMessage_, charsets_);
    if (terminated) {
      NextTop(record);
      return;
    }
    // The end of the reply may begin in the last bytes; the memory goes back.
    std::string tail = buffer.substr(buffer.size() - kEndMarkTail);
    Release(buffer);
    buffer = std::move(tail);
    topCut_ = true;
    topSkipped_ = 0;
    return;
  }
  const bool error = topError_.Update(buffer, oldSize);
  const bool terminated = topTerminator_.Update(buffer, oldSize);
  if (error) {
    EndHeaderFetch();
    return;
  }
  if (!terminated) return;
  ExtractHeaders(record, buffer, currentMessage_, charsets_);
  NextTop(record);
}

void CheckEngine::NextTop(MailboxRecord& record) {
  headerBuffer_.clear();
  topCut_ = false;
  topError_.Reset();
  topTerminator_.Reset();
  const int next = currentMessage_ + 1;
  currentMessage_ = ClampCount(next);
  if (next > record.MessageCount) {
    EndHeaderFetch();
    return;
  }
  SendTop();
}

void CheckEngine::OnQuitReply(const std::string& reply) {
  MailboxRecord* record = Current();
  timerQuit_.Stop();
  if (record != nullptr && Accepted(reply)) record->StatusText.clear();
  FinishCounted();
}

void CheckEngine::OnQuitTimer() {
  timerQuit_.Stop();
  const MailboxRecord* record = Current();
  // A tick left over from an abandoned cycle.
  if (record == nullptr || !socketInUse_ || record->State != MailboxState::QuitSent) return;
  FinishCounted();
}

bool CheckEngine::Send(const std::string& line, std::string_view logText) {
  const int16_t mailbox = state_.CurrentMailbox;
  const MailboxRecord* record = Current();
  const int16_t stateCode = record != nullptr ? StateCode(record->State) : 0;
  // One write per command. A failed write shows up as the socket's error event.
  socket_.SendData(line + std::string(kLineEnd));
  WriteReceiveLog(stateCode, logText);
  // An error event raised during the write may already have moved the cycle on.
  return socketInUse_ && state_.CurrentMailbox == mailbox;
}

void CheckEngine::SendTop() {
  // No blank after the 0: servers such as Dovecot refuse "TOP n 0 " as noise after the count.
  const std::string line = "TOP " + std::to_string(currentMessage_) + " 0";
  Send(line, line);
}

void CheckEngine::SendQuit() {
  MailboxRecord* record = Current();
  if (record != nullptr) record->State = MailboxState::QuitSent;
  if (Send("QUIT", "QUIT")) timerQuit_.Start();
}

void CheckEngine::FailWith(StringId id) {
  MailboxRecord* record = Current();
  if (record == nullptr) return;
  record->StatusText = LocalString(state_.LanguageBase, id);
  EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record->StatusText});
}

// The counts stay as the last check left them, since another client is reading the mail; the
// check-result line says why they were not renewed until a check gets through again.
void CheckEngine::EndLocked(MailboxRecord& record) {
  record.StatusText = OwnString(state_.LanguageBase, OwnText::MailboxInUse);
  EndMailbox({MailboxResult::NotChecked, NotCheckedReason::MaildropLocked, record.StatusText});
}

void CheckEngine::EndMailbox(const MailboxOutcome& outcome) {
  MailboxRecord* record = Current();
  if (record != nullptr) record->State = MailboxState::Idle;
  CloseSocket();
  Report(outcome);
  Advance();
}

}  // namespace postvane
