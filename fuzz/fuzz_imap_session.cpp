// Fuzz target: one IMAP mailbox's sessions fed what connections deliver, in random blocks,
// mixed with connects, TLS handshakes, time-outs, failed writes and new connections. Checked
// after every call: the password never reaches the log, LOGIN and AUTHENTICATE never go out on
// a connection less secure than the mailbox asks, every write is whole lines, and nothing is
// asked of a connection once the session finished or lost it.
//
// Input: 0 the Security code (0-2, anything else unknown), 1 the saved UIDVALIDITY, 2 the saved
// last UID, 3 bit 0: small reply bounds; then events, each an event byte and its arguments.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "check/connection_security.h"
#include "check/mailbox_session.h"
#include "fuzz_input.h"

namespace postvane::fuzz {
namespace {

constexpr const char* kPassword = "Pw!Zq7Xka~";

enum Event : uint8_t {
  kData = 0,        // byte count, bytes
  kLongData = 1,    // 16-bit count, bytes
  kConnect = 2,     // the connection comes up
  kHandshake = 3,   // outcome byte: 0 succeeded, else a failure
  kTimeout = 4,     // the connect time-out runs out
  kQuitTick = 5,    // the wait for the LOGOUT reply is over
  kRestart = 6,     // a new connection (and session)
  kWriteFails = 7,  // count: writes from that one on find the connection gone
  kTlsRefused = 8,  // the next handshake cannot begin
  kEventCount = 9,
};

class CheckedOutput : public SessionOutput {
 public:
  MailboxRecord* Record = nullptr;
  bool Encrypted = false;
  bool HandshakeAsked = false;
  bool RefuseTls = false;
  bool Finished = false;
  bool Gone = false;
  int WritesLeft = -1;

  bool Write(std::string_view bytes) override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    POSTVANE_FUZZ_CHECK(bytes.size() >= 2 && bytes.ends_with("\r\n"));
    const std::string_view line = bytes.substr(0, bytes.size() - 2);
    POSTVANE_FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
    const bool secret = Contains(line, " LOGIN ") || Contains(line, " AUTHENTICATE ") ||
                        Contains(line, kPassword) || !Contains(line, " ");
    if (secret && Record->Security != 0) POSTVANE_FUZZ_CHECK(Encrypted);
    if (WritesLeft == 0) {
      Gone = true;
      return false;
    }
    if (WritesLeft > 0) --WritesLeft;
    return true;
  }
  bool StartTls(const TlsRequest& request) override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone && !Encrypted);
    POSTVANE_FUZZ_CHECK(request.HostName == "imap.test");
    HandshakeAsked = !RefuseTls;
    return !RefuseTls;
  }
  void Log(int16_t code, std::string_view text) override {
    POSTVANE_FUZZ_CHECK(!Finished);
    POSTVANE_FUZZ_CHECK(code >= 0 && code <= 9);
    POSTVANE_FUZZ_CHECK(!Contains(text, kPassword));
  }
  void StopConnectTimeout() override { POSTVANE_FUZZ_CHECK(!Finished && !Gone); }
  void StartQuitWait() override { POSTVANE_FUZZ_CHECK(!Finished && !Gone); }
  void StopQuitWait() override { POSTVANE_FUZZ_CHECK(!Finished && !Gone); }
  void Finish(const MailboxOutcome& outcome) override {
    POSTVANE_FUZZ_CHECK(!Finished && !Gone);
    Finished = true;
    if (outcome.Counted()) {
      POSTVANE_FUZZ_CHECK(Record->State == MailboxState::QuitSent);
      POSTVANE_FUZZ_CHECK((outcome.Result == MailboxResult::NewMail) == (Record->NewCount > 0));
      POSTVANE_FUZZ_CHECK(Record->NewCount >= 0 && Record->MessageCount >= 0);
      POSTVANE_FUZZ_CHECK(static_cast<int>(Record->Headers.size()) <= Record->NewCount + 1 ||
                          Record->NewCount == 0);
    } else {
      POSTVANE_FUZZ_CHECK(Record->State == MailboxState::Idle);
      POSTVANE_FUZZ_CHECK(outcome.Text == Record->StatusText);
    }
  }
};

struct Rig {
  MailboxRecord Box;
  bool Unfinished = false;
  std::size_t UidlLimit = kUidlBufferLimit;
  std::size_t HeaderLimit = kHeaderBufferLimit;
  std::unique_ptr<CheckedOutput> Output;
  std::unique_ptr<MailboxSession> Session;

  void Restart() {
    Session.reset();
    Output = std::make_unique<CheckedOutput>();
    Output->Record = &Box;
    Box.State = MailboxState::Connecting;
    Session = MakeMailboxSession({.Record = Box,
                                  .Output = *Output,
                                  .LanguageBase = 900,
                                  .Charsets = nullptr,
                                  .UidlLimit = UidlLimit,
                                  .HeaderLimit = HeaderLimit,
                                  .HeaderFetchUnfinished = Unfinished});
  }
  bool Live() const { return Session && !Output->Finished && !Output->Gone; }
};

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane;
  using namespace postvane::fuzz;
  FuzzInput input(data, size);
  Rig rig;
  const uint8_t security = input.Byte();
  rig.Box.Security = security <= 2 ? security : kUnknownSecurity;
  rig.Box.Protocol = 1;
  rig.Box.User = "alice";
  rig.Box.Password = kPassword;
  rig.Box.RemoteHost = "imap.test";
  rig.Box.Enabled = kTrue;
  rig.Box.ImapUidValidity = input.Byte();
  rig.Box.ImapLastUid = input.Byte();
  if ((input.Byte() & 1) != 0) {
    rig.UidlLimit = 256;
    rig.HeaderLimit = 64;
  }
  rig.Restart();
  bool refuseNext = false;
  int events = 0;
  while (!input.Empty() && ++events < 4096) {
    const uint8_t event = input.Byte() % kEventCount;
    if (event == kRestart) {
      rig.Restart();
      rig.Output->RefuseTls = refuseNext;
      continue;
    }
    if (event == kTlsRefused) {
      refuseNext = true;
      if (rig.Output) rig.Output->RefuseTls = true;
      continue;
    }
    if (event == kWriteFails) {
      rig.Output->WritesLeft = input.Byte() % 8;
      continue;
    }
    std::string bytes;
    if (event == kData) bytes = input.ShortText();
    if (event == kLongData) bytes = input.LongText();
    // What the server sends is logged as it came: a server that knows the password could put it
    // there itself, which says nothing about the session.
    for (std::size_t at = bytes.find(kPassword); at != std::string::npos;
         at = bytes.find(kPassword)) {
      bytes[at] = '_';
    }
    const uint8_t outcome = event == kHandshake ? input.Byte() : 0;
    if (!rig.Live()) continue;
    switch (event) {
      case kData:
      case kLongData:
        rig.Session->OnData(bytes);
        break;
      case kConnect:
        rig.Session->OnConnected();
        break;
      case kHandshake: {
        if (!rig.Output->HandshakeAsked) break;
        TlsHandshake result;
        result.Failure = outcome == 0 ? TlsFailure::None : TlsFailure::Untrusted;
        rig.Output->HandshakeAsked = false;
        rig.Output->Encrypted = result.Succeeded();
        rig.Session->OnHandshake(result);
        break;
      }
      case kTimeout:
        if (rig.Session->Securing()) rig.Session->OnSecureTimeout();
        break;
      case kQuitTick:
        rig.Session->OnQuitWaitOver();
        break;
      default:
        break;
    }
  }
  return 0;
}
