// The configuration dialog's rules for showing and storing the values of its controls.
#include "ui/config_form.h"

#include <charconv>

#include "check/auth_method.h"
#include "check/connection_security.h"
#include "check/mail_protocol.h"
#include "settings/marker_color.h"
#include "settings/quiet_hours.h"
#include "settings/web_mail_url.h"

namespace postvane {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(std::string text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  return text.substr(first);
}

constexpr int16_t kLowestInterval = 1;
constexpr int16_t kHighestInterval = 999;

}  // namespace

std::optional<int32_t> ParsePort(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  // Parsed as a wider number first so that "-2147483648" fits and overflow is caught.
  int64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

int16_t ParseInterval(std::string_view text) {
  // ReadInt16 clamps into 16 bits, so a number too large for the field also falls outside.
  const int16_t value = ReadInt16(text);
  if (value < kLowestInterval || value > kHighestInterval) return kFallbackInterval;
  return value;
}

ConfigMailboxFields ShowMailbox(const MailboxRecord& record) {
  ConfigMailboxFields fields;
  fields.Name = record.Name;
  fields.User = record.User;
  fields.Password = record.Password;
  fields.RemoteHost = record.RemoteHost;
  fields.RemotePort = std::to_string(record.RemotePort);
  fields.Enabled = record.Enabled != kFalse;
  fields.LastMail = record.LastMail != kFalse;
  fields.Security =
      record.Security >= 0 && record.Security < kSecurityEntries ? record.Security : -1;
  fields.WebMailUrl = record.WebMailUrl;
  fields.MarkerColor = record.MarkerColor;
  fields.Protocol = EffectiveProtocol(record.Protocol) ? record.Protocol : -1;
  fields.Folder = record.Folder;
  fields.Push = record.Push != kFalse;
  fields.MarkReadOnAck = record.MarkReadOnAck != kFalse;
  fields.Auth = EffectiveAuth(record.Auth) ? record.Auth : -1;
  fields.OAuthProvider = record.OAuthProvider;
  fields.OAuthClientId = record.OAuthClientId;
  fields.OAuthClientSecret = record.OAuthClientSecret;
  return fields;
}

std::string PortForSecurity(int from, int to, const std::string& port) {
  return PortForChoice(0, from, 0, to, port);
}

std::string PortForChoice(int fromProtocol, int fromSecurity, int toProtocol, int toSecurity,
                          const std::string& port) {
  const auto usualPort = [](int protocol, int security) {
    return UsualPort(
        EffectiveProtocol(static_cast<int16_t>(protocol)).value_or(MailProtocol::Pop3),
        EffectiveSecurity(static_cast<int16_t>(security)).value_or(SecurityMode::None));
  };
  const std::optional<int32_t> number = ParsePort(port);
  if (!number || *number != usualPort(fromProtocol, fromSecurity)) return port;
  return std::to_string(usualPort(toProtocol, toSecurity));
}

bool PasswordSentInClear(int securityEntry) {
  return securityEntry < 0 || securityEntry >= kSecurityEntries ||
         EffectiveSecurity(static_cast<int16_t>(securityEntry)) == SecurityMode::None;
}

bool OAuthAllowed(int securityEntry) { return !PasswordSentInClear(securityEntry); }

bool CanTrustCertificate(const MailboxRecord& record) {
  const std::string& rejected = record.RejectedCertificate.Fingerprint;
  return !NormalizeFingerprint(rejected).empty() &&
         !FingerprintsMatch(rejected, record.CertFingerprint);
}

void StoreMailbox(const ConfigMailboxFields& fields, MailboxRecord& record) {
  record.Name = fields.Name;
  record.User = fields.User;
  // A password the keyring could not give shows empty; only a typed one replaces it.
  if (!record.PasswordUnknown || !fields.Password.empty()) {
    record.Password = fields.Password;
    record.PasswordUnknown = false;
  }
  record.RemoteHost = fields.RemoteHost;
  if (const std::optional<int32_t> port = ParsePort(fields.RemotePort)) record.RemotePort = *port;
  record.Enabled = fields.Enabled ? kTrue : kFalse;
  record.LastMail = fields.LastMail ? kTrue : kFalse;
  if (fields.Security >= 0 && fields.Security < kSecurityEntries) {
    record.Security = static_cast<int16_t>(fields.Security);
  }
  if (fields.WebMailUrl) {
    const std::string typed = Trimmed(*fields.WebMailUrl);
    if (typed.empty() || UsableWebMailUrl(typed)) record.WebMailUrl = typed;
  }
  if (fields.MarkerColor) {
    const std::string typed = Trimmed(*fields.MarkerColor);
    if (typed.empty() || ValidMarkerColor(typed)) record.MarkerColor = typed;
  }
  if (fields.Protocol && *fields.Protocol >= 0 && *fields.Protocol < kProtocolEntries) {
    record.Protocol = static_cast<int16_t>(*fields.Protocol);
  }
  if (fields.Folder) record.Folder = Trimmed(*fields.Folder);
  if (fields.Push) record.Push = *fields.Push ? kTrue : kFalse;
  if (fields.MarkReadOnAck) record.MarkReadOnAck = *fields.MarkReadOnAck ? kTrue : kFalse;
  if (fields.Auth && *fields.Auth >= 0 && *fields.Auth < kAuthEntries) {
    record.Auth = static_cast<int16_t>(*fields.Auth);
  }
  if (fields.OAuthProvider) record.OAuthProvider = Trimmed(*fields.OAuthProvider);
  if (fields.OAuthClientId) record.OAuthClientId = Trimmed(*fields.OAuthClientId);
  if (fields.OAuthClientSecret) record.OAuthClientSecret = Trimmed(*fields.OAuthClientSecret);
}

ConfigGeneralFields ShowGeneral(const GeneralSettings& general) {
  ConfigGeneralFields fields;
  fields.Interval = std::to_string(general.Interval);
  fields.DoubleClick = (general.DoubleClick >= 0 && general.DoubleClick < kDoubleClickEntries)
                           ? general.DoubleClick
                           : -1;
  fields.AdvancedTrayIcon = general.TrayType == 1;
  fields.PlaySound = (general.NotifyType & kNotifySound) != 0;
  fields.ReplaySound = general.ReplaySound != kFalse;
  fields.PopUpWindow = (general.NotifyType & kNotifyPopUp) != 0;
  fields.RunMailReader = (general.NotifyType & kNotifyMailProgram) != 0;
  fields.DesktopNotification = (general.NotifyType & kNotifyDesktop) != 0;
  fields.MailProgram = general.MailProgram;
  fields.SoundFile = general.SoundFile;
  fields.MDaemonPath = general.MDaemonPath;
  fields.MDaemonActivate = general.MDaemonActivate != 0;
  fields.Keyring = general.Keyring != kFalse;
  fields.QuietFrom = ClockTimeText(general.QuietFrom);
  fields.QuietTo = ClockTimeText(general.QuietTo);
  return fields;
}

void StoreGeneral(const ConfigGeneralFields& fields, GeneralSettings& general) {
  general.Interval = ParseInterval(fields.Interval);
  general.TrayType = fields.AdvancedTrayIcon ? 1 : 0;
  // Bits without a box (a later version's) stay as the file had them.
  general.NotifyType = static_cast<int16_t>(
      (general.NotifyType & ~kNotifyBoxes) | (fields.PlaySound ? kNotifySound : 0) |
      (fields.PopUpWindow ? kNotifyPopUp : 0) | (fields.RunMailReader ? kNotifyMailProgram : 0) |
      (fields.DesktopNotification ? kNotifyDesktop : 0));
  general.MailProgram = fields.MailProgram;
  general.SoundFile = fields.SoundFile;
  if (fields.DoubleClick >= 0 && fields.DoubleClick < kDoubleClickEntries) {
    general.DoubleClick = static_cast<int16_t>(fields.DoubleClick);
  }
  general.MDaemonPath = fields.MDaemonPath;
  general.MDaemonActivate = fields.MDaemonActivate ? 1 : 0;
  general.ReplaySound = fields.ReplaySound ? kTrue : kFalse;
  general.Keyring = fields.Keyring ? kTrue : kFalse;
  const auto storeTime = [](const std::optional<std::string>& text, int16_t& minutes) {
    if (!text) return;
    if (const std::optional<int16_t> typed = ParseClockTime(*text)) minutes = *typed;
  };
  storeTime(fields.QuietFrom, general.QuietFrom);
  storeTime(fields.QuietTo, general.QuietTo);
}

ConfigForm::ConfigForm(MailboxTable& mailboxes, GeneralSettings& general, SettingsStore& store,
                       Autostart* autostart)
    : mailboxes_(mailboxes), general_(general), store_(store), autostart_(autostart) {}

ConfigGeneralFields ConfigForm::LoadGeneral() const {
  ConfigGeneralFields fields = ShowGeneral(general_);
  fields.StartWithDesktop = autostart_ && autostart_->Exists();
  return fields;
}

void ConfigForm::StoreShown(const ConfigMailboxFields& shown) {
  if (shownMailbox_ < 0 || shownMailbox_ >= kUserMailboxes) return;
  MailboxRecord& record = mailboxes_[static_cast<std::size_t>(shownMailbox_)];
  StoreMailbox(shown, record);
  store_.SaveMailbox(record, shownMailbox_);
}

ConfigMailboxFields ConfigForm::SelectMailbox(int16_t index, const ConfigMailboxFields& shown) {
  if (index < 0 || index >= kUserMailboxes) return shown;
  StoreShown(shown);
  shownMailbox_ = index;
  ConfigMailboxFields fields = ShowMailbox(mailboxes_[static_cast<std::size_t>(index)]);
  if (newMailboxesSecure_ && !store_.MailboxSectionExists(index)) {
    fields.Security = static_cast<int>(SecurityMode::Tls);
    fields.RemotePort = std::to_string(kTlsPop3Port);
  }
  return fields;
}

bool ConfigForm::TrustRejectedCertificate(const ConfigMailboxFields& shown) {
  if (shownMailbox_ < 0 || shownMailbox_ >= kUserMailboxes) return false;
  MailboxRecord& record = mailboxes_[static_cast<std::size_t>(shownMailbox_)];
  if (!CanTrustCertificate(record)) return false;
  record.CertFingerprint = NormalizeFingerprint(record.RejectedCertificate.Fingerprint);
  StoreShown(shown);
  return true;
}

bool ConfigForm::StoreRefreshToken(const std::string& refreshToken) {
  if (shownMailbox_ < 0 || shownMailbox_ >= kUserMailboxes) return false;
  MailboxRecord& record = mailboxes_[static_cast<std::size_t>(shownMailbox_)];
  record.OAuthRefreshToken = refreshToken;
  record.RefreshTokenUnknown = false;
  // The old access token belonged to the old sign-in.
  record.OAuthAccessToken = {};
  record.OAuthProblem.clear();
  return store_.SaveRefreshToken(record, shownMailbox_);
}

bool ConfigForm::SaveOnClose(const ConfigMailboxFields& shown, const ConfigGeneralFields& general) {
  StoreShown(shown);
  // Every password follows the box before the box itself is saved; ones that could not move
  // last time (a locked keyring) are tried again.
  store_.MovePasswords(mailboxes_, general.Keyring);
  StoreGeneral(general, general_);
  store_.SaveGeneral(general_);
  // Only a change touches the entry: one the user edited by hand stays as it is.
  if (autostart_ && general.StartWithDesktop != autostart_->Exists()) {
    autostart_->Set(general.StartWithDesktop);
  }
  return general_.MDaemonActivate != 0;
}

}  // namespace postvane
