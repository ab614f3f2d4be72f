// The IMAP dialogue with one server over one connection: greeting, capabilities, STARTTLS,
// login, EXAMINE of the folder, the search for new mail, the header fetch and LOGOUT, step by
// step as the connection's events arrive. The check only reads: EXAMINE and BODY.PEEK never
// change a flag. Only after the count, a mailbox with MarkReadOnAck that has acknowledged
// messages waiting selects the folder and stores \Seen on them, then logs out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/connection_security.h"
#include "check/imap_reader.h"
#include "check/mailbox_session.h"
#include "check/sasl_oauth.h"
#include "check/secure_start.h"
#include "text/own_text.h"

namespace postvane {

// Headers of at most this many of the newest new messages are fetched in one check.
inline constexpr std::size_t kImapHeaderFetchLimit = 500;

class ImapSession : public MailboxSession {
 public:
  explicit ImapSession(const SessionSetup& setup);

  void OnConnected() override;
  void OnData(std::string_view bytes) override;
  void OnHandshake(const TlsHandshake& result) override;
  void OnTlsNotStarted() override;
  bool Securing() const override;
  void OnSecureTimeout() override;
  void OnQuitWaitOver() override;

  const std::vector<std::string>& ServerCapabilities() const override { return capabilities_; }
  const std::string& ListingBuffer() const override { return empty_; }
  const std::string& HeaderBuffer() const override { return empty_; }
  int16_t CurrentMessage() const override { return 0; }

 private:
  enum class Step {
    Connecting,  // the connection, or TLS from the first byte, is being set up
    Greeting,
    Capability,
    StartTls,
    Upgrade,  // the handshake after STARTTLS
    Login,
    Examine,
    Search,
    Fetch,
    Select,  // the folder again, writable, to mark acknowledged mail read
    Store,
    Logout,
    Ended,
  };
  static MailboxState Shown(Step step);
  void Enter(Step step);
  int16_t Code() const { return StateCode(record_.State); }

  void Handle(const ImapResponse& response);
  void OnUntagged(const ImapResponse& response);
  void OnTagged(const ImapStatus& status);
  void OnContinuation(std::string_view text);
  void OnGreeting(const ImapStatus& status);
  void NoteAlert(const ImapStatus& status);
  void AfterCapabilities();
  void SendLogin();
  void SendOAuthLogin();
  void SendExamine();
  void SendSearch();
  void DecideHeaders();
  void OnFetch(const ImapResponse& response);
  void AfterCount();
  void SendNextStore();
  void OnMarkFailed(std::string_view serverText);
  void SendLogout();
  void ReadCapabilities(std::string_view words);
  bool HasCapability(std::string_view name) const;

  // A command with the next tag; the log gets `logText` in its place (never a password).
  bool Send(std::string_view command, std::string_view logText);
  bool SendRaw(const std::string& line, std::string_view logText);

  void StartHandshake();
  void FailSecure(SecureFailure failure);
  void Fail(OwnText id, std::string_view serverText = {});
  void FailWithText(std::string text);
  void EndMailbox(const MailboxOutcome& outcome);
  void FinishCounted();

  MailboxRecord& record_;
  SessionOutput& out_;
  int16_t languageBase_;
  const CharsetConverter* charsets_;
  bool& headerFetchUnfinished_;
  ImapReader reader_;
  SecurityMode mode_ = SecurityMode::None;

  Step step_ = Step::Connecting;
  // The connection is as secure as the mailbox asks.
  bool secured_ = false;
  // A write found the connection gone: nothing more is done.
  bool stopped_ = false;
  bool preauth_ = false;
  bool authenticating_ = false;
  unsigned nextTag_ = 1;
  std::string pendingTag_;
  std::vector<std::string> capabilities_;
  // The SASL PLAIN answer waits for the server's "+".
  std::string pendingCredentials_;
  // The login carries an OAuth access token; a server's error challenge is answered once and
  // its reason kept for the failure text.
  bool oauth_ = false;
  SaslMechanism mechanism_ = SaslMechanism::XOAuth2;
  bool challengeAnswered_ = false;
  std::string signInReason_;

  uint32_t exists_ = 0;
  uint32_t uidValidity_ = 0;
  uint32_t acknowledgedUid_ = 0;
  std::vector<uint32_t> newUids_;
  // The UIDs to mark read, ascending, sent in slices from storeAt_; the folder must keep
  // markValidity_ for them to be the same messages.
  std::vector<uint32_t> marks_;
  std::size_t storeAt_ = 0;
  uint32_t markValidity_ = 0;
  std::vector<uint32_t> fetchUids_;  // newest first; Headers[i + 1] belongs to fetchUids_[i]
  std::string empty_;
};

}  // namespace postvane
