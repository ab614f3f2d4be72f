// The IMAP dialogue, driven by the connection's events; what it does to the world goes through
// the session's output.
#include "check/imap_session.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "check/auth_method.h"
#include "check/imap_words.h"
#include "check/new_mail_rules.h"
#include "check/pop3_oauth_login.h"
#include "check/secure_failure_text.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderFields =
    "(UID BODY.PEEK[HEADER.FIELDS (FROM TO SUBJECT X-PRIORITY DATE)])";
// What is kept of a server's text in a status line: enough to read, never a flood.
constexpr std::size_t kServerTextLimit = 200;
// New UIDs kept in memory: as many as the count can hold.
constexpr std::size_t kKeptUids = 32767;
// UIDs per STORE command: keeps each command line far below what servers accept.
constexpr std::size_t kUidsPerStore = 500;

int16_t ClampCount(std::size_t value) {
  return static_cast<int16_t>(std::min<std::size_t>(value, 32767));
}

// A server's words for a status line: printable, on one line, cut.
std::string ServerText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (out.size() >= kServerTextLimit) break;
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string ReplaceMark(std::string pattern, std::string_view value) {
  const std::size_t mark = pattern.find('#');
  if (mark != std::string::npos) pattern.replace(mark, 1, value);
  return pattern;
}

}  // namespace

ImapSession::ImapSession(const SessionSetup& setup)
    : record_(setup.Record),
      out_(setup.Output),
      languageBase_(setup.LanguageBase),
      charsets_(setup.Charsets),
      headerFetchUnfinished_(setup.HeaderFetchUnfinished),
      reader_(ImapReaderLimits{
          .Text = setup.UidlLimit, .Literal = setup.HeaderLimit, .Literals = setup.HeaderLimit}) {}

MailboxState ImapSession::Shown(Step step) {
  switch (step) {
    case Step::Connecting:
      return MailboxState::Connecting;
    case Step::Greeting:
    case Step::Capability:
    case Step::StartTls:
    case Step::Upgrade:
      return MailboxState::Connected;
    case Step::Login:
      return MailboxState::PassSent;
    case Step::Examine:
      return MailboxState::StatSent;
    case Step::Search:
      return MailboxState::UidlSent;
    case Step::Fetch:
      return MailboxState::TopSent;
    case Step::Select:  // the count is done: a connection closed now keeps it, as after LOGOUT
    case Step::Store:
    case Step::Logout:
      return MailboxState::QuitSent;
    case Step::Ended:
      break;
  }
  return MailboxState::Idle;
}

void ImapSession::Enter(Step step) {
  step_ = step;
  record_.State = Shown(step);
}

bool ImapSession::Securing() const {
  return mode_ != SecurityMode::None && !secured_ && step_ != Step::Ended;
}

void ImapSession::OnConnected() {
  if (step_ != Step::Connecting) return;
  record_.ServerAlert.clear();
  const std::optional<SecurityMode> known = EffectiveSecurity(record_.Security);
  if (!known) {
    out_.StopConnectTimeout();
    Fail(OwnText::UnknownSecuritySetting);
    return;
  }
  mode_ = *known;
  if (mode_ == SecurityMode::Tls) {
    StartHandshake();
    return;
  }
  // A secure mailbox keeps the time-out until TLS is up: a server that stalls before is absent.
  if (mode_ == SecurityMode::None) out_.StopConnectTimeout();
  Enter(Step::Greeting);
}

void ImapSession::StartHandshake() {
  if (!out_.StartTls({record_.RemoteHost, NormalizeFingerprint(record_.CertFingerprint)})) {
    OnTlsNotStarted();
  }
}

void ImapSession::OnTlsNotStarted() { FailSecure(SecureFailure::Injection); }

void ImapSession::OnHandshake(const TlsHandshake& result) {
  const bool handshaking =
      step_ == Step::Upgrade || (step_ == Step::Connecting && mode_ == SecurityMode::Tls);
  if (!handshaking || stopped_) return;
  out_.Log(Code(), HandshakeLogText(result));
  if (IsCertificateFailure(result.Failure)) record_.RejectedCertificate = result.Certificate;
  if (!result.Succeeded()) {
    FailSecure(FailureOf(result.Failure));
    return;
  }
  secured_ = true;
  out_.StopConnectTimeout();
  if (step_ == Step::Connecting) {
    Enter(Step::Greeting);
    return;
  }
  // What the server said before TLS may have been forged: it is asked again.
  capabilities_.clear();
  Enter(Step::Capability);
  Send("CAPABILITY", "CAPABILITY");
}

void ImapSession::OnSecureTimeout() {
  if (Securing()) FailSecure(SecureFailure::Handshake);
}

void ImapSession::OnQuitWaitOver() {
  if (stopped_) return;
  if (step_ == Step::Select || step_ == Step::Store) {
    OnMarkFailed({});
    FinishCounted();
    return;
  }
  if (step_ == Step::Logout) FinishCounted();
}

void ImapSession::OnData(std::string_view bytes) {
  if (step_ == Step::Ended || stopped_ || bytes.empty()) return;
  out_.Log(Code(), bytes);
  if (step_ == Step::Connecting || step_ == Step::Upgrade) {
    // Nothing may arrive in clear once TLS is asked for: it would be taken as the server's.
    FailSecure(SecureFailure::Injection);
    return;
  }
  std::vector<ImapResponse> responses;
  reader_.Feed(bytes, responses);
  for (const ImapResponse& response : responses) {
    Handle(response);
    if (step_ == Step::Ended || stopped_) return;
    if (step_ == Step::Upgrade) {
      // Bytes after the STARTTLS reply and before the handshake came from someone else.
      if (&response != &responses.back() || reader_.Pending()) {
        FailSecure(SecureFailure::Injection);
        return;
      }
      StartHandshake();
      return;
    }
  }
  if (!reader_.Failed()) return;
  if (step_ == Step::Fetch || step_ == Step::Select || step_ == Step::Store ||
      step_ == Step::Logout) {
    // The counts stand; the rest of this connection cannot be read.
    headerFetchUnfinished_ = false;
    FinishCounted();
    return;
  }
  Fail(OwnText::ImapReplyTooLong);
}

void ImapSession::Handle(const ImapResponse& response) {
  if (step_ == Step::Greeting && response.Kind != ImapResponseKind::Untagged) {
    // No IMAP greeting at all (a POP3 server on the port, say).
    OnGreeting(ImapStatus{});
    return;
  }
  switch (response.Kind) {
    case ImapResponseKind::Untagged:
      OnUntagged(response);
      return;
    case ImapResponseKind::Continuation:
      OnContinuation(response.Text);
      return;
    case ImapResponseKind::Tagged: {
      // Replies to commands of someone else are no answer to ours.
      if (response.Tag != pendingTag_ || pendingTag_.empty()) return;
      pendingTag_.clear();
      const ImapStatus status = ReadStatus(response.Text);
      NoteAlert(status);
      OnTagged(status);
      return;
    }
  }
}

void ImapSession::OnUntagged(const ImapResponse& response) {
  const ImapStatus status = ReadStatus(response.Text);
  NoteAlert(status);
  if (step_ == Step::Greeting) {
    OnGreeting(status);
    return;
  }
  if (status.Word == "BYE") {
    if (step_ == Step::Select || step_ == Step::Store) {
      // The count stands; only the marking is lost.
      OnMarkFailed(status.Text);
      FinishCounted();
    } else if (step_ != Step::Logout) {
      Fail(OwnText::ImapServerBye, status.Text);
    }
    return;
  }
  if (status.Word == "CAPABILITY") {
    ReadCapabilities(response.Text.substr(std::min<std::size_t>(response.Text.size(), 11)));
    return;
  }
  if (status.Word == "OK" && StartsWithNoCase(status.Code, "CAPABILITY ")) {
    ReadCapabilities(std::string_view(status.Code).substr(11));
    return;
  }
  if (status.Word == "OK" && StartsWithNoCase(status.Code, "UIDVALIDITY ")) {
    uidValidity_ = ParseUid(std::string_view(status.Code).substr(12)).value_or(0);
    return;
  }
  if (status.Word == "SEARCH" && step_ == Step::Search) {
    ImapTokens tokens(response);
    tokens.Next();
    for (ImapTokens::Token token = tokens.Next(); token.What != ImapTokens::Kind::End;
         token = tokens.Next()) {
      const std::optional<uint32_t> uid = ParseUid(token.Text);
      // "n:*" always holds the highest UID, even one below n.
      if (!uid || *uid <= acknowledgedUid_) continue;
      newUids_.push_back(*uid);
      if (newUids_.size() >= 2 * kKeptUids) {
        std::nth_element(newUids_.begin(), newUids_.begin() + kKeptUids, newUids_.end(),
                         std::greater<>());
        newUids_.resize(kKeptUids);
      }
    }
    return;
  }
  // "n EXISTS", "n FETCH (...)".
  ImapTokens tokens(response);
  const std::optional<uint32_t> number = ParseUid(tokens.Next().Text);
  if (!number) return;
  const ImapTokens::Token word = tokens.Next();
  if (EqualsNoCase(word.Text, "EXISTS")) {
    exists_ = *number;
  } else if (EqualsNoCase(word.Text, "FETCH") && step_ == Step::Fetch) {
    OnFetch(response);
  }
}

void ImapSession::NoteAlert(const ImapStatus& status) {
  // Several alerts are joined, but their sum stays as short as one server text.
  std::string& alert = record_.ServerAlert;
  if (!EqualsNoCase(status.Code, "ALERT") || alert.size() >= kServerTextLimit) return;
  if (!alert.empty()) alert += ' ';
  alert += ServerText(status.Text);
}

void ImapSession::OnGreeting(const ImapStatus& status) {
  if (status.Word == "BYE") {
    Fail(OwnText::ImapServerBye, status.Text);
    return;
  }
  if (status.Word != "OK" && status.Word != "PREAUTH") {
    FailWithText(LocalString(languageBase_, StringId::MailServerNotReady));
    return;
  }
  preauth_ = status.Word == "PREAUTH";
  if (StartsWithNoCase(status.Code, "CAPABILITY ")) {
    ReadCapabilities(std::string_view(status.Code).substr(11));
    AfterCapabilities();
    return;
  }
  Enter(Step::Capability);
  Send("CAPABILITY", "CAPABILITY");
}

void ImapSession::ReadCapabilities(std::string_view words) {
  capabilities_.clear();
  std::size_t pos = 0;
  while (pos < words.size()) {
    const std::size_t end = std::min(words.find(' ', pos), words.size());
    if (end > pos) capabilities_.push_back(Upper(words.substr(pos, end - pos)));
    pos = end + 1;
  }
}

bool ImapSession::HasCapability(std::string_view name) const {
  return std::find(capabilities_.begin(), capabilities_.end(), name) != capabilities_.end();
}

void ImapSession::AfterCapabilities() {
  if (mode_ == SecurityMode::StartTls && !secured_) {
    // Already logged in means there is no way to secure the connection before it.
    if (preauth_ || !HasCapability("STARTTLS")) {
      FailSecure(SecureFailure::StlsNotOffered);
      return;
    }
    Enter(Step::StartTls);
    Send("STARTTLS", "STARTTLS");
    return;
  }
  if (preauth_) {
    SendExamine();
    return;
  }
  SendLogin();
}

void ImapSession::SendLogin() {
  Enter(Step::Login);
  if (EffectiveAuth(record_.Auth) == AuthMethod::OAuth) {
    SendOAuthLogin();
    return;
  }
  const bool plainOffered = HasCapability("AUTH=PLAIN");
  const bool loginAllowed = !HasCapability("LOGINDISABLED");
  const bool quotable = SevenBitQuotable(record_.User) && SevenBitQuotable(record_.Password);
  const std::optional<std::string> user = Quoted(record_.User);
  const std::optional<std::string> password = Quoted(record_.Password);
  if (loginAllowed && (quotable || !plainOffered) && user && password) {
    Send("LOGIN " + *user + " " + *password, "LOGIN " + *user + " xxxxx");
    return;
  }
  if (!plainOffered) {
    Fail(loginAllowed ? OwnText::ImapLoginRefused : OwnText::ImapNoLoginAllowed);
    return;
  }
  std::string plain;
  plain += '\0';
  plain += record_.User;
  plain += '\0';
  plain += record_.Password;
  const std::string answer = Base64(plain);
  authenticating_ = true;
  if (HasCapability("SASL-IR")) {
    Send("AUTHENTICATE PLAIN " + answer, "AUTHENTICATE PLAIN xxxxx");
    return;
  }
  pendingCredentials_ = answer;
  Send("AUTHENTICATE PLAIN", "AUTHENTICATE PLAIN");
}

// AUTHENTICATE with the access token (XOAUTH2, or OAUTHBEARER where listed): on the command
// line with SASL-IR, else after the server's first "+".
void ImapSession::SendOAuthLogin() {
  std::vector<std::string> mechanisms;
  for (const std::string& capability : capabilities_) {
    if (capability.starts_with("AUTH=")) mechanisms.push_back(capability.substr(5));
  }
  mechanism_ = PickMechanism(mechanisms);
  const std::string name(MechanismName(mechanism_));
  const std::string response = InitialResponse(
      mechanism_, record_.User, record_.OAuthAccessToken.Token, record_.RemoteHost,
      record_.RemotePort);
  oauth_ = true;
  authenticating_ = true;
  if (HasCapability("SASL-IR")) {
    Send("AUTHENTICATE " + name + " " + response, "AUTHENTICATE " + name + " xxxxx");
    return;
  }
  pendingCredentials_ = response;
  Send("AUTHENTICATE " + name, "AUTHENTICATE " + name);
}

void ImapSession::OnContinuation(std::string_view text) {
  // Only AUTHENTICATE asks for more; a "+" to anything else is noise.
  if (step_ != Step::Login || !authenticating_) return;
  if (oauth_ && pendingCredentials_.empty()) {
    // A "+" after the token is the error challenge: answered once as the mechanism requires,
    // and the server then ends the exchange with NO; anything more is cancelled.
    if (challengeAnswered_) {
      SendRaw("*", "*");
      return;
    }
    challengeAnswered_ = true;
    signInReason_ = ServerReason(ErrorChallengeReason(text).value_or(std::string(text)));
    const std::string answer(ErrorChallengeAnswer(mechanism_));
    SendRaw(answer, answer);
    return;
  }
  // The first "+" gets the credentials; one after them asks for more than PLAIN has: cancel.
  if (pendingCredentials_.empty()) {
    SendRaw("*", "*");
    return;
  }
  const std::string answer = std::exchange(pendingCredentials_, std::string());
  SendRaw(answer, "xxxxx");
}

void ImapSession::OnTagged(const ImapStatus& status) {
  const bool ok = status.Word == "OK";
  switch (step_) {
    case Step::Capability:
      if (!ok && mode_ == SecurityMode::StartTls && !secured_) {
        FailSecure(SecureFailure::StlsNotOffered);
        return;
      }
      AfterCapabilities();
      return;
    case Step::StartTls:
      if (!ok) {
        FailSecure(SecureFailure::StlsRefused);
        return;
      }
      Enter(Step::Upgrade);  // the handshake starts once the rest of the block is seen
      return;
    case Step::Login:
      pendingCredentials_.clear();
      if (!ok && oauth_) {
        FailWithText(ServerRefusedSignInText(
            languageBase_, signInReason_.empty() ? ServerReason(status.Text) : signInReason_));
        return;
      }
      if (!ok) {
        Fail(OwnText::ImapLoginRefused, status.Text);
        return;
      }
      if (StartsWithNoCase(status.Code, "CAPABILITY ")) {
        ReadCapabilities(std::string_view(status.Code).substr(11));
      }
      SendExamine();
      return;
    case Step::Examine:
      if (!ok) {
        if (status.Word == "NO") {
          const std::string folder = record_.Folder.empty() ? "INBOX" : record_.Folder;
          FailWithText(ReplaceMark(OwnString(languageBase_, OwnText::ImapFolderMissing), folder));
        } else {
          Fail(OwnText::ImapCommandRefused, status.Text);
        }
        return;
      }
      SendSearch();
      return;
    case Step::Search:
      if (!ok) {
        Fail(OwnText::ImapCommandRefused, status.Text);
        return;
      }
      DecideHeaders();
      return;
    case Step::Fetch:
      // Whatever the server made of the fetch, the counts stand.
      headerFetchUnfinished_ = false;
      AfterCount();
      return;
    case Step::Select:
      if (!ok || uidValidity_ != markValidity_) {
        OnMarkFailed(status.Text);
        SendLogout();
        return;
      }
      Enter(Step::Store);
      SendNextStore();
      return;
    case Step::Store:
      if (!ok) {
        OnMarkFailed(status.Text);
        SendLogout();
        return;
      }
      SendNextStore();
      return;
    case Step::Logout:
      out_.StopQuitWait();
      FinishCounted();
      return;
    case Step::Connecting:
    case Step::Greeting:
    case Step::Upgrade:
    case Step::Ended:
      return;
  }
}

void ImapSession::SendExamine() {
  Enter(Step::Examine);
  exists_ = 0;
  uidValidity_ = 0;
  const std::string folder = record_.Folder.empty() ? "INBOX" : record_.Folder;
  // Modified UTF-7 is plain ASCII without CR or LF, so it always quotes.
  const std::string command = "EXAMINE " + Quoted(ModifiedUtf7(folder)).value_or("INBOX");
  Send(command, command);
}

void ImapSession::SendSearch() {
  const bool sameFolder = record_.ImapUidValidity != 0 && record_.ImapUidValidity == uidValidity_;
  // After a UIDVALIDITY change the old point means nothing: every unseen message is new.
  acknowledgedUid_ = sameFolder ? record_.ImapLastUid : 0;
  newUids_.clear();
  if (exists_ == 0 || acknowledgedUid_ == UINT32_MAX) {
    DecideHeaders();
    return;
  }
  Enter(Step::Search);
  const std::string command =
      acknowledgedUid_ == 0
          ? std::string("UID SEARCH UNSEEN")
          : "UID SEARCH UNSEEN UID " + std::to_string(acknowledgedUid_ + 1) + ":*";
  Send(command, command);
}

void ImapSession::DecideHeaders() {
  std::sort(newUids_.begin(), newUids_.end(), std::greater<>());
  newUids_.erase(std::unique(newUids_.begin(), newUids_.end()), newUids_.end());
  record_.MessageCount = ClampCount(exists_);
  record_.NewCount = ClampCount(newUids_.size());
  record_.LastAccessed = -1;
  record_.NewestImapUidValidity = uidValidity_;
  record_.NewestImapUid = newUids_.empty() ? acknowledgedUid_ : newUids_.front();

  fetchUids_.assign(newUids_.begin(),
                    newUids_.begin() + static_cast<std::ptrdiff_t>(
                                           std::min(newUids_.size(), kImapHeaderFetchLimit)));
  // The same new messages as at the last fetch keep their headers, unless that fetch was cut
  // off before it ended.
  record_.ImapNewUids = newUids_;
  if (fetchUids_.empty() || (fetchUids_ == record_.ImapHeaderUids && !headerFetchUnfinished_ &&
                             HeadersUpperBound(record_) == record_.NewCount)) {
    AfterCount();
    return;
  }
  headerFetchUnfinished_ = true;
  record_.Headers.assign(static_cast<std::size_t>(record_.NewCount) + 1, MessageHeader{});
  record_.ImapHeaderUids = fetchUids_;
  Enter(Step::Fetch);
  const std::string command = "UID FETCH " + UidSet(fetchUids_) + " " + std::string(kHeaderFields);
  Send(command, command);
}

void ImapSession::OnFetch(const ImapResponse& response) {
  ImapTokens tokens(response);
  tokens.Next();  // the message number
  tokens.Next();  // FETCH
  if (tokens.Next().What != ImapTokens::Kind::Open) return;
  std::optional<uint32_t> uid;
  std::optional<std::string> header;
  int depth = 1;
  for (ImapTokens::Token token = tokens.Next(); token.What != ImapTokens::Kind::End && depth > 0;
       token = tokens.Next()) {
    if (token.What == ImapTokens::Kind::Open) {
      ++depth;
    } else if (token.What == ImapTokens::Kind::Close) {
      --depth;
    } else if (depth == 1 && EqualsNoCase(token.Text, "UID")) {
      uid = ParseUid(tokens.Next().Text);
    } else if (depth == 1 && StartsWithNoCase(token.Text, "BODY[")) {
      // The section may hold a list: its value follows the closing bracket.
      ImapTokens::Token part = token;
      while (part.What != ImapTokens::Kind::End &&
             !(part.What == ImapTokens::Kind::Atom && part.Text.ends_with(']'))) {
        part = tokens.Next();
      }
      const ImapTokens::Token value = tokens.Next();
      if (value.What == ImapTokens::Kind::String) header = value.Text;
    }
  }
  if (!uid || !header) return;
  const auto at = std::find(fetchUids_.begin(), fetchUids_.end(), *uid);
  if (at == fetchUids_.end()) return;
  const std::size_t k = static_cast<std::size_t>(at - fetchUids_.begin()) + 1;
  if (k < record_.Headers.size()) ReadMessageHeader(record_.Headers[k], *header, charsets_);
}

// The count is done: acknowledged messages waiting to be marked read (and, for a check that
// acknowledges what it finds, this check's new ones) get \Seen over a SELECT of the folder.
// The list is taken whatever happens next: a failed marking is logged, never retried.
void ImapSession::AfterCount() {
  marks_.clear();
  storeAt_ = 0;
  if (record_.MarkReadOnAck == kTrue) {
    // A folder recreated since the acknowledgement holds other messages under those UIDs.
    if (record_.ImapMarkReadUidValidity != 0 && record_.ImapMarkReadUidValidity == uidValidity_) {
      marks_ = record_.ImapMarkReadUids;
    }
    if (record_.ImapMarkNewRead) marks_.insert(marks_.end(), newUids_.begin(), newUids_.end());
  }
  record_.ImapMarkReadUids.clear();
  record_.ImapMarkReadUidValidity = 0;
  if (marks_.empty() || uidValidity_ == 0) {
    SendLogout();
    return;
  }
  std::sort(marks_.begin(), marks_.end());
  marks_.erase(std::unique(marks_.begin(), marks_.end()), marks_.end());
  markValidity_ = uidValidity_;
  uidValidity_ = 0;  // the SELECT's own UIDVALIDITY must match
  Enter(Step::Select);
  const std::string folder = record_.Folder.empty() ? "INBOX" : record_.Folder;
  const std::string command = "SELECT " + Quoted(ModifiedUtf7(folder)).value_or("INBOX");
  Send(command, command);
}

void ImapSession::SendNextStore() {
  if (storeAt_ >= marks_.size()) {
    SendLogout();
    return;
  }
  const std::size_t end = std::min(marks_.size(), storeAt_ + kUidsPerStore);
  const std::vector<uint32_t> slice(marks_.begin() + static_cast<std::ptrdiff_t>(storeAt_),
                                    marks_.begin() + static_cast<std::ptrdiff_t>(end));
  storeAt_ = end;
  const std::string command = "UID STORE " + UidSet(slice) + " +FLAGS.SILENT (\\Seen)";
  Send(command, command);
}

void ImapSession::OnMarkFailed(std::string_view serverText) {
  std::string text = OwnString(languageBase_, OwnText::MarkReadFailed);
  const std::string words = ServerText(serverText);
  if (!words.empty()) text += ": " + words;
  out_.Log(Code(), text);
}

void ImapSession::SendLogout() {
  Enter(Step::Logout);
  if (Send("LOGOUT", "LOGOUT")) out_.StartQuitWait();
}

bool ImapSession::Send(std::string_view command, std::string_view logText) {
  pendingTag_ = "a" + std::to_string(nextTag_++);
  return SendRaw(pendingTag_ + " " + std::string(command),
                 pendingTag_ + " " + std::string(logText));
}

bool ImapSession::SendRaw(const std::string& line, std::string_view logText) {
  const int16_t stateCode = Code();
  const bool open = out_.Write(line + std::string(kLineEnd));
  out_.Log(stateCode, logText);
  if (!open) stopped_ = true;
  return open;
}

void ImapSession::FailSecure(SecureFailure failure) {
  out_.StopConnectTimeout();
  record_.StatusText = SecureFailureText(languageBase_, failure, record_.RejectedCertificate);
  out_.Log(0, record_.StatusText);
  EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record_.StatusText});
}

void ImapSession::Fail(OwnText id, std::string_view serverText) {
  std::string text = OwnString(languageBase_, id);
  const std::string words = ServerText(serverText);
  if (!words.empty()) text += ": " + words;
  FailWithText(std::move(text));
}

void ImapSession::FailWithText(std::string text) {
  record_.StatusText = std::move(text);
  out_.Log(0, record_.StatusText);
  EndMailbox({MailboxResult::Failed, NotCheckedReason::None, record_.StatusText});
}

void ImapSession::EndMailbox(const MailboxOutcome& outcome) {
  Enter(Step::Ended);
  out_.Finish(outcome);
}

void ImapSession::FinishCounted() {
  // As after POP3's QUIT: the record shows the last step until the engine moves on.
  record_.State = MailboxState::QuitSent;
  step_ = Step::Ended;
  record_.StatusText.clear();
  out_.Finish({record_.NewCount > 0 ? MailboxResult::NewMail : MailboxResult::NoNewMail,
               NotCheckedReason::None,
               {}});
}

}  // namespace postvane
