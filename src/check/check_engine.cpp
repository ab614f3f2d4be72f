// The check engine's cycle: walking the mailboxes, connecting, time-out, socket errors, the
// end of each mailbox and of the cycle, and the receive log.
#include "check/check_engine.h"

#include <exception>
#include <string>

#include "check/plain_port_hint.h"
#include "check/secure_failure_text.h"
#include "text/own_text.h"
#include "text/replace_hash.h"
#include "text/string_table.h"

namespace postvane {

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
  return record != nullptr && socketInUse_ && IsChecking(*record);
}

void CheckEngine::CloseSocket() {
  // Cleared first: anything the socket reports while closing belongs to the old connection.
  socketInUse_ = false;
  secure_.Begin(SecurityMode::None);
  // A window cut off here is fetched again next time; its partial reply is of no use.
  pipeline_.reset();
  socket_.Close();
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

void CheckEngine::mnuCheckNow_Click() {
  CloseSocket();
  state_.CurrentMailbox = 0;
  CheckNow();
}

void CheckEngine::StopCycle() {
  CloseSocket();
  timeout_.Stop();
  timerQuit_.Stop();
}

void CheckEngine::CheckNow() {
  int retriesLeft = kInvalidStateRetries;
  for (;;) {
    const int16_t index = state_.CurrentMailbox;
    if (index < 0 || index > kEndOfCycle) return;
    if (index == kEndOfCycle) {
      state_.CurrentMailbox = 0;
      hooks_.CycleEnded();
      return;
    }
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(index)];
    if (record.Enabled == kFalse) {
      record.StatusText.clear();
      record.State = MailboxState::Idle;
      state_.CurrentMailbox = static_cast<int16_t>(index + 1);
      continue;
    }
    if (record.PasswordInKeyring != kFalse && record.PasswordUnknown) {
      // Never a login without the password, and never the server's "wrong password" for it.
      record.StatusText = OwnString(state_.LanguageBase, OwnText::KeyringUnavailable);
      record.State = MailboxState::Idle;
      record.LastCheck = clock_.Now();
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
      socketInUse_ = true;
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
  MailboxRecord* record = Current();
  if (record == nullptr || !socketInUse_ || record->State != MailboxState::Connecting) return;
  const SecurityMode mode = EffectiveSecurity(record->Security);
  secure_.Begin(mode);
  if (mode == SecurityMode::Tls) {
    StartHandshake(*record);
    return;
  }
  // For a secure mailbox the time-out runs on until the connection is secure: a server that
  // stalls before that (or speaks TLS where we wait for a greeting) is as good as absent.
  if (mode == SecurityMode::None) timeout_.Stop();
  record->State = MailboxState::Connected;
}

void CheckEngine::StartHandshake(MailboxRecord& record) {
  const SocketError error =
      socket_.StartTls({record.RemoteHost, NormalizeFingerprint(record.CertFingerprint)});
  // Bytes waiting unread when the handshake should begin came from someone else.
  if (error) FailSecure(record, SecureFailure::Injection);
}

void CheckEngine::OnTlsHandshake(const TlsHandshake& result) {
  MailboxRecord* record = Current();
  if (record == nullptr || !socketInUse_ || !secure_.Handshaking()) return;
  WriteReceiveLog(StateCode(record->State), HandshakeLogText(result));
  if (IsCertificateFailure(result.Failure)) record->RejectedCertificate = result.Certificate;
  ApplySecure(*record, secure_.OnHandshake(result));
}

void CheckEngine::ApplySecure(MailboxRecord& record, const SecureStart::Action& action) {
  using Kind = SecureStart::Action::Kind;
  switch (action.What) {
    case Kind::Wait:
      break;
    case Kind::Send:
      Send(action.Line, action.Line);
      break;
    case Kind::StartTls:
      StartHandshake(record);
      break;
    case Kind::Greeted:
      timeout_.Stop();
      record.State = MailboxState::Connected;
      break;
    case Kind::Login:
      timeout_.Stop();
      SendUser(record);
      break;
    case Kind::Fail:
      FailSecure(record, action.Failure);
      break;
  }
}

void CheckEngine::FailSecure(MailboxRecord& record, SecureFailure failure) {
  timeout_.Stop();
  record.StatusText = SecureFailureText(state_.LanguageBase, failure, record.RejectedCertificate);
  WriteReceiveLog(0, record.StatusText);
  EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record.StatusText});
}

void CheckEngine::OnTimeout() {
  MailboxRecord* record = Current();
  const bool waiting = record != nullptr && (record->State == MailboxState::Connecting ||
                                             (secure_.Active() && IsChecking(*record)));
  if (!waiting || !socketInUse_) {
    // A tick left over from an abandoned cycle.
    timeout_.Stop();
    return;
  }
  if (secure_.Active()) {
    FailSecure(*record, SecureFailure::Handshake);
    return;
  }
  record->StatusText = LocalString(state_.LanguageBase, StringId::MailServerNotAvailable);
  record->State = MailboxState::Idle;
  CloseSocket();
  timeout_.Stop();
  Report({MailboxResult::Failed, NotCheckedReason::None, record->StatusText});
  Advance();
}

void CheckEngine::OnSocketError(int number, const std::string& description) {
  if (Current() == nullptr || !socketInUse_) return;
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
  MailboxRecord* record = Current();
  if (record == nullptr || !socketInUse_) return;
  const int16_t code = StateCode(record->State);
  if (code >= StateCode(MailboxState::Connected) && code <= StateCode(MailboxState::TopSent)) {
    CloseSocket();
    AbandonMailbox(OwnString(state_.LanguageBase, OwnText::ConnectionClosedByServer));
  } else if (record->State == MailboxState::QuitSent) {
    timerQuit_.Stop();
    FinishCounted();
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

void CheckEngine::FinishCounted() {
  CloseSocket();
  const MailboxRecord* record = Current();
  if (record != nullptr) {
    Report({record->NewCount > 0 ? MailboxResult::NewMail : MailboxResult::NoNewMail,
            NotCheckedReason::None,
            {}});
  }
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
  CheckNow();
}

}  // namespace postvane
