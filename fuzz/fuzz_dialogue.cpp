// Fuzz target: one mailbox's POP3 sessions, fed directly what a connection delivers. Server
// data arrives in random blocks in any step, mixed with connect, loss of the connection, peer
// close, time-outs, TLS handshakes, failed writes and acknowledgements, over several
// connections one after another; the invariants are checked after every event. USER and PASS
// must never leave in clear text for a mailbox that asks for TLS, and nothing is asked of the
// connection once the session has finished or lost it.
//
// The input has the layout of the cycle target's (fuzz_cycle.cpp), so the seeds serve both;
// only mailbox 0's set-up counts here:
//   0-1   bit 0: the mailbox is enabled (ignored)     2-3  bit 0: LastMail
//   4     acknowledged UIDL: 0 none, n the unique-id "u<n>"; 5-13 ignored
//   14    buffer limits: 0 the defaults, otherwise low and high nibble pick small ones
//   15    ignored
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/connection_security.h"
#include "check/mailbox_session.h"
#include "fuzz_input.h"

namespace postvane::fuzz {
namespace {

enum Event : uint8_t {
  kData = 0,          // byte count, bytes
  kLongData = 1,      // 16-bit count, bytes
  kReply = 2,         // variant, 16-bit number: a well-formed reply for the current step
  kSplitReply = 3,    // variant, number, cut count, cuts: the same reply in several blocks
  kConnect = 4,       // the connection comes up
  kLost = 5,          // which error: the connection is lost (the session is dropped)
  kPeerClose = 6,     // the server closed the connection
  kTimeout = 7,       // the connect time-out runs out
  kQuitTick = 8,      // the wait for the reply to QUIT is over
  kRestart = 9,       // a new connection is asked for (a new session)
  kWriteFails = 10,   // count: the writes from that one on find the connection gone
  kAcknowledge = 11,  // mailbox: the tray click takes NewestUidl over and zeroes NewCount
  kToggle = 12,       // which: flips LastMail (bit 7) when no check is under way
  kTlsRefused = 13,   // the next handshake cannot begin, then data as kData
  kStaleTicks = 14,   // both time-outs reach the session out of step
  kFlood = 15,        // size in 64 bytes, byte value: a big block of one byte
  kSecurity = 16,     // mailbox, code: the Security setting for the next connection
  kHandshake = 17,    // outcome: the socket ends a TLS handshake
  kEventCount = 18,
};

constexpr const char* kPassword = "Pw!Zq7Xka~";

std::string Uid(int n) { return "u" + std::to_string(n); }

// The connection as the session sees it, with the checks on every request.
class CheckedOutput : public SessionOutput {
 public:
  // One connection's view: encrypted once a handshake the session asked for succeeded.
  bool TlsAsked = false;
  bool Encrypted = false;
  bool Finished = false;
  bool Gone = false;    // a write found the connection gone
  int WritesLeft = -1;  // -1: every write goes
  bool RefuseTls = false;
  bool QuitWaiting = false;
  bool TimeoutRunning = true;
  std::string LastLine;
  MailboxRecord* Record = nullptr;
  int MessageCount = 0;

  bool Write(std::string_view bytes) override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    CheckLines(bytes);
    if (WritesLeft == 0) {
      Gone = true;
      return false;
    }
    if (WritesLeft > 0) --WritesLeft;
    return true;
  }
  bool StartTls(const TlsRequest& request) override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    POSTVANE_FUZZ_CHECK(request.HostName == "pop.test");
    TlsAsked = !RefuseTls;
    return !RefuseTls;
  }
  void Log(int16_t code, std::string_view text) override {
    // After a failed write its own record may still follow; after Finish nothing.
    POSTVANE_FUZZ_CHECK(!Finished);
    POSTVANE_FUZZ_CHECK(code >= 0 && code <= 9);
    POSTVANE_FUZZ_CHECK(!Contains(text, kPassword));
  }
  void StopConnectTimeout() override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    TimeoutRunning = false;
  }
  void StartQuitWait() override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    POSTVANE_FUZZ_CHECK(LastLine == "QUIT");
    QuitWaiting = true;
  }
  void StopQuitWait() override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    QuitWaiting = false;
  }
  void Finish(const MailboxOutcome& outcome) override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    Finished = true;
    if (outcome.Counted()) {
      // Counts come only from a dialogue that reached QUIT.
      POSTVANE_FUZZ_CHECK(Record->State == MailboxState::QuitSent);
      POSTVANE_FUZZ_CHECK(Record->NewCount <= Record->MessageCount);
      POSTVANE_FUZZ_CHECK((outcome.Result == MailboxResult::NewMail) == (Record->NewCount > 0));
    } else {
      POSTVANE_FUZZ_CHECK(Record->State == MailboxState::Idle);
      POSTVANE_FUZZ_CHECK(outcome.Text == Record->StatusText);
    }
  }

 private:
  // Whole known command lines; several in one write only for pipelined TOP commands; TOP asks
  // only for messages that are there.
  void CheckLines(std::string_view bytes) {
    POSTVANE_FUZZ_CHECK(bytes.size() >= 2 && bytes.ends_with("\r\n"));
    std::size_t start = 0;
    std::size_t lines = 0;
    for (std::size_t end = bytes.find("\r\n"); end != std::string_view::npos;
         end = bytes.find("\r\n", start)) {
      const std::string_view line = bytes.substr(start, end - start);
      start = end + 2;
      ++lines;
      POSTVANE_FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
      POSTVANE_FUZZ_CHECK(lines == 1 || line.starts_with("TOP "));
      CheckLine(line);
      LastLine = std::string(line);
    }
    POSTVANE_FUZZ_CHECK(start == bytes.size());
  }

  void CheckLine(std::string_view line) {
    if (line.starts_with("TOP ")) {
      const int n = std::stoi(std::string(line.substr(4)));
      POSTVANE_FUZZ_CHECK(line == "TOP " + std::to_string(n) + " 0");
      POSTVANE_FUZZ_CHECK(n >= 1 && n <= Record->MessageCount);
      return;
    }
    const bool secret = line == "USER alice" || line == std::string("PASS ") + kPassword;
    const bool known = secret || line == "STAT" || line == "LAST" || line == "UIDL" ||
                       line == "QUIT" || line == "CAPA" || line == "STLS";
    POSTVANE_FUZZ_CHECK(known);
    if (secret) {
      POSTVANE_FUZZ_CHECK(EffectiveSecurity(Record->Security) == SecurityMode::None || Encrypted);
    }
  }
};

struct Rig {
  MailboxRecord Box;
  bool HeaderFetchUnfinished = false;
  std::size_t UidlLimit = kUidlBufferLimit;
  std::size_t HeaderLimit = kHeaderBufferLimit;
  std::unique_ptr<CheckedOutput> Output;
  std::unique_ptr<MailboxSession> Session;
  MailboxState Before = MailboxState::Idle;
  // This connection's header fetch began, and no acknowledgement came since.
  bool Fetched = false;

  // A new connection is asked for, as the engine does it; the old one is dropped.
  void Restart() {
    Session.reset();
    Output = std::make_unique<CheckedOutput>();
    Output->Record = &Box;
    Box.State = MailboxState::Connecting;
    Box.RejectedCertificate = {};
    Session = MakeMailboxSession({.Record = Box,
                                  .Output = *Output,
                                  .LanguageBase = 900,
                                  .Charsets = nullptr,
                                  .UidlLimit = UidlLimit,
                                  .HeaderLimit = HeaderLimit,
                                  .HeaderFetchUnfinished = HeaderFetchUnfinished});
  }

  // The engine drops a session that finished or lost its connection.
  void DropEnded() {
    if (Session && (Output->Finished || Output->Gone)) {
      if (Output->Gone) Box.State = MailboxState::Idle;
      Session.reset();
    }
  }

  // Lost connection or an error: the engine drops the session, the check fails.
  void Lose() {
    if (!Session) return;
    Session.reset();
    Box.State = MailboxState::Idle;
  }
};

void SetUp(Rig& rig, FuzzInput& in) {
  MailboxRecord& box = rig.Box;
  box.Headers.resize(1);
  box.Name = "Box";
  box.RemoteHost = "pop.test";
  box.RemotePort = 110;
  box.User = "alice";
  box.Password = kPassword;
  box.Enabled = kTrue;
  in.Word();
  box.LastMail = (in.Word() & 1) != 0 ? kTrue : kFalse;
  const uint8_t uid = in.Byte();
  if (uid != 0) box.UIDL = Uid(uid);
  in.Bytes(9);
  const uint8_t limits = in.Byte();
  if (limits != 0) {
    rig.UidlLimit = std::size_t{16} << (limits & 15);
    rig.HeaderLimit = std::size_t{16} << (limits >> 4);
  }
  in.Byte();
}

std::string UidlReply(const MailboxRecord& box, uint8_t variant, uint16_t number) {
  const int lines = box.MessageCount <= 200 ? box.MessageCount : number % 200;
  const int offset = variant >> 5;
  std::string text = "+OK\r\n";
  for (int n = 1; n <= lines; ++n) {
    // Now and then a line without a blank, or with blanks around the unique-id.
    if ((variant & 8) != 0 && n == lines) {
      text += std::to_string(n) + "\r\n";
    } else if ((variant & 16) != 0 && n == 1) {
      text += std::to_string(n) + "   " + Uid(n + offset) + "  \r\n";
    } else {
      text += std::to_string(n) + " " + Uid(n + offset) + "\r\n";
    }
  }
  // Without the end the listing stays open for later blocks.
  if ((variant & 4) == 0) text += ".\r\n";
  return text;
}

std::string TopReply(const MailboxSession& session, uint8_t variant) {
  const std::string n = std::to_string(session.CurrentMessage());
  std::string text = "+OK\r\n";
  if ((variant & 4) != 0) text += "Delivered-To: first@test\r\n";
  text +=
      "From: \"Sender " + n + "\" <s@test>\r\nTo: rcpt@test\r\nSubject:   subject " + n + "  \r\n";
  if ((variant & 8) != 0) text += "X-Priority: 1 (Highest)\r\n";
  text += "Date: Tue, 5 Mar 2024 08:15:00 +0100\r\n\r\n";
  if ((variant & 16) == 0) text += ".\r\n";
  return text;
}

// A reply the way a server would give it in the current step; one in four is a rejection.
// Numbers past 32767 come up as well.
std::string Reply(Rig& rig, FuzzInput& in) {
  const uint8_t variant = in.Byte();
  const uint16_t number = in.Word();
  const bool accepted = (variant & 3) != 0;
  const MailboxRecord& box = rig.Box;
  const int small = (variant & 0x80) != 0 ? number : number % 40;
  const std::string last = rig.Output ? rig.Output->LastLine : std::string();
  if (box.State == MailboxState::Connected && last == "CAPA") {
    if (!accepted) return "-ERR Unknown command\r\n";
    std::string text = "+OK\r\nTOP\r\nUIDL\r\n";
    if ((variant & 4) == 0) text += "STLS\r\n";
    if ((variant & 8) != 0) text += "PIPELINING\r\n";
    return text + ".\r\n";
  }
  if (box.State == MailboxState::Connected && last == "STLS") {
    if (!accepted) return "-ERR TLS not available\r\n";
    return (variant & 4) != 0 ? "+OK Begin TLS\r\n+OK injected\r\n" : "+OK Begin TLS\r\n";
  }
  switch (box.State) {
    case MailboxState::Connected:
      return accepted ? "+OK Dovecot (Debian) ready.\r\n" : "-ERR Service unavailable\r\n";
    case MailboxState::UserSent:
      if (accepted) return "+OK\r\n";
      return (variant & 4) != 0 ? "-ERR maildrop lock busy\r\n" : "-ERR no such user\r\n";
    case MailboxState::PassSent:
      if (accepted) return "+OK Logged in.\r\n";
      return (variant & 4) != 0 ? "-ERR [IN-USE] Mailbox is locked by another POP3 session.\r\n"
                                : "-ERR [AUTH] Authentication failed.\r\n";
    case MailboxState::StatSent:
      if (!accepted) return "-ERR Unknown command\r\n";
      if ((variant & 4) != 0) return "+OK " + std::to_string(small) + "\r\n";
      return "+OK " + std::to_string(small) + " " + std::to_string(number * 100) + "\r\n";
    case MailboxState::LastSent:
      return accepted ? "+OK " + std::to_string(small % (box.MessageCount + 2)) + "\r\n"
                      : "-ERR Unknown command: LAST\r\n";
    case MailboxState::UidlSent:
      return accepted ? UidlReply(box, variant, number) : "-ERR Unknown command: UIDL\r\n";
    case MailboxState::TopSent:
      return accepted && rig.Session ? TopReply(*rig.Session, variant) : "-ERR No such message\r\n";
    case MailboxState::QuitSent:
      return accepted ? "+OK Logging out.\r\n" : "-ERR Disconnected for inactivity.\r\n";
    default:
      return "+OK\r\n";
  }
}

// Server data never holds the password, so any password in the log is the session's.
std::string WithoutPassword(std::string bytes) {
  const std::string_view password = kPassword;
  for (std::size_t at = bytes.find(password); at != std::string::npos;
       at = bytes.find(password, at + 1)) {
    bytes[at] = '?';
  }
  return bytes;
}

void CheckInvariants(Rig& rig) {
  const MailboxRecord& box = rig.Box;
  const MailboxState before = std::exchange(rig.Before, box.State);
  const int16_t code = StateCode(box.State);
  POSTVANE_FUZZ_CHECK(code >= 0 && code <= 9);
  POSTVANE_FUZZ_CHECK(box.MessageCount >= 0);
  POSTVANE_FUZZ_CHECK(box.NewCount >= 0);
  POSTVANE_FUZZ_CHECK(box.LastAccessed >= -1);
  POSTVANE_FUZZ_CHECK(!box.Headers.empty());
  const MessageHeader& unused = box.Headers[0];
  POSTVANE_FUZZ_CHECK(unused.From.empty() && unused.To.empty() && unused.Subject.empty() &&
                      unused.Priority.empty() && unused.Date.empty());
  if (before == MailboxState::UidlSent && box.State == MailboxState::QuitSent) {
    // No fetch: nothing new, or as many as the headers already held.
    POSTVANE_FUZZ_CHECK(box.NewCount == 0 || HeadersUpperBound(box) == box.NewCount);
  }
  if (box.State != MailboxState::TopSent && box.State != MailboxState::QuitSent) {
    rig.Fetched = false;
  }
  if (box.State == MailboxState::QuitSent) {
    // QUIT follows only a completed evaluation, which caps the count.
    POSTVANE_FUZZ_CHECK(box.NewCount <= box.MessageCount);
  }
  if (!rig.Session) return;
  const MailboxSession& session = *rig.Session;
  POSTVANE_FUZZ_CHECK(session.CurrentMessage() >= 0);
  POSTVANE_FUZZ_CHECK(session.ListingBuffer().size() <= rig.UidlLimit);
  POSTVANE_FUZZ_CHECK(session.HeaderBuffer().size() <= rig.HeaderLimit);
  if (before == MailboxState::UidlSent && box.State == MailboxState::TopSent) {
    // The header fetch starts: one element per new message, oldest new one first.
    POSTVANE_FUZZ_CHECK(box.NewCount >= 1);
    POSTVANE_FUZZ_CHECK(session.CurrentMessage() == box.MessageCount - box.NewCount + 1);
    rig.Fetched = true;
  }
  if (rig.Fetched) POSTVANE_FUZZ_CHECK(HeadersUpperBound(box) == box.NewCount);
  if (box.State == MailboxState::TopSent && rig.Fetched) {
    POSTVANE_FUZZ_CHECK(session.CurrentMessage() >= box.MessageCount - box.NewCount + 1);
    POSTVANE_FUZZ_CHECK(session.CurrentMessage() <= box.MessageCount);
  }
  // The login waits for a secure connection where one is asked for.
  if (session.Securing()) {
    POSTVANE_FUZZ_CHECK(box.State == MailboxState::Connecting ||
                        box.State == MailboxState::Connected);
  }
}

void Deliver(Rig& rig, const std::string& bytes) {
  if (rig.Session && !bytes.empty()) rig.Session->OnData(WithoutPassword(bytes));
}

void Run(Rig& rig, FuzzInput& in) {
  const uint8_t event = in.Byte() % kEventCount;
  switch (event) {
    case kData:
      Deliver(rig, in.ShortText());
      break;
    case kLongData:
      Deliver(rig, in.LongText());
      break;
    case kReply:
      Deliver(rig, Reply(rig, in));
      break;
    case kSplitReply: {
      const std::string reply = Reply(rig, in);
      std::vector<std::size_t> cuts;
      const int count = in.Byte() % 8;
      for (int k = 0; k < count; ++k) cuts.push_back(in.Byte() % (reply.size() + 1));
      std::sort(cuts.begin(), cuts.end());
      std::size_t start = 0;
      for (std::size_t cut : cuts) {
        Deliver(rig, reply.substr(start, cut - start));
        rig.DropEnded();
        CheckInvariants(rig);
        start = cut;
      }
      Deliver(rig, reply.substr(start));
      break;
    }
    case kConnect:
      if (rig.Session) rig.Session->OnConnected();
      break;
    case kLost:
      in.Byte();
      rig.Lose();
      break;
    case kPeerClose:
      if (rig.Session && rig.Box.State == MailboxState::QuitSent) {
        rig.Session->OnQuitWaitOver();
      } else if (rig.Session && IsChecking(rig.Box) && rig.Box.State != MailboxState::Connecting) {
        rig.Lose();
      }
      break;
    case kTimeout:
      if (rig.Session && rig.Session->Securing()) {
        rig.Session->OnSecureTimeout();
      } else if (rig.Session && rig.Box.State == MailboxState::Connecting) {
        rig.Lose();
      }
      break;
    case kQuitTick:
      if (rig.Session) rig.Session->OnQuitWaitOver();
      break;
    case kRestart:
      rig.Restart();
      break;
    case kWriteFails:
      if (rig.Output) rig.Output->WritesLeft = in.Byte() % 8;
      break;
    case kAcknowledge:
      in.Byte();
      if (rig.Box.NewCount != 0) {
        rig.Box.UIDL = rig.Box.NewestUidl;
        rig.Box.NewCount = 0;
      }
      rig.Fetched = false;
      break;
    case kToggle:
      if ((in.Byte() & 0x80) != 0 && !IsChecking(rig.Box)) {
        rig.Box.LastMail = rig.Box.LastMail != kFalse ? kFalse : kTrue;
      }
      break;
    case kTlsRefused:
      if (rig.Output) rig.Output->RefuseTls = true;
      Deliver(rig, in.ShortText());
      break;
    case kStaleTicks:
      if (rig.Session) {
        rig.Session->OnQuitWaitOver();
        rig.DropEnded();
      }
      if (rig.Session) rig.Session->OnSecureTimeout();
      break;
    case kFlood: {
      const std::size_t size = (std::size_t{in.Byte()} + 1) * 64;
      Deliver(rig, std::string(size, static_cast<char>(in.Byte())));
      break;
    }
    case kSecurity: {
      in.Byte();
      const auto code = static_cast<int16_t>(in.Byte() % 4);
      // Read when the connection comes up; the dialog cannot change it during a check.
      if (!IsChecking(rig.Box)) rig.Box.Security = code;
      break;
    }
    case kHandshake: {
      TlsHandshake result;
      result.Failure = static_cast<TlsFailure>(in.Byte() % 6);
      result.Protocol = "TLSv1.3";
      result.Certificate.Fingerprint = std::string(64, 'A');
      if (rig.Session) {
        if (rig.Output->TlsAsked && result.Succeeded()) rig.Output->Encrypted = true;
        rig.Output->TlsAsked = false;
        rig.Session->OnHandshake(result);
      }
      break;
    }
    default:
      break;
  }
  rig.DropEnded();
  CheckInvariants(rig);
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane::fuzz;
  FuzzInput in(data, size);
  Rig rig;
  SetUp(rig, in);
  while (!in.Empty()) Run(rig, in);
  return 0;
}
