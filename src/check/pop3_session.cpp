// The POP3 dialogue, driven by the connection's events; what it does to the world goes through
// the session's output.
#include "check/pop3_session.h"

#include <algorithm>
#include <string>
#include <utility>

#include "check/auth_method.h"
#include "check/connection_security.h"
#include "check/header_block.h"
#include "check/new_mail_rules.h"
#include "check/secure_failure_text.h"
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

std::unique_ptr<MailboxSession> MakeMailboxSession(const SessionSetup& setup) {
  return std::make_unique<Pop3Session>(setup);
}

Pop3Session::Pop3Session(const SessionSetup& setup)
    : record_(setup.Record),
      out_(setup.Output),
      languageBase_(setup.LanguageBase),
      charsets_(setup.Charsets),
      uidlLimit_(setup.UidlLimit),
      headerLimit_(setup.HeaderLimit),
      headerFetchUnfinished_(setup.HeaderFetchUnfinished) {}

MailboxState Pop3Session::Shown(Step step) {
  switch (step) {
    case Step::Connecting:
      return MailboxState::Connecting;
    case Step::Greeting:
      return MailboxState::Connected;
    case Step::User:
      return MailboxState::UserSent;
    case Step::Pass:
    case Step::Auth:
      return MailboxState::PassSent;
    case Step::Stat:
      return MailboxState::StatSent;
    case Step::Last:
      return MailboxState::LastSent;
    case Step::Uidl:
      return MailboxState::UidlSent;
    case Step::Top:
      return MailboxState::TopSent;
    case Step::Quit:
      return MailboxState::QuitSent;
    case Step::Ended:
      break;
  }
  return MailboxState::Idle;
}

void Pop3Session::Enter(Step step) {
  step_ = step;
  record_.State = Shown(step);
}

void Pop3Session::OnConnected() {
  if (step_ != Step::Connecting) return;
  const std::optional<SecurityMode> known = EffectiveSecurity(record_.Security);
  if (!known) {
    out_.StopConnectTimeout();
    record_.StatusText = OwnString(languageBase_, OwnText::UnknownSecuritySetting);
    EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record_.StatusText});
    return;
  }
  const SecurityMode mode = *known;
  secure_.Begin(mode);
  if (mode == SecurityMode::Tls) {
    StartHandshake();
    return;
  }
  // For a secure mailbox the time-out runs on until the connection is secure: a server that
  // stalls before that (or speaks TLS where we wait for a greeting) is as good as absent.
  if (mode == SecurityMode::None) out_.StopConnectTimeout();
  Enter(Step::Greeting);
}

void Pop3Session::StartHandshake() {
  // Bytes waiting unread when the handshake should begin came from someone else.
  if (!out_.StartTls({record_.RemoteHost, NormalizeFingerprint(record_.CertFingerprint)})) {
    OnTlsNotStarted();
  }
}

void Pop3Session::OnTlsNotStarted() { FailSecure(SecureFailure::Injection); }

void Pop3Session::OnHandshake(const TlsHandshake& result) {
  if (!secure_.Handshaking()) return;
  out_.Log(Code(), HandshakeLogText(result));
  if (IsCertificateFailure(result.Failure)) record_.RejectedCertificate = result.Certificate;
  ApplySecure(secure_.OnHandshake(result));
}

void Pop3Session::ApplySecure(const SecureStart::Action& action) {
  using Kind = SecureStart::Action::Kind;
  switch (action.What) {
    case Kind::Wait:
      break;
    case Kind::Send:
      Send(action.Line, action.Line);
      break;
    case Kind::StartTls:
      StartHandshake();
      break;
    case Kind::Greeted:
      out_.StopConnectTimeout();
      Enter(Step::Greeting);
      break;
    case Kind::Login:
      out_.StopConnectTimeout();
      SendUser();
      break;
    case Kind::Fail:
      FailSecure(action.Failure);
      break;
  }
}

void Pop3Session::FailSecure(SecureFailure failure) {
  out_.StopConnectTimeout();
  record_.StatusText = SecureFailureText(languageBase_, failure, record_.RejectedCertificate);
  out_.Log(0, record_.StatusText);
  EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record_.StatusText});
}

void Pop3Session::OnSecureTimeout() {
  if (secure_.Active()) FailSecure(SecureFailure::Handshake);
}

void Pop3Session::OnData(std::string_view bytes) {
  if (step_ == Step::Uidl) {
    OnUidlBlock(bytes);
    return;
  }
  if (step_ == Step::Top) {
    if (pipeline_) {
      OnPipelinedData(bytes);
    } else {
      OnTopBlock(bytes);
    }
    return;
  }
  out_.Log(Code(), bytes);
  switch (step_) {
    case Step::Greeting:
      if (secure_.Active()) {
        ApplySecure(secure_.OnData(bytes));
      } else {
        OnGreeting(bytes);
      }
      break;
    case Step::User:
      OnUserReply(bytes);
      break;
    case Step::Pass:
      OnPassReply(bytes);
      break;
    case Step::Auth:
      ApplyOAuth(oauth_->OnData(bytes));
      break;
    case Step::Stat:
      OnStatReply(bytes);
      break;
    case Step::Last:
      OnLastReply(bytes);
      break;
    case Step::Quit:
      OnQuitReply(bytes);
      break;
    case Step::Connecting:
    case Step::Uidl:
    case Step::Top:
    case Step::Ended:
      break;
  }
}

void Pop3Session::OnGreeting(std::string_view reply) {
  if (!Accepted(reply)) {
    FailWith(StringId::MailServerNotReady);
    return;
  }
  // Over TLS from the first byte, CAPA tells whether the TOP commands may be pipelined.
  if (EffectiveSecurity(record_.Security) == SecurityMode::Tls) {
    ApplySecure(secure_.AskCapabilities());
    return;
  }
  SendUser();
}

void Pop3Session::SendUser() {
  if (EffectiveAuth(record_.Auth) != AuthMethod::Password) {
    StartOAuth();
    return;
  }
  Enter(Step::User);
  const std::string line = "USER " + record_.User;
  Send(line, line);
}

void Pop3Session::StartOAuth() {
  // The engine refuses these before connecting; a session never sends a token in clear or
  // guesses at an unknown sign-in either.
  if (std::optional<std::string> refusal = SignInRefusal(record_, languageBase_)) {
    record_.StatusText = std::move(*refusal);
    EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record_.StatusText});
    return;
  }
  Enter(Step::Auth);
  oauth_.emplace(PickMechanism(secure_.SaslMechanisms()), record_.User,
                 record_.OAuthAccessToken.Token, record_.RemoteHost, record_.RemotePort);
  ApplyOAuth(oauth_->Start());
}

void Pop3Session::ApplyOAuth(const Pop3OAuthLogin::Action& action) {
  using Kind = Pop3OAuthLogin::Action::Kind;
  switch (action.What) {
    case Kind::Wait:
      break;
    case Kind::Send:
      Send(action.Line, action.LogText);
      break;
    case Kind::LoggedIn:
      oauth_.reset();
      Enter(Step::Stat);
      Send("STAT", "STAT");
      break;
    case Kind::Locked:
      oauth_.reset();
      EndLocked();
      break;
    case Kind::Refused:
      oauth_.reset();
      record_.StatusText = ServerRefusedSignInText(languageBase_, action.Reason);
      EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record_.StatusText});
      break;
  }
}

void Pop3Session::OnUserReply(std::string_view reply) {
  if (Accepted(reply)) {
    Enter(Step::Pass);
    Send("PASS " + record_.Password, "PASS xxxxx");
    return;
  }
  // A locked maildrop is no unknown user: the previous outcome stays on show.
  if (Contains(reply, "lock")) {
    EndLocked();
    return;
  }
  FailWith(StringId::UserNameUnknown);
}

void Pop3Session::OnPassReply(std::string_view reply) {
  if (Accepted(reply)) {
    Enter(Step::Stat);
    Send("STAT", "STAT");
    return;
  }
  // Servers report a maildrop held by another session in the reply to PASS; the password
  // was fine, so this ends the check the way a locked reply to USER does.
  if (Contains(reply, "lock") || Contains(reply, "[IN-USE]")) {
    EndLocked();
    return;
  }
  FailWith(StringId::PasswordWrong);
}

void Pop3Session::OnStatReply(std::string_view reply) {
  if (!Accepted(reply)) {
    FailWith(StringId::NoStatCommand);
    return;
  }
  Enter(Step::Last);
  UpdateNewCountFromStat(record_, reply);
  Send("LAST", "LAST");
}

void Pop3Session::OnLastReply(std::string_view reply) {
  // A server without LAST is no failure; -1 tells the rules to ignore it.
  record_.LastAccessed = Accepted(reply) ? ReadReplyNumber(reply.substr(3)) : int16_t{-1};
  Enter(Step::Uidl);
  Release(uidlBuffer_);
  uidlTerminator_.Reset();
  uidlError_.Reset();
  uidlLineEnd_.Reset();
  Send("UIDL", "UIDL");
}

// A listing block goes straight onto the end of its buffer, and only the new bytes are logged
// and searched.
void Pop3Session::OnUidlBlock(std::string_view bytes) {
  std::string& buffer = uidlBuffer_;
  const std::size_t oldSize = buffer.size();
  buffer.append(bytes);
  out_.Log(Code(), bytes);
  if (buffer.size() > uidlLimit_) {
    // No listing can be trusted past the bound: the counts rest on STAT, as after "-ERR".
    Release(buffer);
    FinishNewCount(record_);
    DecideHeaders();
    return;
  }
  const bool terminated = uidlTerminator_.Update(buffer, oldSize);
  const bool error = uidlError_.Update(buffer, oldSize);
  const bool lineEnd = uidlLineEnd_.Update(buffer, oldSize);
  if (!terminated && !(error && lineEnd)) return;
  EvaluateUidlListing(record_, buffer);
  FinishNewCount(record_);
  DecideHeaders();
}

void Pop3Session::DecideHeaders() {
  // The same count as at the last fetch keeps the headers from then, unless that fetch was
  // cut off (new cycle, error, close) before it ended: its missing headers are fetched now.
  if (record_.NewCount <= 0 ||
      (record_.NewCount == HeadersUpperBound(record_) && !headerFetchUnfinished_)) {
    SendQuit();
    return;
  }
  headerFetchUnfinished_ = true;
  currentMessage_ = ClampCount(record_.MessageCount - record_.NewCount + 1);
  record_.Headers.assign(static_cast<std::size_t>(record_.NewCount) + 1, MessageHeader{});
  Enter(Step::Top);
  Release(headerBuffer_);
  topCut_ = false;
  topError_.Reset();
  topTerminator_.Reset();
  pipeline_.reset();
  pipelineEnding_ = false;
  if (ServerPipelines()) {
    pipeline_.emplace(currentMessage_, record_.MessageCount,
                      PipelineLimits{.ReplyBytes = headerLimit_,
                                     .StopAtRefusal = true,
                                     .CutLongReplies = true,
                                     .SkippedBytes = kSkippedReplyFactor * headerLimit_});
    ApplyPipelineEvents(pipeline_->Start());
    return;
  }
  SendTop();
}

bool Pop3Session::ServerPipelines() const {
  const std::vector<std::string>& keywords = secure_.Capabilities();
  return std::find(keywords.begin(), keywords.end(), "PIPELINING") != keywords.end();
}

void Pop3Session::EndHeaderFetch() {
  headerFetchUnfinished_ = false;
  SendQuit();
}

void Pop3Session::OnPipelinedData(std::string_view bytes) {
  std::vector<PipelineEvent> events = pipeline_->Feed(bytes);
  // A reply past the bound, or bytes nobody asked for: logged as they came, and the fetch ends.
  if (pipeline_->Failed()) out_.Log(Code(), bytes);
  ApplyPipelineEvents(events);
}

// Replies are logged and read in order; the commands that refill the window go out in one
// write, and each is logged as one record.
void Pop3Session::ApplyPipelineEvents(const std::vector<PipelineEvent>& events) {
  const int16_t stateCode = Code();
  std::string commands;
  for (const PipelineEvent& event : events) {
    // Every command the window let out is written, so that its reply is expected.
    if (event.What == PipelineEvent::Kind::Command) {
      commands += event.Text;
      out_.Log(stateCode, std::string_view(event.Text).substr(0, event.Text.size() - 2));
      continue;
    }
    out_.Log(stateCode, event.Text);
    if (pipelineEnding_) continue;
    // A reply past the bound counts with the header lines that fit whole in what is kept.
    const std::string_view reply =
        event.Cut ? LeadingHeaderLines(event.Text, std::min(kKeptHeaderBytes, headerLimit_))
                  : std::string_view(event.Text);
    // As for one TOP at a time: "-ERR" anywhere in a reply ends the fetch.
    if (!event.Accepted || Contains(reply, "-ERR")) {
      pipelineEnding_ = true;
      pipeline_->StopSending();
      headerFetchUnfinished_ = false;
      continue;
    }
    ExtractHeaders(record_, reply, ClampCount(event.Message), charsets_);
    // The next message due, as one TOP at a time counts it; past the newest there is none, and
    // the rest of a cut reply may still be read after it.
    currentMessage_ =
        ClampCount(std::min(event.Message + 1, static_cast<int>(record_.MessageCount)));
  }
  // An error during the write may already have ended this connection.
  if (!commands.empty() && !out_.Write(commands)) return;
  if (pipeline_->Failed() || pipeline_->Done()) {
    pipeline_.reset();
    EndHeaderFetch();
  }
}

void Pop3Session::OnTopBlock(std::string_view bytes) {
  std::string& buffer = headerBuffer_;
  const std::size_t oldSize = buffer.size();
  buffer.append(bytes);
  out_.Log(Code(), bytes);
  if (topCut_) {
    // Skipping the rest of a reply whose headers were cut: only its end matters, and only the
    // bytes that may hold the start of that end are kept.
    if (topTerminator_.Update(buffer, oldSize)) {
      NextTop();
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
    ExtractHeaders(record_, LeadingHeaderLines(buffer, std::min(kKeptHeaderBytes, headerLimit_)),
                   currentMessage_, charsets_);
    if (terminated) {
      NextTop();
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
  ExtractHeaders(record_, buffer, currentMessage_, charsets_);
  NextTop();
}

void Pop3Session::NextTop() {
  headerBuffer_.clear();
  topCut_ = false;
  topError_.Reset();
  topTerminator_.Reset();
  const int next = currentMessage_ + 1;
  currentMessage_ = ClampCount(next);
  if (next > record_.MessageCount) {
    EndHeaderFetch();
    return;
  }
  SendTop();
}

void Pop3Session::OnQuitReply(std::string_view reply) {
  out_.StopQuitWait();
  if (Accepted(reply)) record_.StatusText.clear();
  FinishCounted();
}

void Pop3Session::OnQuitWaitOver() {
  if (step_ != Step::Quit) return;
  FinishCounted();
}

bool Pop3Session::Send(const std::string& line, std::string_view logText) {
  const int16_t stateCode = Code();
  // One write per command. A failed write shows up as the socket's error event.
  const bool open = out_.Write(line + std::string(kLineEnd));
  out_.Log(stateCode, logText);
  return open;
}

void Pop3Session::SendTop() {
  // No blank after the 0: servers such as Dovecot refuse "TOP n 0 " as noise after the count.
  const std::string line = "TOP " + std::to_string(currentMessage_) + " 0";
  Send(line, line);
}

void Pop3Session::SendQuit() {
  Enter(Step::Quit);
  if (Send("QUIT", "QUIT")) out_.StartQuitWait();
}

void Pop3Session::FailWith(StringId id) {
  record_.StatusText = LocalString(languageBase_, id);
  EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record_.StatusText});
}

// The counts stay as the last check left them, since another client is reading the mail; the
// check-result line says why they were not renewed until a check gets through again.
void Pop3Session::EndLocked() {
  record_.StatusText = OwnString(languageBase_, OwnText::MailboxInUse);
  EndMailbox({MailboxResult::NotChecked, NotCheckedReason::MaildropLocked, record_.StatusText});
}

void Pop3Session::EndMailbox(const MailboxOutcome& outcome) {
  Enter(Step::Ended);
  out_.Finish(outcome);
}

void Pop3Session::FinishCounted() {
  out_.Finish({record_.NewCount > 0 ? MailboxResult::NewMail : MailboxResult::NoNewMail,
               NotCheckedReason::None,
               {}});
}

}  // namespace postvane
