// The configuration dialog without widgets: what its controls show, and how their values go
// back into the mailbox table and the general settings and on into the settings file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/mailbox_table.h"
#include "ports/autostart.h"
#include "settings/general_settings.h"
#include "settings/settings_store.h"

namespace postvane {

// Entries of the double-click list: run the mail reader, show the status, check mail.
constexpr int kDoubleClickEntries = 3;
// The interval a value outside 1..999 (or no number at all) becomes.
constexpr int16_t kFallbackInterval = 5;

// The mailbox controls of the first tab, as their widgets hold them.
struct ConfigMailboxFields {
  std::string Name;
  std::string User;
  std::string Password;  // plain text
  std::string RemoteHost;
  std::string RemotePort;  // as typed
  bool Enabled = false;
  bool LastMail = false;
  // Entry of the security list (0 none, 1 SSL/TLS, 2 STARTTLS); -1 when the stored code is
  // one the list cannot show, which is then kept.
  int Security = 0;
  // The web mail address as typed; nothing for a dialog without the box (the address stays).
  std::optional<std::string> WebMailUrl;
  // "#rrggbb" as typed; nothing for a dialog without the box.
  std::optional<std::string> MarkerColor;
  // Entry of the protocol list (0 POP3, 1 IMAP); -1 when the stored code is one the list
  // cannot show, which is then kept. Nothing for a dialog without the list (the code stays),
  // and likewise for the three IMAP controls below.
  std::optional<int> Protocol;
  std::optional<std::string> Folder;  // as typed, UTF-8; empty watches INBOX
  std::optional<bool> Push;
  std::optional<bool> MarkReadOnAck;
  // Entry of the sign-in list (0 password, 1 OAuth 2.0); -1 when the stored code is one the
  // list cannot show, which is then kept. Nothing for a dialog without the sign-in row (the
  // sign-in settings stay), and likewise for the three boxes below.
  std::optional<int> Auth;
  std::optional<std::string> OAuthProvider;  // google, microsoft or an issuer URL, as typed
  std::optional<std::string> OAuthClientId;
  std::optional<std::string> OAuthClientSecret;
  bool operator==(const ConfigMailboxFields&) const = default;
};

// Entries of the security list.
constexpr int kSecurityEntries = 3;
// Entries of the protocol list.
constexpr int kProtocolEntries = 2;

// The port text after the security list changed from `from` to `to`: the usual port of the
// old choice becomes the usual port of the new one; any other port is the user's and stays.
std::string PortForSecurity(int from, int to, const std::string& port);

// The same when the protocol list, the security list or both changed: 110/995 and 143/993.
// A protocol entry the list cannot show counts as POP3.
std::string PortForChoice(int fromProtocol, int fromSecurity, int toProtocol, int toSecurity,
                          const std::string& port);

// With this entry of the security list the password crosses the network readable: none, and
// a stored code the list cannot show (the engine connects plainly for those).
bool PasswordSentInClear(int securityEntry);

// Entries of the sign-in list.
constexpr int kAuthEntries = 2;

// OAuth 2.0 may be chosen with this entry of the security list: only over TLS or STARTTLS,
// so a token never crosses the network readable.
bool OAuthAllowed(int securityEntry);

// The last check failed on a certificate that the mailbox does not trust yet.
bool CanTrustCertificate(const MailboxRecord& record);

// The controls of the two general tabs.
struct ConfigGeneralFields {
  std::string Interval;  // as typed
  int DoubleClick = -1;  // selected entry of the double-click list; -1 when none is selected
  bool AdvancedTrayIcon = false;
  bool PlaySound = false;
  bool ReplaySound = false;
  bool PopUpWindow = false;
  bool RunMailReader = false;
  bool DesktopNotification = false;
  std::string MailProgram;
  std::string SoundFile;
  std::string MDaemonPath;
  bool MDaemonActivate = false;
  // Not a setting: whether the desktop's autostart entry exists.
  bool StartWithDesktop = false;
  // "Keep passwords in the desktop keyring".
  bool Keyring = false;
  // "Quiet from ... to ...", as typed ("22:00"). Nothing: a dialog without these boxes, and
  // the settings stay as they are.
  std::optional<std::string> QuietFrom;
  std::optional<std::string> QuietTo;
  bool operator==(const ConfigGeneralFields&) const = default;
};

// The replay box only means something while the sound is on.
inline bool ReplaySoundEnabled(bool playSound) { return playSound; }

// A decimal integer with optional sign and blanks around it, within 32 bits; nothing otherwise.
std::optional<int32_t> ParsePort(std::string_view text);

// The interval box: its number rounded half to even; outside 1..999 it is kFallbackInterval.
int16_t ParseInterval(std::string_view text);

ConfigMailboxFields ShowMailbox(const MailboxRecord& record);
// A port text that is no integer keeps the record's port; a web mail address that is neither
// empty nor https keeps the record's address, and so does a colour that is no "#rrggbb".
void StoreMailbox(const ConfigMailboxFields& fields, MailboxRecord& record);

ConfigGeneralFields ShowGeneral(const GeneralSettings& general);
// ReceiveLog is not a control and stays; a double-click list without a selection (a value
// the list could not show) keeps the old action, and a quiet time that is no clock time keeps
// the old time.
void StoreGeneral(const ConfigGeneralFields& fields, GeneralSettings& general);

// One opening of the dialog: which mailbox its controls show, and the saves as the user
// switches mailboxes and closes it.
class ConfigForm {
 public:
  // autostart: the entry behind "Start with the desktop"; without one the box stays clear
  // and changes nothing.
  ConfigForm(MailboxTable& mailboxes, GeneralSettings& general, SettingsStore& store,
             Autostart* autostart = nullptr);

  // A front end whose socket speaks TLS shows a mailbox that the file does not hold yet on
  // SSL/TLS and its port, so a new mailbox is secure unless the user chooses otherwise. One
  // without TLS (the Windows programs until they have a TLS socket) leaves this off and new
  // mailboxes start plain, as before.
  void NewMailboxesStartSecure(bool secure) { newMailboxesSecure_ = secure; }

  // -1 until the first mailbox is shown.
  int16_t ShownMailbox() const { return shownMailbox_; }

  // The user picks another mailbox: stores and saves the one being left (none on the first call),
  // then returns what the controls show for `index`. An index outside 0..9 changes nothing and
  // returns `shown` unchanged.
  ConfigMailboxFields SelectMailbox(int16_t index, const ConfigMailboxFields& shown);

  ConfigGeneralFields LoadGeneral() const;

  // The user confirmed trusting the certificate the shown mailbox's last check rejected:
  // its fingerprint is stored and saved at once with the shown controls. False when there
  // was none to trust.
  bool TrustRejectedCertificate(const ConfigMailboxFields& shown);

  // A browser sign-in of the shown mailbox succeeded: its refresh token is stored at once as
  // the settings store keeps tokens (keyring or file), so closing the dialog in any way cannot
  // lose it. False when it could not be stored.
  bool StoreRefreshToken(const std::string& refreshToken);

  // The dialog closes: stores and saves the shown mailbox, then the general section, then the
  // autostart entry when the box no longer matches it. Returns whether the tray menu's MDaemon
  // entry is to be visible.
  bool SaveOnClose(const ConfigMailboxFields& shown, const ConfigGeneralFields& general);

 private:
  void StoreShown(const ConfigMailboxFields& shown);

  MailboxTable& mailboxes_;
  GeneralSettings& general_;
  SettingsStore& store_;
  Autostart* autostart_;
  int16_t shownMailbox_ = -1;
  bool newMailboxesSecure_ = false;
};

}  // namespace postvane
