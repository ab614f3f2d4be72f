// The check engine's cycle: walking the mailboxes, connecting, time-outs, socket errors, the
// end of each mailbox and of the cycle, and the receive log. The dialogue itself is the
// session's.
#include "check/check_engine.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "check/auth_method.h"
#include "check/connection_security.h"
#include "check/mail_protocol.h"
#include "check/plain_port_hint.h"
#include "text/own_text.h"
#include "text/replace_hash.h"
#include "text/string_table.h"

namespace postvane {

class CheckEngine::EventScope {
 public:
  explicit EventScope(CheckEngine& engine) : engine_(engine) { ++engine_.eventDepth_; }
  ~EventScope() {
    if (--engine_.eventDepth_ == 0) engine_.ended_.clear();
  }
  EventScope(const EventScope&) = delete;
  EventScope& operator=(const EventScope&) = delete;

 private:
  CheckEngine& engine_;
};

namespace {

const std::string kNoBytes;
const std::vector<std::string> kNoCapabilities;

}  // namespace

CheckEngine::CheckEngine(CheckState& state, Socket& socket, Timer& timeout, Timer& timerQuit,
                         Clock& clock, FileSystem& files, CycleHooks& hooks, ReceiveLogTarget log,
                         ConnectFailurePolicy connectPolicy)
    : state_(state),
      socket_(socket),
      timeout_(timeout),
      timerQuit_(timerQuit),
      clock_(clock),
      files_(files),
      hooks_(hooks),
      log_(log),
      connectPolicy_(connectPolicy) {
  socket_.SetListener(this);
  timeout_.SetTickHandler([this] { OnTimeout(); });
  timerQuit_.SetTickHandler([this] { OnQuitTimer(); });
}

CheckEngine::~CheckEngine() {
  socket_.SetListener(nullptr);
  timeout_.SetTickHandler({});
  timerQuit_.SetTickHandler({});
}

void CheckEngine::SetBufferLimits(std::size_t uidlLimit, std::size_t headerLimit) {
  uidlLimit_ = uidlLimit;
  headerLimit_ = headerLimit;
}

const std::vector<std::string>& CheckEngine::ServerCapabilities() const {
  return session_ ? session_->ServerCapabilities() : kNoCapabilities;
}

const std::string& CheckEngine::UidlBuffer() const {
  return session_ ? session_->ListingBuffer() : kNoBytes;
}

const std::string& CheckEngine::HeaderBuffer() const {
  return session_ ? session_->HeaderBuffer() : kNoBytes;
}

int16_t CheckEngine::CurrentMessage() const {
  return session_ ? session_->CurrentMessage() : int16_t{0};
}

void CheckEngine::WriteReceiveLog(int16_t stateCode, std::string_view text) {
  if (log_.Enabled == 0) return;
  // The log is a trace only: whatever goes wrong writing it must not touch the check.
  try {
    AppendReceiveLog(files_, log_.Path, FormatReceiveLogRecord(stateCode, clock_.Now(), text));
  } catch (const std::exception&) {
  }
}

MailboxRecord* CheckEngine::Current() {
  const int16_t index = state_.CurrentMailbox;
  if (index < 0 || index >= kUserMailboxes) return nullptr;
  return &state_.Mailboxes[static_cast<std::size_t>(index)];
}

const MailboxRecord* CheckEngine::Current() const {
  const int16_t index = state_.CurrentMailbox;
  if (index < 0 || index >= kUserMailboxes) return nullptr;
  return &state_.Mailboxes[static_cast<std::size_t>(index)];
}

bool CheckEngine::DialogueRunning() const {
  const MailboxRecord* record = Current();
  return record != nullptr && session_ && IsChecking(*record);
}

void CheckEngine::CloseSocket() {
  // Dropped first: anything the socket reports while closing belongs to the old connection.
  if (session_) ended_.push_back(std::move(session_));
  socket_.Close();
  if (eventDepth_ == 0) ended_.clear();
}

void CheckEngine::RaiseLocalPort() {
  const int32_t port = socket_.LocalPort();
  // Port 0 lets the system choose; past the highest port there is nothing left to try.
  if (port <= 0 || port >= kHighestPort) {
    socket_.SetLocalPort(0);
  } else {
    socket_.SetLocalPort(port + 1);
  }
}

void CheckEngine::StartCycle() {
  const EventScope scope(*this);
  CloseSocket();
  // The whole cycle checks every mailbox that was waiting for its turn.
  waiting_.clear();
  onlyMailbox_ = -1;
  cycleRunning_ = true;
  state_.CurrentMailbox = 0;
  ContinueCycle();
}

void CheckEngine::StopCycle() {
  const EventScope scope(*this);
  CloseSocket();
  timeout_.Stop();
  timerQuit_.Stop();
  cycleRunning_ = false;
  onlyMailbox_ = -1;
  waiting_.clear();
}

void CheckEngine::CheckMailboxNow(int16_t index) {
  if (index < 0 || index >= kUserMailboxes) return;
  const EventScope scope(*this);
  if (cycleRunning_) {
    // A whole cycle that has not reached the mailbox yet will check it fresh.
    const bool ahead = onlyMailbox_ < 0 && index > state_.CurrentMailbox;
    if (!ahead && std::find(waiting_.begin(), waiting_.end(), index) == waiting_.end()) {
      waiting_.push_back(index);
    }
    return;
  }
  waiting_.insert(waiting_.begin(), index);
  StartWaitingCheck();
}

bool CheckEngine::StartWaitingCheck() {
  if (cycleRunning_ || waiting_.empty()) return false;
  const int16_t index = waiting_.front();
  waiting_.erase(waiting_.begin());
  CloseSocket();
  onlyMailbox_ = index;
  cycleRunning_ = true;
  state_.CurrentMailbox = index;
  ContinueCycle();
  return true;
}

void CheckEngine::ContinueCycle() {
  const EventScope scope(*this);
  int retriesLeft = kInvalidStateRetries;
  for (;;) {
    int16_t index = state_.CurrentMailbox;
    if (index < 0 || index > kEndOfCycle) return;
    // A check of one mailbox ends right after it.
    if (onlyMailbox_ >= 0 && index > onlyMailbox_) index = kEndOfCycle;
    if (index == kEndOfCycle) {
      state_.CurrentMailbox = 0;
      cycleRunning_ = false;
      onlyMailbox_ = -1;
      hooks_.CycleEnded();
      // The hook may have started a cycle of its own; a waiting check then waits for that one.
      StartWaitingCheck();
      return;
    }
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(index)];
    if (record.Enabled == kFalse) {
      record.StatusText.clear();
      record.State = MailboxState::Idle;
      state_.CurrentMailbox = static_cast<int16_t>(index + 1);
      continue;
    }
    // A mailbox that signs in with a token needs no password (its own check follows).
    if (record.PasswordInKeyring != kFalse && record.PasswordUnknown &&
        EffectiveAuth(record.Auth) == AuthMethod::Password) {
      // Never a login without the password, and never the server's "wrong password" for it.
      record.StatusText = OwnString(state_.LanguageBase, OwnText::KeyringUnavailable);
      record.State = MailboxState::Idle;
      record.LastCheck = clock_.Now();
      hooks_.MailboxFinished(index,
                             {MailboxResult::Failed, NotCheckedReason::None, record.StatusText});
      state_.CurrentMailbox = static_cast<int16_t>(index + 1);
      continue;
    }
    if (!EffectiveSecurity(record.Security)) {
      // Fails closed before any connection: a guess at plain would send the password in clear.
      record.StatusText = OwnString(state_.LanguageBase, OwnText::UnknownSecuritySetting);
      record.State = MailboxState::Idle;
      record.LastCheck = clock_.Now();
      WriteReceiveLog(0, record.StatusText);
      hooks_.MailboxFinished(index,
                             {MailboxResult::Failed, NotCheckedReason::None, record.StatusText});
      state_.CurrentMailbox = static_cast<int16_t>(index + 1);
      continue;
    }
    std::optional<std::string> refusal;
    if (!EffectiveProtocol(record.Protocol)) {
      // A dialogue the server does not expect would carry the password to it all the same.
      refusal = OwnString(state_.LanguageBase, OwnText::UnknownProtocolSetting);
    } else {
      // Fails closed before any connection: a token never goes out in clear, and a sign-in
      // this version does not know is never guessed.
      refusal = SignInRefusal(record, state_.LanguageBase);
    }
    if (refusal) {
      record.StatusText = std::move(*refusal);
      record.State = MailboxState::Idle;
      record.LastCheck = clock_.Now();
      WriteReceiveLog(0, record.StatusText);
      hooks_.MailboxFinished(index,
                             {MailboxResult::Failed, NotCheckedReason::None, record.StatusText});
      state_.CurrentMailbox = static_cast<int16_t>(index + 1);
      continue;
    }
    socket_.SetLocalPort(kFirstLocalPort);
    socket_.SetRemoteHost(record.RemoteHost);
    socket_.SetRemotePort(record.RemotePort);
    record.State = MailboxState::Idle;
    record.LastCheck = clock_.Now();
    record.RejectedCertificate = {};
    timerQuit_.Stop();
    const ConnectOutcome outcome = ConnectMailbox();
    if (outcome == ConnectOutcome::Requested) return;
    // The socket was still open: close it and set the same mailbox up again, a few times at
    // most, since a socket that never leaves that state would otherwise spin here for ever.
    if (outcome == ConnectOutcome::InvalidState && retriesLeft-- > 0) {
      CloseSocket();
      continue;
    }
    SettleFailedConnect();
    return;
  }
}

CheckEngine::ConnectOutcome CheckEngine::ConnectMailbox() {
  MailboxRecord* record = Current();
  if (record == nullptr) return ConnectOutcome::Rests;
  for (;;) {
    lastConnectError_ = socket_.Connect();
    if (!lastConnectError_) {
      session_ = MakeMailboxSession(
          {.Record = *record,
           .Output = *this,
           .LanguageBase = state_.LanguageBase,
           .Charsets = charsets_,
           .UidlLimit = uidlLimit_,
           .HeaderLimit = headerLimit_,
           .HeaderFetchUnfinished =
               headerFetchUnfinished_[static_cast<std::size_t>(state_.CurrentMailbox)]});
      record->State = MailboxState::Connecting;
      timeout_.Start();
      return ConnectOutcome::Requested;
    }
    if (lastConnectError_.Number == kSocketInvalidState) return ConnectOutcome::InvalidState;
    // Address in use again although the system chose the port: give up like any other error.
    if (lastConnectError_.Number != kSocketAddressInUse || socket_.LocalPort() == 0) {
      return ConnectOutcome::Rests;
    }
    CloseSocket();
    RaiseLocalPort();
  }
}

void CheckEngine::SettleFailedConnect() {
  MailboxRecord* record = Current();
  if (record == nullptr) return;
  if (connectPolicy_ == ConnectFailurePolicy::RestUntilNextCycle) {
    // Until the next start nothing moves the cycle on: a check asked for meanwhile starts at once.
    cycleRunning_ = false;
    hooks_.MailboxFinished(state_.CurrentMailbox,
                           {MailboxResult::NotChecked, NotCheckedReason::ConnectRests, {}});
    return;
  }
  // The socket's own words, as for an error that arrives later.
  std::string text = lastConnectError_.Description;
  if (text.empty()) {
    text =
        ReplaceHash(OwnString(state_.LanguageBase, OwnText::SocketError), lastConnectError_.Number);
  }
  record->StatusText = text;
  record->State = MailboxState::Idle;
  WriteReceiveLog(StateCode(MailboxState::Idle), text);
  timeout_.Stop();
  CloseSocket();
  Report({MailboxResult::Failed, NotCheckedReason::None, text});
  Advance();
}

void CheckEngine::OnConnect() {
  const EventScope scope(*this);
  if (Current() == nullptr || !session_) return;
  session_->OnConnected();
}

void CheckEngine::OnDataArrival() {
  const EventScope scope(*this);
  std::string data;
  if (!socket_.GetData(data)) return;
  MailboxRecord* record = Current();
  if (record != nullptr && session_) {
    session_->OnData(data);
    return;
  }
  // Data for a connection already given up, or with no mailbox under way, is only logged.
  WriteReceiveLog(record != nullptr ? StateCode(record->State) : 0, data);
}

void CheckEngine::OnTlsHandshake(const TlsHandshake& result) {
  const EventScope scope(*this);
  if (Current() == nullptr || !session_) return;
  session_->OnHandshake(result);
}

void CheckEngine::OnTimeout() {
  const EventScope scope(*this);
  MailboxRecord* record = Current();
  const bool securing = session_ && session_->Securing();
  const bool waiting = record != nullptr && (record->State == MailboxState::Connecting ||
                                             (securing && IsChecking(*record)));
  if (!waiting || !session_) {
    // A tick left over from an abandoned cycle.
    timeout_.Stop();
    return;
  }
  if (securing) {
    session_->OnSecureTimeout();
    return;
  }
  record->StatusText = LocalString(state_.LanguageBase, StringId::MailServerNotAvailable);
  record->State = MailboxState::Idle;
  CloseSocket();
  timeout_.Stop();
  Report({MailboxResult::Failed, NotCheckedReason::None, record->StatusText});
  Advance();
}

void CheckEngine::OnQuitTimer() {
  const EventScope scope(*this);
  timerQuit_.Stop();
  // A tick left over from an abandoned cycle reaches no session.
  if (Current() == nullptr || !session_) return;
  session_->OnQuitWaitOver();
}

void CheckEngine::OnSocketError(int number, const std::string& description) {
  const EventScope scope(*this);
  if (Current() == nullptr || !session_) return;
  CloseSocket();
  if (number == kSocketAddressInUse && socket_.LocalPort() != 0) {
    timeout_.Stop();
    RaiseLocalPort();
    if (ConnectMailbox() != ConnectOutcome::Requested) SettleFailedConnect();
    return;
  }
  AbandonMailbox(WithPlainPortHint(state_.LanguageBase, *Current(), number, description));
}

void CheckEngine::OnSocketClose() {
  const EventScope scope(*this);
  MailboxRecord* record = Current();
  if (record == nullptr || !session_) return;
  const int16_t code = StateCode(record->State);
  if (code >= StateCode(MailboxState::Connected) && code <= StateCode(MailboxState::TopSent)) {
    CloseSocket();
    AbandonMailbox(OwnString(state_.LanguageBase, OwnText::ConnectionClosedByServer));
  } else if (record->State == MailboxState::QuitSent) {
    timerQuit_.Stop();
    session_->OnQuitWaitOver();
  }
}

// The failure path of a socket error: its text is the outcome of this mailbox's check.
void CheckEngine::AbandonMailbox(const std::string& description) {
  MailboxRecord* record = Current();
  if (record == nullptr) return;
  timeout_.Stop();
  record->StatusText = description;
  record->State = MailboxState::Idle;
  WriteReceiveLog(0, description);
  Report({MailboxResult::Failed, NotCheckedReason::None, description});
  Advance();
}

void CheckEngine::Report(const MailboxOutcome& outcome) {
  const int16_t index = state_.CurrentMailbox;
  if (index < 0 || index >= kUserMailboxes) return;
  hooks_.MailboxFinished(index, outcome);
}

void CheckEngine::Advance() {
  const int16_t index = state_.CurrentMailbox;
  if (index < 0 || index >= kUserMailboxes) return;
  state_.CurrentMailbox = static_cast<int16_t>(index + 1);
  ContinueCycle();
}

bool CheckEngine::Write(std::string_view bytes) {
  const MailboxSession* writer = session_.get();
  const int16_t mailbox = state_.CurrentMailbox;
  // A failed write shows up as the socket's error event, which may end this connection and
  // move the cycle on before the write returns.
  socket_.SendData(std::string(bytes));
  return writer != nullptr && session_.get() == writer && state_.CurrentMailbox == mailbox;
}

bool CheckEngine::StartTls(const TlsRequest& request) { return !socket_.StartTls(request); }

void CheckEngine::Log(int16_t code, std::string_view text) { WriteReceiveLog(code, text); }

void CheckEngine::StopConnectTimeout() { timeout_.Stop(); }

void CheckEngine::StartQuitWait() { timerQuit_.Start(); }

void CheckEngine::StopQuitWait() { timerQuit_.Stop(); }

void CheckEngine::Finish(const MailboxOutcome& outcome) {
  CloseSocket();
  Report(outcome);
  Advance();
}

}  // namespace postvane
