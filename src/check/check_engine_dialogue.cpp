// The check engine's POP3 dialogue with the current mailbox's server, driven by arriving data.
#include <algorithm>
#include <string>

#include "check/check_engine.h"
#include "check/new_mail_rules.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

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
  topError_.Reset();
  topTerminator_.Reset();
  SendTop();
}

void CheckEngine::OnTopBlock(MailboxRecord& record, std::size_t oldSize) {
  std::string& buffer = headerBuffer_;
  // Every way out below ends the fetch as far as this server allows.
  const auto endFetch = [this] {
    headerFetchUnfinished_[static_cast<std::size_t>(state_.CurrentMailbox)] = false;
    SendQuit();
  };
  if (buffer.size() > headerLimit_) {
    Release(buffer);
    endFetch();
    return;
  }
  const bool error = topError_.Update(buffer, oldSize);
  const bool terminated = topTerminator_.Update(buffer, oldSize);
  if (error) {
    endFetch();
    return;
  }
  if (!terminated) return;
  ExtractHeaders(record, buffer, currentMessage_, charsets_);
  buffer.clear();
  topError_.Reset();
  topTerminator_.Reset();
  const int next = currentMessage_ + 1;
  currentMessage_ = ClampCount(next);
  if (next > record.MessageCount) {
    endFetch();
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
