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
const std::string kNoBytes;

bool Accepted(std::string_view reply) { return reply.starts_with("+OK"); }

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

int16_t ClampCount(int value) { return static_cast<int16_t>(std::clamp(value, 0, 32767)); }

}  // namespace

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
  // Each step's reply starts afresh; a listing may have grown the buffer to megabytes.
  if (step == Step::Uidl) {
    reader_.Expect(ReplyEnd::Listing, {.Bytes = uidlLimit_});
  } else {
    reader_.Expect(ReplyEnd::Block);
  }
}

const std::string& Pop3Session::ListingBuffer() const {
  return step_ == Step::Uidl ? reader_.Buffer() : kNoBytes;
}

const std::string& Pop3Session::HeaderBuffer() const {
  return pipeline_ ? pipeline_->PendingBuffer() : kNoBytes;
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
  if (step_ == Step::Top) {
    OnHeaderData(bytes);
    return;
  }
  out_.Log(Code(), bytes);
  if (step_ == Step::Greeting && secure_.Active()) {
    ApplySecure(secure_.OnData(bytes));
    return;
  }
  // The token exchange reads its own reply lines.
  if (step_ == Step::Auth) {
    ApplyOAuth(oauth_->OnData(bytes));
    return;
  }
  reader_.Add(bytes);
  const std::optional<Reply> reply = reader_.Take();
  if (step_ == Step::Uidl) {
    if (reply || reader_.Overflowed()) OnListing(reply);
    return;
  }
  if (!reply) return;
  switch (step_) {
    case Step::Greeting:
      OnGreeting(reply->Text);
      break;
    case Step::User:
      OnUserReply(reply->Text);
      break;
    case Step::Pass:
      OnPassReply(reply->Text);
      break;
    case Step::Stat:
      OnStatReply(reply->Text);
      break;
    case Step::Last:
      OnLastReply(reply->Text);
      break;
    case Step::Quit:
      OnQuitReply(reply->Text);
      break;
    case Step::Connecting:
    case Step::Auth:
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
  // Read before the step changes: the next step's reply starts afresh.
  UpdateNewCountFromStat(record_, reply);
  Enter(Step::Last);
  Send("LAST", "LAST");
}

void Pop3Session::OnLastReply(std::string_view reply) {
  // A server without LAST is no failure; -1 tells the rules to ignore it.
  record_.LastAccessed = Accepted(reply) ? ReadReplyNumber(reply.substr(3)) : int16_t{-1};
  Enter(Step::Uidl);
  Send("UIDL", "UIDL");
}

void Pop3Session::OnListing(const std::optional<Reply>& reply) {
  // Past the bound no listing can be trusted: the counts rest on STAT, as after "-ERR".
  if (reply) EvaluateUidlListing(record_, reply->Text);
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
  pipelined_ = ServerPipelines();
  pipelineEnding_ = false;
  // Without PIPELINING the window is one command: one TOP, its reply, the next.
  pipeline_.emplace(currentMessage_, record_.MessageCount,
                    PipelineLimits{.Commands = pipelined_ ? kAnyCommandCount : 1,
                                   .ReplyBytes = headerLimit_,
                                   .StopAtRefusal = true,
                                   .CutLongReplies = true,
                                   .SkippedBytes = kSkippedReplyFactor * headerLimit_});
  ApplyPipelineEvents(pipeline_->Start());
}

bool Pop3Session::ServerPipelines() const {
  const std::vector<std::string>& keywords = secure_.Capabilities();
  return std::find(keywords.begin(), keywords.end(), "PIPELINING") != keywords.end();
}

void Pop3Session::EndHeaderFetch() {
  headerFetchUnfinished_ = false;
  SendQuit();
}

void Pop3Session::OnHeaderData(std::string_view bytes) {
  if (!pipelined_) out_.Log(Code(), bytes);
  std::vector<PipelineEvent> events = pipeline_->Feed(bytes);
  // A reply past the bound, or bytes nobody asked for: logged as they came, and the fetch ends.
  if (pipelined_ && pipeline_->Failed()) out_.Log(Code(), bytes);
  ApplyPipelineEvents(events);
}

// Replies are read in order; the commands that refill the window go out in one write, and
// each is logged as one record after it.
void Pop3Session::ApplyPipelineEvents(const std::vector<PipelineEvent>& events) {
  const int16_t stateCode = Code();
  std::string commands;
  std::vector<std::string_view> sent;
  for (const PipelineEvent& event : events) {
    // Every command the window let out is written, so that its reply is expected.
    if (event.What == PipelineEvent::Kind::Command) {
      commands += event.Text;
      sent.push_back(std::string_view(event.Text).substr(0, event.Text.size() - kLineEnd.size()));
      continue;
    }
    if (pipelined_) out_.Log(stateCode, event.Text);
    if (pipelineEnding_) continue;
    // A reply past the bound counts with the header lines that fit whole in what is kept.
    const std::string_view reply =
        event.Cut ? LeadingHeaderLines(event.Text, std::min(kKeptHeaderBytes, headerLimit_))
                  : std::string_view(event.Text);
    // A refusal ends the fetch.
    if (!event.Accepted) {
      pipelineEnding_ = true;
      pipeline_->StopSending();
      headerFetchUnfinished_ = false;
      continue;
    }
    ExtractHeaders(record_, reply, ClampCount(event.Message), charsets_);
    // The next message due; past the newest there is none, and the rest of a cut reply may
    // still be read after it.
    currentMessage_ =
        ClampCount(std::min(event.Message + 1, static_cast<int>(record_.MessageCount)));
  }
  if (!commands.empty()) {
    const bool open = out_.Write(commands);
    for (const std::string_view line : sent) out_.Log(stateCode, line);
    // An error during the write may already have ended this connection.
    if (!open) return;
  }
  if (pipeline_->Failed() || pipeline_->Done()) {
    pipeline_.reset();
    EndHeaderFetch();
  }
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
