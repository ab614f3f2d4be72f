// The mailbox table: one record per POP3 mailbox, settings and last check results.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "check/token_response.h"
#include "ports/local_date_time.h"
#include "ports/tls_handshake.h"

namespace postvane {

// 16-bit booleans as the settings and the table keep them.
constexpr int16_t kFalse = 0;
constexpr int16_t kTrue = -1;

// Ten user mailboxes (0..9); slot 10 is the end-of-cycle position and stays empty.
constexpr int kUserMailboxes = 10;
constexpr int kMailboxSlots = 11;
constexpr int16_t kEndOfCycle = 10;

// Codes are written into the receive log; 1..8 means "check in progress".
enum class MailboxState : int16_t {
  Idle = 0,
  Connecting = 1,
  Connected = 2,
  UserSent = 3,
  PassSent = 4,
  StatSent = 5,
  LastSent = 6,
  UidlSent = 7,
  TopSent = 8,
  QuitSent = 9,
};

struct MessageHeader {
  std::string From;
  std::string To;
  std::string Subject;
  std::string Priority;
  std::string Date;
};

struct MailboxRecord {
  std::string Name;
  std::string RemoteHost;
  int32_t RemotePort = 0;
  std::string User;
  std::string Password;  // plain in memory; transformed only in the file
  std::string UIDL;
  std::string NewestUidl;
  int16_t MessageCount = 0;
  int16_t NewCount = 0;
  int16_t LastAccessed = 0;
  int16_t Enabled = kFalse;
  int16_t LastMail = kFalse;
  // Ours: the password lives in the desktop keyring and the file holds none. Unknown while the
  // keyring could not give it (locked, absent); such a mailbox is not checked.
  int16_t PasswordInKeyring = kFalse;
  bool PasswordUnknown = false;
  // `Security` as read, unknown codes included (see EffectiveSecurity); 0 is plain POP3.
  int16_t Security = 0;
  // A certificate the user trusts although it failed verification; text as read.
  std::string CertFingerprint;
  // Ours: the mailbox's web mail, opened from the tray menu and the notice; used only when
  // it is an https address.
  std::string WebMailUrl;
  // Ours: "#rrggbb" for the mailbox's marker; empty (or anything else) keeps its own colour.
  std::string MarkerColor;
  // `Protocol` as read, unknown codes included (see EffectiveProtocol); 0 is POP3.
  int16_t Protocol = 0;
  // The IMAP folder to watch, in UTF-8; empty means INBOX.
  std::string Folder;
  // The acknowledged point of an IMAP mailbox: the folder's UIDVALIDITY and the highest
  // acknowledged UID; 0 when there is none. Kept beside UIDL, so a switch keeps both.
  uint32_t ImapUidValidity = 0;
  uint32_t ImapLastUid = 0;
  // What an acknowledgement of the last IMAP check would save (as NewestUidl for POP3).
  uint32_t NewestImapUidValidity = 0;
  uint32_t NewestImapUid = 0;
  // The UIDs whose headers Headers holds, newest first; a check with the same new messages
  // keeps them rather than fetching them again.
  std::vector<uint32_t> ImapHeaderUids;
  // Every UID the last IMAP check counted as new, in NewestImapUidValidity.
  std::vector<uint32_t> ImapNewUids;
  // Acknowledged messages still to be marked read on the server (MarkReadOnAck): the next
  // check of the mailbox stores \Seen on them, in this UIDVALIDITY only, then drops the list.
  std::vector<uint32_t> ImapMarkReadUids;
  uint32_t ImapMarkReadUidValidity = 0;
  // A one-shot check that acknowledges what it finds: the check marks its own new messages
  // read before it logs out, as the next check would (MarkReadOnAck only).
  bool ImapMarkNewRead = false;
  // What the server's [ALERT] responses said during the last check: shown beside the outcome,
  // never taken for a failure.
  std::string ServerAlert;
  // IMAP only: keep a connection in IDLE between cycles; acknowledging marks mail read.
  int16_t Push = kTrue;
  int16_t MarkReadOnAck = kFalse;
  // Ours: `Auth` as read, unknown codes included (see EffectiveAuth); 0 signs in with the
  // password, 1 with OAuth 2.0 at the provider below.
  int16_t Auth = 0;
  // "google", "microsoft" or the issuer address of an OpenID Connect provider.
  std::string OAuthProvider;
  std::string OAuthClientId;
  std::string OAuthClientSecret;
  // A secret like the password, kept whole (real ones run past a thousand characters). Unknown
  // while the keyring has not given it: a save then leaves the stored one alone.
  std::string OAuthRefreshToken;
  bool RefreshTokenUnknown = false;
  // Only ever in memory; renewed from the refresh token before a check when it runs out.
  AccessToken OAuthAccessToken;
  // Why the last refresh gave no access token, as the status text to show; empty otherwise.
  std::string OAuthProblem;
  // The refresh token the provider refused as expired: never offered again.
  std::string OAuthRefusedToken;
  MailboxState State = MailboxState::Idle;
  std::string StatusText;
  LocalDateTime LastCheck;
  // The server's certificate when the last check failed on it (untrusted, wrong name, out of
  // date), so that the user can look at it and choose to trust it; empty otherwise.
  TlsCertificate RejectedCertificate;
  // Lower bound 0; element 0 is never filled. Empty means "no array" (slot 10).
  std::vector<MessageHeader> Headers;
};

using MailboxTable = std::array<MailboxRecord, kMailboxSlots>;

// Upper bound of Headers, lower bound 0: -1 when there is no array.
inline int HeadersUpperBound(const MailboxRecord& record) {
  return static_cast<int>(record.Headers.size()) - 1;
}

inline int16_t StateCode(MailboxState state) { return static_cast<int16_t>(state); }

inline bool IsChecking(const MailboxRecord& record) {
  const int16_t code = StateCode(record.State);
  return code > 0 && code < 9;
}

}  // namespace postvane
