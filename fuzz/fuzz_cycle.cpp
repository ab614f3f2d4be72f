// Fuzz target: the check cycle over fakes, with the sessions it makes. Server data arrives in
// random blocks, in any state, mixed with connect, error, close, timer, restart, acknowledge and
// TLS handshake events, over several mailboxes and cycles; the invariants are checked after every
// event. USER and PASS must never leave in clear text for a mailbox that asks for TLS.
//
// Input: 16 bytes of set-up, then events until the input ends (see Event below).
//   0-1   mask of enabled mailboxes      2-3  mask of LastMail
//   4-13  acknowledged UIDL per mailbox: 0 none, n the unique-id "u<n>"
//   14    buffer limits: 0 the engine's own, otherwise low and high nibble pick small ones
//   15    receive log on (odd) or off
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "check/check_engine.h"
#include "check/connection_security.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_cycle_hooks.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "fuzz_input.h"
#include "settings/program_paths.h"

namespace postvane::fuzz {
namespace {

enum Event : uint8_t {
  kData = 0,           // byte count, bytes
  kLongData = 1,       // 16-bit count, bytes
  kReply = 2,          // variant, 16-bit number: a well-formed reply for the current state
  kSplitReply = 3,     // variant, number, cut count, cuts: the same reply in several blocks
  kConnect = 4,        // the socket reports the connection
  kError = 5,          // which error
  kPeerClose = 6,      // the server closed the connection
  kTimeout = 7,        // the connect time-out ticks (when running)
  kQuitTick = 8,       // the quit wait ticks (when running)
  kRestart = 9,        // a new cycle starts (scheduler, menu, MDaemon)
  kConnectFails = 10,  // kind and count of connect requests that will fail
  kAcknowledge = 11,   // mailbox: the tray click takes NewestUidl over and zeroes NewCount
  kToggle = 12,        // mailbox and field: the configuration dialog flips Enabled or LastMail
  kReadFails = 13,     // the next read of the socket fails; its bytes stay for the read after
  kStaleTicks = 14,    // both tick handlers run as if a tick had been queued before a stop
  kFlood = 15,         // size in 64 bytes, byte value: a big block of one byte
  kSecurity = 16,      // mailbox, code: the dialog sets Security of a mailbox not under way
  kHandshake = 17,     // outcome: the socket ends a TLS handshake (stale ones included)
  kEventCount = 18,
};

// Free of the quote, comma, hash and line breaks that frame a log record, so it can only show
// up in the log if the engine put it there.
std::string PasswordOf(int index) {
  return "Pw!Zq7Xk" + std::string(1, static_cast<char>('a' + index)) + "~";
}

std::string Uid(int n) { return "u" + std::to_string(n); }

// The socket refuses a second connection while one is open; the engine must never try.
class StrictSocket : public FakeSocket {
 public:
  SocketError Connect() override {
    POSTVANE_FUZZ_CHECK(!Open);
    return FakeSocket::Connect();
  }
};

struct Rig {
  ProgramState State;
  StrictSocket Socket;
  FakeTimer Timeout{kConnectTimeoutMs};
  FakeTimer TimerQuit{kQuitWaitMs};
  FakeClock Clock;
  FakeFileSystem Files;
  FakeCycleHooks Hooks;
  ReceiveLogTarget LogTarget{State.General.ReceiveLog, State.Paths.ReceiveLog};
  CheckEngine Engine{State, Socket, Timeout, TimerQuit, Clock, Files, Hooks, LogTarget};
  std::size_t UidlLimit = kUidlBufferLimit;
  std::size_t HeaderLimit = kHeaderBufferLimit;

  MailboxRecord& Box(int index) { return State.Mailboxes[static_cast<std::size_t>(index)]; }
  MailboxRecord* Current() {
    const int16_t index = State.CurrentMailbox;
    return index >= 0 && index < kUserMailboxes ? &Box(index) : nullptr;
  }
};

void SetUp(Rig& rig, FuzzInput& in) {
  rig.State.Paths = MakeProgramPaths("pv");
  const uint16_t enabled = in.Word();
  const uint16_t lastMail = in.Word();
  for (int i = 0; i < kUserMailboxes; ++i) {
    MailboxRecord& box = rig.Box(i);
    box.Headers.resize(1);
    box.Name = "Box " + std::to_string(i);
    box.RemoteHost = "pop" + std::to_string(i) + ".test";
    box.RemotePort = 110;
    box.User = "user" + std::to_string(i);
    box.Password = PasswordOf(i);
    box.Enabled = (enabled >> i) & 1 ? kTrue : kFalse;
    box.LastMail = (lastMail >> i) & 1 ? kTrue : kFalse;
  }
  for (int i = 0; i < kUserMailboxes; ++i) {
    const uint8_t uid = in.Byte();
    if (uid != 0) rig.Box(i).UIDL = Uid(uid);
  }
  const uint8_t limits = in.Byte();
  if (limits != 0) {
    rig.UidlLimit = std::size_t{16} << (limits & 15);
    rig.HeaderLimit = std::size_t{16} << (limits >> 4);
    rig.Engine.SetBufferLimits(rig.UidlLimit, rig.HeaderLimit);
  }
  rig.State.General.ReceiveLog = (in.Byte() & 1) != 0 ? kTrue : kFalse;
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

std::string TopReply(const CheckEngine& engine, uint8_t variant) {
  std::string text = "+OK\r\n";
  if ((variant & 4) != 0) text += "Delivered-To: first@test\r\n";
  text += "From: \"Sender " + std::to_string(engine.CurrentMessage()) + "\" <s@test>\r\n";
  text +=
      "To: rcpt@test\r\nSubject:   subject " + std::to_string(engine.CurrentMessage()) + "  \r\n";
  if ((variant & 8) != 0) text += "X-Priority: 1 (Highest)\r\n";
  text += "Date: Tue, 5 Mar 2024 08:15:00 +0100\r\n\r\n";
  if ((variant & 16) == 0) text += ".\r\n";
  return text;
}

// A reply the way a server would give it in the current mailbox's state; one in four is a
// rejection. Numbers past 32767 come up as well.
std::string Reply(Rig& rig, FuzzInput& in) {
  const uint8_t variant = in.Byte();
  const uint16_t number = in.Word();
  const bool accepted = (variant & 3) != 0;
  const MailboxRecord* box = rig.Current();
  const MailboxState state = box != nullptr ? box->State : MailboxState::Idle;
  const int small = (variant & 0x80) != 0 ? number : number % 40;
  // The secure start: replies to what was asked last.
  const std::string last = rig.Socket.LastLine();
  if (state == MailboxState::Connected && last == "CAPA") {
    if (!accepted) return "-ERR Unknown command\r\n";
    std::string text = "+OK\r\nTOP\r\nUIDL\r\n";
    if ((variant & 4) == 0) text += "STLS\r\n";
    if ((variant & 8) != 0) text += "PIPELINING\r\n";
    return text + ".\r\n";
  }
  if (state == MailboxState::Connected && last == "STLS") {
    if (!accepted) return "-ERR TLS not available\r\n";
    return (variant & 4) != 0 ? "+OK Begin TLS\r\n+OK injected\r\n" : "+OK Begin TLS\r\n";
  }
  switch (state) {
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
      return accepted ? "+OK " + std::to_string(small % (box->MessageCount + 2)) + "\r\n"
                      : "-ERR Unknown command: LAST\r\n";
    case MailboxState::UidlSent:
      return accepted ? UidlReply(*box, variant, number) : "-ERR Unknown command: UIDL\r\n";
    case MailboxState::TopSent:
      return accepted ? TopReply(rig.Engine, variant) : "-ERR No such message\r\n";
    case MailboxState::QuitSent:
      return accepted ? "+OK Logging out.\r\n" : "-ERR Disconnected for inactivity.\r\n";
    default:
      return "+OK\r\n";
  }
}

// Removes the passwords from server data, so that any password in the log is the engine's.
std::string WithoutPasswords(std::string bytes) {
  for (int i = 0; i < kUserMailboxes; ++i) {
    const std::string password = PasswordOf(i);
    for (std::size_t at = bytes.find(password); at != std::string::npos;
         at = bytes.find(password, at + 1)) {
      bytes[at] = '?';
    }
  }
  return bytes;
}

class Checker {
 public:
  explicit Checker(Rig& rig) : rig_(rig) {
    rig_.Hooks.OnCall = [this](const std::string& name) { OnHook(name); };
    Remember();
  }

  void Acknowledged(int index) { fetched_[static_cast<std::size_t>(index)] = false; }

  // Everything that must hold whatever the server sent and whatever happened since.
  void AfterEvent() {
    const ProgramState& state = rig_.State;
    POSTVANE_FUZZ_CHECK(state.CurrentMailbox >= 0 && state.CurrentMailbox <= kEndOfCycle);
    POSTVANE_FUZZ_CHECK(rig_.Engine.CurrentMessage() >= 0);
    POSTVANE_FUZZ_CHECK(rig_.Engine.UidlBuffer().size() <= rig_.UidlLimit);
    POSTVANE_FUZZ_CHECK(rig_.Engine.HeaderBuffer().size() <= rig_.HeaderLimit);

    for (std::size_t i = 0; i < state.Mailboxes.size(); ++i) {
      const MailboxRecord& box = state.Mailboxes[i];
      const int16_t code = StateCode(box.State);
      POSTVANE_FUZZ_CHECK(code >= 0 && code <= 9);
      POSTVANE_FUZZ_CHECK(box.MessageCount >= 0);
      POSTVANE_FUZZ_CHECK(box.NewCount >= 0);
      POSTVANE_FUZZ_CHECK(box.LastAccessed >= -1);
      if (i == kEndOfCycle) {
        // The end-of-cycle slot is a position, never a mailbox.
        POSTVANE_FUZZ_CHECK(box.State == MailboxState::Idle);
        POSTVANE_FUZZ_CHECK(box.Headers.empty() && box.StatusText.empty());
        continue;
      }
      POSTVANE_FUZZ_CHECK(!box.Headers.empty());
      const MessageHeader& unused = box.Headers[0];
      POSTVANE_FUZZ_CHECK(unused.From.empty() && unused.To.empty() && unused.Subject.empty() &&
                          unused.Priority.empty() && unused.Date.empty());

      const MailboxState before = before_[i];
      if (before == MailboxState::UidlSent && box.State == MailboxState::TopSent) {
        // The header fetch starts: one element per new message, oldest new one first.
        POSTVANE_FUZZ_CHECK(box.NewCount >= 1);
        POSTVANE_FUZZ_CHECK(rig_.Engine.CurrentMessage() == box.MessageCount - box.NewCount + 1);
        fetched_[i] = true;
      }
      if (before == MailboxState::UidlSent && box.State == MailboxState::QuitSent) {
        // No fetch: nothing new, or as many as the headers already held.
        POSTVANE_FUZZ_CHECK(box.NewCount == 0 || HeadersUpperBound(box) == box.NewCount);
      }
      if (box.State != MailboxState::TopSent && box.State != MailboxState::QuitSent) {
        fetched_[i] = false;
      }
      if (fetched_[i]) POSTVANE_FUZZ_CHECK(HeadersUpperBound(box) == box.NewCount);
      if (box.State == MailboxState::QuitSent) {
        // QUIT follows only a completed evaluation, which caps the count.
        POSTVANE_FUZZ_CHECK(box.NewCount <= box.MessageCount);
      }
      if (box.State == MailboxState::TopSent && fetched_[i] &&
          static_cast<int>(i) == state.CurrentMailbox && rig_.Engine.DialogueRunning()) {
        POSTVANE_FUZZ_CHECK(rig_.Engine.CurrentMessage() >= box.MessageCount - box.NewCount + 1);
        POSTVANE_FUZZ_CHECK(rig_.Engine.CurrentMessage() <= box.MessageCount);
      }
    }

    CheckSent();
    CheckLog();
    Remember();
  }

 private:
  void Remember() {
    for (std::size_t i = 0; i < rig_.State.Mailboxes.size(); ++i) {
      before_[i] = rig_.State.Mailboxes[i].State;
    }
  }

  void OnHook(const std::string& name) {
    if (name == "NotifyNewMail") {
      // Once per completed cycle, right after the tray was brought up to date.
      POSTVANE_FUZZ_CHECK(rig_.State.CurrentMailbox == 0);
      const std::vector<std::string>& calls = rig_.Hooks.Calls;
      POSTVANE_FUZZ_CHECK(calls.size() >= 2 && calls[calls.size() - 2] == "RefreshTray");
    }
  }

  // Every write is whole known command lines, several only for pipelined TOP commands; TOP
  // asks only for messages that are there.
  void CheckSent() {
    const std::vector<std::string>& sent = rig_.Socket.Sent;
    for (; sentChecked_ < sent.size(); ++sentChecked_) {
      const std::string& bytes = sent[sentChecked_];
      POSTVANE_FUZZ_CHECK(bytes.size() >= 2 && bytes.ends_with("\r\n"));
      std::size_t start = 0;
      std::size_t lines = 0;
      for (std::size_t end = bytes.find("\r\n"); end != std::string::npos;
           end = bytes.find("\r\n", start)) {
        const std::string line = bytes.substr(start, end - start);
        start = end + 2;
        ++lines;
        POSTVANE_FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        POSTVANE_FUZZ_CHECK(lines == 1 || line.starts_with("TOP "));
        CheckLine(line);
      }
      POSTVANE_FUZZ_CHECK(start == bytes.size());
    }
  }

  void CheckLine(const std::string& line) {
    if (line.starts_with("TOP ")) {
      const MailboxRecord* box = rig_.Current();
      POSTVANE_FUZZ_CHECK(box != nullptr);
      const int n = std::stoi(line.substr(4));
      POSTVANE_FUZZ_CHECK(line == "TOP " + std::to_string(n) + " 0");
      POSTVANE_FUZZ_CHECK(n >= 1 && n <= box->MessageCount);
      return;
    }
    const bool secret = line.starts_with("USER user") || line.starts_with("PASS Pw!Zq7Xk");
    const bool known = secret || line == "STAT" || line == "LAST" || line == "UIDL" ||
                       line == "QUIT" || line == "CAPA" || line == "STLS";
    POSTVANE_FUZZ_CHECK(known);
    if (secret) {
      const MailboxRecord* box = rig_.Current();
      POSTVANE_FUZZ_CHECK(box != nullptr);
      POSTVANE_FUZZ_CHECK(EffectiveSecurity(box->Security) == SecurityMode::None ||
                          rig_.Socket.Encrypted);
    }
  }

  // The log only grows; each part is searched once, with enough overlap for a split password.
  void CheckLog() {
    const auto file = rig_.Files.Files.find(rig_.State.Paths.ReceiveLog);
    if (file == rig_.Files.Files.end()) return;
    const std::string& log = file->second;
    POSTVANE_FUZZ_CHECK(log.size() >= logChecked_);
    const std::size_t overlap = PasswordOf(0).size();
    const std::size_t from = logChecked_ > overlap ? logChecked_ - overlap : 0;
    for (int i = 0; i < kUserMailboxes; ++i) {
      POSTVANE_FUZZ_CHECK(log.find(PasswordOf(i), from) == std::string::npos);
    }
    logChecked_ = log.size();
  }

  Rig& rig_;
  std::array<MailboxState, kMailboxSlots> before_{};
  std::array<bool, kMailboxSlots> fetched_{};
  std::size_t sentChecked_ = 0;
  std::size_t logChecked_ = 0;
};

void Deliver(Rig& rig, const std::string& bytes) {
  rig.Socket.Pending = WithoutPasswords(rig.Socket.Pending + bytes);
  if (rig.Socket.Listener != nullptr) rig.Socket.Listener->OnDataArrival();
  rig.Socket.FailGetData = false;
}

int ErrorNumber(uint8_t which) {
  static constexpr std::array<int, 8> kNumbers = {
      kSocketAddressInUse, kSocketInvalidState, 10053, 10054, 10060, 10061, 11001, 30001};
  return kNumbers[which % kNumbers.size()];
}

void Run(Rig& rig, Checker& checker, FuzzInput& in) {
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
        checker.AfterEvent();
        start = cut;
      }
      Deliver(rig, reply.substr(start));
      break;
    }
    case kConnect:
      rig.Socket.RaiseConnect();
      break;
    case kError: {
      const int number = ErrorNumber(in.Byte());
      rig.Socket.RaiseError(number, "socket error " + std::to_string(number));
      break;
    }
    case kPeerClose:
      rig.Socket.RaisePeerClose();
      break;
    case kTimeout:
      rig.Timeout.Fire();
      break;
    case kQuitTick:
      rig.TimerQuit.Fire();
      break;
    case kRestart:
      rig.Engine.StartCycle();
      break;
    case kConnectFails: {
      const uint8_t how = in.Byte();
      const int number = ErrorNumber(how & 7);
      for (int k = 0; k <= (how >> 3) % 8; ++k) {
        rig.Socket.ConnectErrors.push_back({number, "connect error " + std::to_string(number)});
      }
      break;
    }
    case kAcknowledge: {
      const int index = in.Byte() % kUserMailboxes;
      MailboxRecord& box = rig.Box(index);
      if (box.NewCount != 0) {
        box.UIDL = box.NewestUidl;
        box.NewCount = 0;
      }
      checker.Acknowledged(index);
      break;
    }
    case kToggle: {
      const uint8_t which = in.Byte();
      MailboxRecord& box = rig.Box(which % kUserMailboxes);
      int16_t& field = (which & 0x80) != 0 ? box.LastMail : box.Enabled;
      field = field != kFalse ? kFalse : kTrue;
      break;
    }
    case kReadFails:
      rig.Socket.FailGetData = true;
      Deliver(rig, in.ShortText());
      break;
    case kStaleTicks:
      rig.Engine.OnTimeout();
      checker.AfterEvent();
      rig.Engine.OnQuitTimer();
      break;
    case kFlood: {
      const std::size_t size = (std::size_t{in.Byte()} + 1) * 64;
      Deliver(rig, std::string(size, static_cast<char>(in.Byte())));
      break;
    }
    case kSecurity: {
      const int index = in.Byte() % kUserMailboxes;
      const auto code = static_cast<int16_t>(in.Byte() % 4);
      // The engine reads the code when the connection comes up; the dialog cannot change it
      // under a mailbox that is being checked.
      if (index != rig.State.CurrentMailbox || !IsChecking(rig.Box(index))) {
        rig.Box(index).Security = code;
      }
      break;
    }
    case kHandshake: {
      TlsHandshake result;
      result.Failure = static_cast<TlsFailure>(in.Byte() % 6);
      result.Protocol = "TLSv1.3";
      result.Certificate.Fingerprint = std::string(64, 'A');
      rig.Socket.FinishHandshake(result);
      break;
    }
    default:
      break;
  }
  checker.AfterEvent();
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane::fuzz;
  FuzzInput in(data, size);
  Rig rig;
  SetUp(rig, in);
  Checker checker(rig);
  while (!in.Empty()) Run(rig, checker, in);
  return 0;
}
