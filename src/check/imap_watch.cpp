// The push watch's dialogue: secure start, login, EXAMINE, IDLE and its renewal, losses and
// the back-off before the next connect.
#include "check/imap_watch.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "check/imap_words.h"
#include "text/own_text.h"

namespace postvane {

namespace {

// "* 4 EXISTS", "* 2 EXPUNGE", "* 3 FETCH (FLAGS (\Seen))": the folder changed.
bool ReportsChange(const ImapStatus& untagged) {
  if (untagged.Word.empty() || untagged.Word.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const std::string word = ReadStatus(untagged.Text).Word;
  return word == "EXISTS" || word == "EXPUNGE" || word == "FETCH";
}

// The words of a capability list, upper case.
std::vector<std::string> CapabilityWords(std::string_view list) {
  std::vector<std::string> words;
  for (;;) {
    ImapStatus word = ReadStatus(list);
    if (word.Word.empty()) return words;
    list.remove_prefix(std::min(list.size(), list.find_first_not_of(' ') + word.Word.size()));
    words.push_back(std::move(word.Word));
  }
}

// "CAPABILITY a b c" as a response code: its words; empty for any other code.
std::vector<std::string> CapabilityCode(std::string_view code) {
  const ImapStatus status = ReadStatus(code);
  if (status.Word != "CAPABILITY") return {};
  return CapabilityWords(status.Text);
}

}  // namespace

ImapWatch::ImapWatch(const WatchTarget& target, Socket& socket, const TimerMaker& makeTimer,
                     const WatchTiming& timing, WatchEvents& events, int16_t languageBase)
    : target_(target),
      socket_(socket),
      timing_(timing),
      events_(events),
      languageBase_(languageBase),
      replyTimer_(makeTimer(timing.ReplyTimeoutMs)),
      renewTimer_(makeTimer(timing.RenewMs)),
      makeTimer_(makeTimer),
      retryMs_(timing.FirstRetryMs) {
  timing_.LongestRetryMs = std::max(timing_.LongestRetryMs, timing_.FirstRetryMs);
  socket_.SetListener(this);
  replyTimer_->SetTickHandler([this] { OnReplyTimeout(); });
  renewTimer_->SetTickHandler([this] { OnRenew(); });
}

ImapWatch::~ImapWatch() {
  socket_.SetListener(nullptr);
  replyTimer_->SetTickHandler({});
  renewTimer_->SetTickHandler({});
  for (auto& [milliseconds, timer] : retryTimers_) timer->SetTickHandler({});
  socket_.Close();
}

bool ImapWatch::Has(std::string_view capability) const {
  return std::find(capabilities_.begin(), capabilities_.end(), capability) != capabilities_.end();
}

void ImapWatch::Start() {
  CloseConnection();
  StopRetryTimers();
  capabilities_.clear();
  // The system picks the local port: the check's own connection uses the fixed ones.
  socket_.SetLocalPort(0);
  socket_.SetRemoteHost(target_.Host);
  socket_.SetRemotePort(target_.Port);
  step_ = Step::Connecting;
  WaitForReply();
  if (const SocketError error = socket_.Connect()) {
    Lose(error.Description.empty() ? OwnString(languageBase_, OwnText::ConnectionClosedByServer)
                                   : error.Description);
  }
}

void ImapWatch::Stop() {
  const bool talking = step_ != Step::Off && step_ != Step::Retrying && step_ != Step::NoPush &&
                       step_ != Step::Connecting && step_ != Step::Handshake &&
                       step_ != Step::Upgrade;
  if (talking) {
    // A polite end; the reply is not waited for.
    if (step_ == Step::Idling) socket_.SendData("DONE\r\n");
    socket_.SendData("Z LOGOUT\r\n");
  }
  CloseConnection();
  StopRetryTimers();
  step_ = Step::Off;
}

void ImapWatch::CloseConnection() {
  encrypted_ = false;
  replyTimer_->Stop();
  renewTimer_->Stop();
  reader_ = ImapReader(kWatchReaderLimits);
  tag_.clear();
  socket_.Close();
}

void ImapWatch::WaitForReply() {
  // Each command gets the whole time-out from when it went out.
  replyTimer_->Stop();
  replyTimer_->Start();
}

bool ImapWatch::Send(std::string_view command, std::string_view logText) {
  events_.WatchLog(target_.Index, logText.empty() ? command : logText);
  if (const SocketError error = socket_.SendData(std::string(command) + "\r\n")) {
    Lose(error.Description);
    return false;
  }
  WaitForReply();
  return true;
}

bool ImapWatch::SendTagged(std::string_view command, std::string_view logText) {
  tag_ = "W" + std::to_string(++tagCount_);
  const std::string line = tag_ + " " + std::string(command);
  return Send(line, logText.empty() ? std::string_view(line) : logText);
}

void ImapWatch::OnConnect() {
  if (step_ != Step::Connecting) return;
  // The handshake and the greeting get a whole time-out of their own.
  WaitForReply();
  if (target_.Security == SecurityMode::Tls) {
    step_ = Step::Handshake;
    if (socket_.StartTls({target_.Host, target_.TrustedFingerprint})) {
      Lose(OwnString(languageBase_, OwnText::ConnectionClosedByServer));
    }
    return;
  }
  step_ = Step::Greeting;
}

void ImapWatch::OnTlsHandshake(const TlsHandshake& result) {
  if (step_ != Step::Handshake && step_ != Step::Upgrade) return;
  if (!result.Succeeded()) {
    Lose(result.Detail.empty() ? "TLS" : result.Detail);
    return;
  }
  encrypted_ = true;
  if (step_ == Step::Handshake) {
    step_ = Step::Greeting;
    return;
  }
  // What was said in clear counts for nothing once the connection is encrypted.
  capabilities_.clear();
  step_ = Step::Capability;
  SendTagged("CAPABILITY");
}

void ImapWatch::OnDataArrival() {
  std::string bytes;
  if (!socket_.GetData(bytes)) return;
  if (step_ == Step::Off || step_ == Step::Retrying || step_ == Step::NoPush) return;
  std::vector<ImapResponse> responses;
  reader_.Feed(bytes, responses);
  bool changed = false;
  for (std::size_t i = 0; i < responses.size(); ++i) {
    const ImapResponse& response = responses[i];
    unread_ = i + 1 < responses.size() || reader_.Pending() || reader_.Failed();
    // IDLE news may also come while IDLE is being renewed.
    const bool news = step_ == Step::Idling || step_ == Step::Done || step_ == Step::Noop ||
                      step_ == Step::IdleStart;
    if (response.Kind == ImapResponseKind::Untagged && news &&
        ReportsChange(ReadStatus(response.Text))) {
      changed = true;
      continue;
    }
    OnResponse(response);
    if (step_ == Step::Retrying || step_ == Step::Off || step_ == Step::NoPush) return;
  }
  if (reader_.Failed()) {
    Lose(OwnString(languageBase_, OwnText::ConnectionClosedByServer));
    return;
  }
  // One check for a block, however many changes it reports.
  if (changed) events_.FolderChanged(target_.Index);
}

void ImapWatch::OnResponse(const ImapResponse& response) {
  if (response.Kind == ImapResponseKind::Untagged) {
    const ImapStatus status = ReadStatus(response.Text);
    if (status.Word == "BYE") {
      Lose(response.Text);
      return;
    }
    if (step_ == Step::Greeting) {
      OnGreeting(status, response.Text);
      return;
    }
    if (status.Word == "CAPABILITY") capabilities_ = CapabilityWords(status.Text);
    return;
  }
  if (response.Kind == ImapResponseKind::Continuation) {
    if (step_ == Step::Login) {
      // A "+" after the credentials asks for more than PLAIN has: cancel.
      Send("*");
    } else if (step_ == Step::Authenticate) {
      step_ = Step::Login;
      std::string plain;
      plain += '\0';
      plain += target_.User;
      plain += '\0';
      plain += target_.Password;
      Send(Base64(plain), "xxxxx");
    } else if (step_ == Step::IdleStart) {
      step_ = Step::Idling;
      replyTimer_->Stop();
      renewTimer_->Start();
      if (afterLoss_) {
        afterLoss_ = false;
        events_.FolderChanged(target_.Index);
      }
    }
    return;
  }
  OnTagged(response);
}

void ImapWatch::OnGreeting(const ImapStatus& status, const std::string& text) {
  if (status.Word == "PREAUTH") {
    // Logged in before any STARTTLS could be asked for: nothing secret was sent, but the
    // connection stays as the server chose.
    if (target_.Security == SecurityMode::StartTls) {
      Lose(text);
      return;
    }
    capabilities_ = CapabilityCode(status.Code);
    AfterLogin();
    return;
  }
  if (status.Word != "OK") {
    Lose(text);
    return;
  }
  capabilities_ = CapabilityCode(status.Code);
  if (capabilities_.empty()) {
    step_ = Step::Capability;
    SendTagged("CAPABILITY");
    return;
  }
  SendLogin();
}

void ImapWatch::SendLogin() {
  if (target_.Security == SecurityMode::StartTls && !encrypted_) {
    if (!Has("STARTTLS")) {
      Lose(OwnString(languageBase_, OwnText::ConnectionClosedByServer));
      return;
    }
    step_ = Step::StartTls;
    SendTagged("STARTTLS");
    return;
  }
  // The same choice as the check's: LOGIN where it is allowed and can carry the texts,
  // AUTHENTICATE PLAIN otherwise.
  const bool plainOffered = Has("AUTH=PLAIN");
  const bool loginAllowed = !Has("LOGINDISABLED");
  const bool quotable = SevenBitQuotable(target_.User) && SevenBitQuotable(target_.Password);
  const std::optional<std::string> user = Quoted(target_.User);
  const std::optional<std::string> password = Quoted(target_.Password);
  // What the server can do once logged in may differ; it says so again.
  const bool saslInitial = Has("SASL-IR");
  capabilities_.clear();
  if (loginAllowed && (quotable || !plainOffered) && user && password) {
    step_ = Step::Login;
    tag_ = "W" + std::to_string(++tagCount_);
    Send(tag_ + " LOGIN " + *user + " " + *password, tag_ + " LOGIN " + *user + " xxxxx");
    return;
  }
  if (!plainOffered) {
    Lose(OwnString(languageBase_,
                   loginAllowed ? OwnText::ImapLoginRefused : OwnText::ImapNoLoginAllowed));
    return;
  }
  std::string plain;
  plain += '\0';
  plain += target_.User;
  plain += '\0';
  plain += target_.Password;
  if (saslInitial) {
    step_ = Step::Login;
    tag_ = "W" + std::to_string(++tagCount_);
    Send(tag_ + " AUTHENTICATE PLAIN " + Base64(plain), tag_ + " AUTHENTICATE PLAIN xxxxx");
    return;
  }
  step_ = Step::Authenticate;
  SendTagged("AUTHENTICATE PLAIN");
}

void ImapWatch::AfterLogin() {
  if (!Has("IDLE")) {
    // The list after the login is the one that counts; without one at hand, it is asked for.
    if (capabilities_.empty()) {
      step_ = Step::Capability2;
      SendTagged("CAPABILITY");
      return;
    }
    // Nothing to watch with: the interval checks go on as before.
    events_.WatchLog(target_.Index, "IDLE not offered");
    Send("Z LOGOUT");
    CloseConnection();
    step_ = Step::NoPush;
    return;
  }
  step_ = Step::Examine;
  const auto folder = Quoted(target_.Folder.empty() ? "INBOX" : ModifiedUtf7(target_.Folder));
  if (!folder) {
    Lose(OwnString(languageBase_, OwnText::ConnectionClosedByServer));
    return;
  }
  SendTagged("EXAMINE " + *folder);
}

void ImapWatch::EnterIdle() {
  step_ = Step::IdleStart;
  SendTagged("IDLE");
}

void ImapWatch::OnTagged(const ImapResponse& response) {
  if (response.Tag != tag_) return;  // nothing of ours is outstanding under another tag
  const ImapStatus status = ReadStatus(response.Text);
  const bool ok = status.Word == "OK";
  switch (step_) {
    case Step::Capability:
      if (!ok) return Lose(response.Text);
      SendLogin();
      return;
    case Step::StartTls:
      if (!ok) return Lose(response.Text);
      // Bytes after the reply and before the handshake would be taken as sent over TLS.
      if (unread_) return Lose(OwnString(languageBase_, OwnText::ConnectionClosedByServer));
      step_ = Step::Upgrade;
      if (socket_.StartTls({target_.Host, target_.TrustedFingerprint})) {
        Lose(OwnString(languageBase_, OwnText::ConnectionClosedByServer));
      }
      return;
    case Step::Login: {
      if (!ok) return Lose(response.Text);
      std::vector<std::string> code = CapabilityCode(status.Code);
      if (!code.empty()) capabilities_ = std::move(code);
      AfterLogin();
      return;
    }
    case Step::Capability2:
      if (!ok) return Lose(response.Text);
      // An empty list too ends the watch: nothing more is asked.
      if (capabilities_.empty()) capabilities_.push_back("IMAP4REV1");
      AfterLogin();
      return;
    case Step::Examine:
      if (!ok) return Lose(response.Text);
      EnterIdle();
      return;
    case Step::IdleStart:
    case Step::Idling:
      // The server ended IDLE by itself (or refused it): enter it again, or give up.
      if (!ok) return Lose(response.Text);
      EnterIdle();
      return;
    case Step::Done:
      if (!ok) return Lose(response.Text);
      step_ = Step::Noop;
      SendTagged("NOOP");
      return;
    case Step::Noop:
      if (!ok) return Lose(response.Text);
      // The connection proved alive for a whole renewal: the next loss starts the back-off anew.
      retryMs_ = timing_.FirstRetryMs;
      EnterIdle();
      return;
    default:
      return;
  }
}

void ImapWatch::OnRenew() {
  renewTimer_->Stop();
  if (step_ != Step::Idling) return;
  step_ = Step::Done;
  Send("DONE");
}

void ImapWatch::OnReplyTimeout() {
  replyTimer_->Stop();
  if (step_ == Step::Off || step_ == Step::Retrying || step_ == Step::NoPush ||
      step_ == Step::Idling) {
    return;
  }
  Lose(OwnString(languageBase_, OwnText::NoAnswerFromServer));
}

void ImapWatch::OnSocketError(int /*number*/, const std::string& description) {
  if (step_ == Step::Off || step_ == Step::Retrying || step_ == Step::NoPush) return;
  Lose(description);
}

void ImapWatch::OnSocketClose() {
  if (step_ == Step::Off || step_ == Step::Retrying || step_ == Step::NoPush) return;
  Lose(OwnString(languageBase_, OwnText::ConnectionClosedByServer));
}

void ImapWatch::Lose(const std::string& reason) {
  CloseConnection();
  step_ = Step::Retrying;
  afterLoss_ = true;
  const int wait = retryMs_;
  retryMs_ = retryMs_ > timing_.LongestRetryMs / 2 ? timing_.LongestRetryMs : retryMs_ * 2;
  RetryTimer(wait).Start();
  const std::string text = OwnString(languageBase_, OwnText::IdleConnectionLost) + ": " + reason;
  events_.WatchLog(target_.Index, text);
  events_.WatchLost(target_.Index, reason, wait);
}

Timer& ImapWatch::RetryTimer(int milliseconds) {
  // One timer per wait, kept: a timer is never freed while its own tick runs.
  std::unique_ptr<Timer>& timer = retryTimers_[milliseconds];
  if (!timer) {
    timer = makeTimer_(milliseconds);
    timer->SetTickHandler([this, milliseconds] {
      retryTimers_[milliseconds]->Stop();
      if (step_ == Step::Retrying) Start();
    });
  }
  return *timer;
}

void ImapWatch::StopRetryTimers() {
  for (auto& [milliseconds, timer] : retryTimers_) timer->Stop();
}

}  // namespace postvane
