// Postvane's own texts, beside strings.tsv: ids are the offsets of own_strings.tsv.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

// Offsets are handed out in blocks, so that work on different features never collides.
enum class OwnText : int {
  ConnectionClosedByServer = 1,
  NoAnswerInTimeLimit = 2,
  NotCheckedSwitchedOff = 3,
  SocketError = 4,  // '#' stands for the error number
  MailboxInUse = 5,
  NotChecked = 6,
  // Secure connections.
  Security = 20,
  SecurityNone = 21,
  SecurityTls = 22,
  SecurityStartTls = 23,
  TrustCertificate = 24,
  CertificateNotTrusted = 25,  // '#' stands for the fingerprint
  CertificateNameMismatch = 26,
  CertificateExpired = 27,
  TlsHandshakeFailed = 28,
  StlsNotOffered = 29,
  StlsRefused = 30,
  DataBeforeTls = 31,
  CertificateSubject = 32,
  CertificateIssuer = 33,
  CertificateValidFrom = 34,
  CertificateValidUntil = 35,
  CertificateFingerprint = 36,
  TrustCertificateQuestion = 37,
  ServerCertificate = 38,
  // Hardening (40-59).
  NoMailboxSection = 40,
  AlreadyRunning = 41,
  InstanceLockUnavailable = 42,
  AcknowledgementNotSaved = 43,
  NoAnswerFromServer = 44,
  NotReachedInTimeLimit = 45,

  // Installed like a desktop program.
  StartWithDesktop = 60,
  DesktopNotification = 61,
  SettingsFile = 62,
  KeepPasswordsInKeyring = 63,
  KeyringUnavailable = 64,

  // First use (80-99).
  NoMailboxEnabled = 80,    // the tray tool tip while no mailbox is enabled
  NoNotificationArea = 81,  // the desktop has no notification area; what to install

  // Fail closed, bound every wait (100-119).
  MailboxCheckTooLong = 100,     // the whole check of one mailbox ran past its limit
  UnknownSecuritySetting = 101,  // the `Security` text is none this version knows
  // Everyday use (160-189).
  LastCheckFailed = 160,  // after a count: the check that followed it failed
  PasswordSentUnencrypted = 161,
  PortUsuallyTls = 162,  // '#' stands for the port
  QuietFrom = 163,       // "Quiet from" [time] "to" [time]
  QuietTo = 164,
  OpenWebMail = 165,
  WebMailAddress = 166,
  MarkerColor = 167,

  // Push (190-199).
  IdleConnectionLost = 190,  // the watch connection of an IMAP mailbox ended; it connects again

  // IMAP mailboxes (200-219).
  UnknownProtocolSetting = 200,  // the `Protocol` text is none this version knows
  ImapFolderMissing = 201,       // '#' stands for the folder's name
  ImapLoginRefused = 202,
  ImapServerBye = 203,
  ImapNoLoginAllowed = 204,  // LOGINDISABLED without a mechanism we may use
  ImapCommandRefused = 205,
  ImapReplyTooLong = 206,
  ServerNotice = 207,  // before the text of a server's [ALERT]
  // Configuration dialog (230-249).
  SoundFiles = 230,    // the file picker's type list: "Sounds" (*.wav)
  ProgramFiles = 231,  // "Programs" (*.exe)
  Protocol = 232,
  ProtocolPop3 = 233,
  ProtocolImap = 234,
  Folder = 235,
  Push = 236,
  MarkReadOnAck = 237,
  // OAuth sign-in (400-429); '#' stands for the server's or the provider's reason.
  UnknownAuthSetting = 400,  // the `Auth` text is none this version knows
  OAuthNeedsSecureConnection = 401,
  SignInExpired = 402,
  SignInServiceUnreachable = 403,
  NotSignedIn = 404,
  ServerRefusedSignIn = 405,
  SignInServiceRefused = 406,
  SignInPageDone = 407,  // the page the browser shows after the redirect
  SignInPageFailed = 408,
  SignInNotFinished = 409,  // the browser step did not end within five minutes
  NoBrowser = 410,
  SignInNotReceived = 411,  // no loopback listener could be opened
  NoRefreshToken = 412,
  // The Mailboxes tab's sign-in row.
  AuthChoice = 413,
  AuthPassword = 414,
  AuthOAuth = 415,
  OAuthProviderLabel = 416,
  OAuthClientIdLabel = 417,
  OAuthClientSecretLabel = 418,
  SignInButton = 419,
  SigningIn = 420,
  SignedIn = 421,
  CancelButton = 422,
  SignInNotSaved = 423,
  MarkReadFailed = 430,  // logged: the acknowledged mail could not be marked read
};

// The text of `id` in the language at `languageBase` (300, 700, 900, 1000, 1600 or 1900);
// English for any other base, empty for an id the table does not hold.
std::string OwnString(int16_t languageBase, OwnText id);

}  // namespace postvane
