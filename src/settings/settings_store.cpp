// The settings file: mailbox sections "MailBox0".."MailBox9" and the "General" section.
#include "settings/settings_store.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <system_error>

#include "check/auth_method.h"
#include "check/connection_security.h"
#include "check/mail_protocol.h"
#include "settings/ini_file.h"
#include "settings/quiet_hours.h"
#include "settings/stored_secret.h"
#include "text/text_encoding.h"

namespace postvane {

namespace {

// The platform reads a value into a buffer of 256, so at most 255 characters are seen.
constexpr std::size_t kValueLimit = 255;
constexpr char kGeneral[] = "General";
constexpr char kLockSuffix[] = ".lock";

bool IsNumberBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string MailboxSection(int16_t index) { return "MailBox" + std::to_string(index); }

// The last n code points of valid UTF-8 text.
std::string LastCodePoints(std::string_view text, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t i = text.size(); i > 0; --i) {
    if ((static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80) continue;
    if (++count == n) return std::string(text.substr(i - 1));
  }
  return std::string(text);
}

template <typename Int>
Int RoundAndClamp(double value) {
  if (std::isnan(value)) return 0;
  // Ties to even, whatever rounding mode the process was left in.
  double rounded = std::floor(value);
  const double fraction = value - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
  if (rounded <= static_cast<double>(std::numeric_limits<Int>::min())) {
    return std::numeric_limits<Int>::min();
  }
  if (rounded >= static_cast<double>(std::numeric_limits<Int>::max())) {
    return std::numeric_limits<Int>::max();
  }
  return static_cast<Int>(rounded);
}

std::string Decimal(long value) { return std::to_string(value); }
const char* BooleanText(int16_t value) { return value != 0 ? "1" : "0"; }
int16_t Boolean(std::string_view text) { return ReadNumber(text) != 0.0 ? kTrue : kFalse; }

// One read of the file per operation; missing sections or keys give the default.
class Reader {
 public:
  Reader(FileSystem& files, const std::string& path) {
    std::string bytes;
    read_ = files.ReadFile(path, bytes);
    if (read_) ini_ = IniFile(bytes);
  }

  bool Read() const { return read_; }

  // Raw bytes as the platform would hand them over: cut to 255 bytes.
  std::string Raw(std::string_view section, std::string_view key, std::string_view fallback) {
    std::optional<std::string> value = ini_.Read(section, key);
    if (!value) return std::string(fallback);
    if (value->size() > kValueLimit) value->resize(kValueLimit);
    return std::move(*value);
  }

  // The value's bytes uncut, for the one that must be cut only after it is decoded.
  std::string WholeBytes(std::string_view section, std::string_view key) {
    return ini_.Read(section, key).value_or(std::string());
  }

  // The text uncut, for keys that hold addresses and tokens longer than the platform's buffer.
  std::string WholeText(std::string_view section, std::string_view key) {
    return ini_.ReadText(section, key).value_or(std::string());
  }

  // Decoded before the cut, so the cut never splits a UTF-8 sequence.
  std::string Text(std::string_view section, std::string_view key, std::string_view fallback = {}) {
    std::optional<std::string> value = ini_.ReadText(section, key);
    if (!value) return std::string(fallback);
    return CutToCodePoints(*value, kValueLimit);
  }

 private:
  IniFile ini_;
  bool read_ = false;
};

}  // namespace

double ReadNumber(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (!IsNumberBlank(c)) compact.push_back(c);
  }

  std::size_t pos = 0;
  bool negative = false;
  if (pos < compact.size() && (compact[pos] == '+' || compact[pos] == '-')) {
    negative = compact[pos] == '-';
    ++pos;
  }
  std::string digits;  // mantissa without sign, as from_chars wants it
  bool anyDigit = false;
  while (pos < compact.size() && IsDigit(compact[pos])) {
    digits.push_back(compact[pos++]);
    anyDigit = true;
  }
  if (pos < compact.size() && compact[pos] == '.') {
    ++pos;
    digits.push_back('.');
    while (pos < compact.size() && IsDigit(compact[pos])) {
      digits.push_back(compact[pos++]);
      anyDigit = true;
    }
  }
  if (!anyDigit) return 0.0;

  // The exponent counts only when digits follow; it saturates, far beyond any double.
  long exponent = 0;
  if (pos < compact.size() && (compact[pos] == 'e' || compact[pos] == 'E')) {
    std::size_t e = pos + 1;
    bool exponentNegative = false;
    if (e < compact.size() && (compact[e] == '+' || compact[e] == '-')) {
      exponentNegative = compact[e] == '-';
      ++e;
    }
    if (e < compact.size() && IsDigit(compact[e])) {
      while (e < compact.size() && IsDigit(compact[e])) {
        if (exponent < 100000) exponent = exponent * 10 + (compact[e] - '0');
        ++e;
      }
      if (exponentNegative) exponent = -exponent;
    }
  }

  // Where the leading significant digit stands, to tell overflow from underflow.
  const std::size_t point = digits.find('.');
  const std::size_t integerDigits = point == std::string::npos ? digits.size() : point;
  const std::size_t firstNonZero = digits.find_first_not_of("0.");
  if (firstNonZero == std::string::npos) return negative ? -0.0 : 0.0;
  const long magnitude =
      (firstNonZero < integerDigits ? static_cast<long>(integerDigits - firstNonZero)
                                    : -static_cast<long>(firstNonZero - integerDigits - 1)) +
      exponent;

  std::string number = digits;
  if (exponent != 0) {
    // Two appends: "e" + std::to_string(...) makes GCC 12 at -O3 report a -Wrestrict overlap
    // that cannot happen.
    number += 'e';
    number += std::to_string(exponent);
  }
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

int16_t ReadInt16(std::string_view text) { return RoundAndClamp<int16_t>(ReadNumber(text)); }
int32_t ReadInt32(std::string_view text) { return RoundAndClamp<int32_t>(ReadNumber(text)); }

uint32_t ReadUid(std::string_view text) {
  while (!text.empty() && IsNumberBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsNumberBlank(text.back())) text.remove_suffix(1);
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
      !IsDigit(text.front())) {
    return 0;
  }
  return value;
}

std::string TransformPassword(std::string_view bytes) {
  std::string result(bytes.size(), '\0');
  const std::size_t n = bytes.size();
  for (std::size_t k = 0; k < n; ++k) {
    const auto code = static_cast<unsigned char>(bytes[n - 1 - k]);
    // 256 - 0 does not fit a byte; 0 stays 0 so the transform remains its own inverse.
    result[k] = static_cast<char>(static_cast<unsigned char>((256 - code) & 0xFF));
  }
  return result;
}

SettingsStore::SettingsStore(FileSystem& files, std::string settingsFile,
                             std::string defaultSoundFile)
    : files_(files),
      settingsFile_(std::move(settingsFile)),
      defaultSoundFile_(std::move(defaultSoundFile)) {}

void SettingsStore::LoadMailbox(MailboxRecord& record, int16_t index) {
  Reader reader(files_, settingsFile_);
  const std::string section = MailboxSection(index);
  std::string name = reader.Text(section, "Name");
  std::string user = reader.Text(section, "User");
  // Cut only once decoded, in characters: the stored form is reversed, so the 255 kept are
  // the password's last ones, and a cut in bytes could split a character.
  const std::string storedPassword = reader.WholeBytes(section, "Password");
  std::string remoteHost = reader.Text(section, "RemoteHost");
  // An IMAP mailbox without a port uses IMAP's; a POP3 one stays on 110 as it always did.
  const int16_t protocolCode = ReadProtocolCode(reader.Raw(section, "Protocol", "0"));
  const std::optional<SecurityMode> securityMode =
      EffectiveSecurity(ReadSecurityCode(reader.Raw(section, "Security", "0")));
  const std::string remotePort =
      reader.Raw(section, "RemotePort",
                 protocolCode == 1 && securityMode
                     ? std::to_string(UsualPort(MailProtocol::Imap, *securityMode))
                     : std::to_string(kPlainPop3Port));
  const std::string enabled = reader.Raw(section, "Enabled", "");
  const std::string lastMail = reader.Raw(section, "LastMail", "");
  const std::string security = reader.Raw(section, "Security", "0");
  std::string certFingerprint = reader.Raw(section, "CertFingerprint", "");
  std::string webMailUrl = reader.Text(section, "WebMailUrl");
  std::string markerColor = reader.Raw(section, "MarkerColor", "");
  const std::string inKeyring = reader.Raw(section, "PasswordInKeyring", "");
  const std::string auth = reader.Raw(section, "Auth", "0");
  std::string provider = reader.WholeText(section, "OAuthProvider");
  std::string clientId = reader.WholeText(section, "OAuthClientId");
  std::string clientSecret = reader.WholeText(section, "OAuthClientSecret");
  const std::string storedToken = reader.WholeBytes(section, "OAuthRefreshToken");
  // Bytes as the server sent them: the listing is compared with it byte for byte.
  std::string uidl = reader.Raw(section, "UIDL", "");
  std::string folder = reader.Text(section, "Folder");
  const std::string uidValidity = reader.Raw(section, "ImapUidValidity", "");
  const std::string lastUid = reader.Raw(section, "ImapLastUid", "");
  const std::string push = reader.Raw(section, "Push", "1");
  const std::string markRead = reader.Raw(section, "MarkReadOnAck", "");

  record.Name = std::move(name);
  record.User = std::move(user);
  record.Password = LastCodePoints(SecretFromStored(storedPassword), kValueLimit);
  record.RemoteHost = std::move(remoteHost);
  record.RemotePort = ReadInt32(remotePort);
  record.Enabled = Boolean(enabled);
  record.LastMail = Boolean(lastMail);
  record.Security = ReadSecurityCode(security);
  record.CertFingerprint = std::move(certFingerprint);
  record.WebMailUrl = std::move(webMailUrl);
  record.MarkerColor = std::move(markerColor);
  record.UIDL = std::move(uidl);
  record.Protocol = protocolCode;
  record.Folder = std::move(folder);
  record.ImapUidValidity = ReadUid(uidValidity);
  record.ImapLastUid = ReadUid(lastUid);
  record.Push = Boolean(push);
  record.MarkReadOnAck = Boolean(markRead);
  record.PasswordInKeyring = Boolean(inKeyring);
  record.PasswordUnknown = false;
  record.Auth = ReadAuthCode(auth);
  record.OAuthProvider = std::move(provider);
  record.OAuthClientId = std::move(clientId);
  record.OAuthClientSecret = std::move(clientSecret);
  record.OAuthRefreshToken = SecretFromStored(storedToken);
  record.RefreshTokenUnknown = false;
  if (record.PasswordInKeyring != kFalse) {
    // Whatever the file holds under Password is not the password then.
    record.Password.clear();
    record.PasswordUnknown = true;
    FetchPassword(record, index);
    // A mailbox that signs in with its password does not ask the keyring for a token; its
    // stored one, if any, stays as it is.
    record.OAuthRefreshToken.clear();
    record.RefreshTokenUnknown = true;
    if (record.Auth != 0) FetchRefreshToken(record, index);
  }
}

std::string SettingsStore::RefreshTokenKey(int16_t index) const {
  // Never the password's entry, so that no version can send the token as a password.
  return SecretKey(index) + " oauth refresh token";
}

bool SettingsStore::FetchRefreshToken(MailboxRecord& record, int16_t index) {
  if (record.PasswordInKeyring == kFalse || !record.RefreshTokenUnknown) return true;
  std::string secret;
  const SecretResult result = secrets_ == nullptr ? SecretResult::Unavailable
                                                  : secrets_->Read(RefreshTokenKey(index), secret);
  if (result == SecretResult::Unavailable) return false;
  record.OAuthRefreshToken = result == SecretResult::Ok ? DecodeUtf8OrWindows1252(secret) : "";
  record.RefreshTokenUnknown = false;
  return true;
}

void SettingsStore::ReloadRefreshToken(MailboxRecord& record, int16_t index) {
  if (EffectiveAuth(record.Auth) != AuthMethod::OAuth) return;
  if (record.PasswordInKeyring != kFalse) {
    std::string secret;
    const SecretResult result = secrets_ == nullptr
                                    ? SecretResult::Unavailable
                                    : secrets_->Read(RefreshTokenKey(index), secret);
    // A locked keyring leaves the token known from before.
    if (result == SecretResult::Unavailable) return;
    record.OAuthRefreshToken = result == SecretResult::Ok ? DecodeUtf8OrWindows1252(secret) : "";
    record.RefreshTokenUnknown = false;
    return;
  }
  Reader reader(files_, settingsFile_);
  if (!reader.Read()) return;
  record.OAuthRefreshToken =
      SecretFromStored(reader.WholeBytes(MailboxSection(index), "OAuthRefreshToken"));
}

bool SettingsStore::SaveRefreshToken(const MailboxRecord& record, int16_t index) {
  if (record.PasswordInKeyring != kFalse) {
    if (record.RefreshTokenUnknown) return false;
    if (secrets_ == nullptr) return false;
    const SecretResult result =
        record.OAuthRefreshToken.empty()
            ? secrets_->Remove(RefreshTokenKey(index))
            : secrets_->Write(RefreshTokenKey(index), record.OAuthRefreshToken);
    return result == SecretResult::Ok;
  }
  return Update({{.Section = MailboxSection(index),
                  .Key = "OAuthRefreshToken",
                  .Value = StoredSecret(record.OAuthRefreshToken),
                  .Binary = true,
                  .Remove = record.OAuthRefreshToken.empty()}});
}

std::string SettingsStore::SecretKey(int16_t index) const {
  // Absolute, so "--settings x.ini" and the same file named otherwise share their secrets.
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(settingsFile_, error);
  const std::string file = error ? settingsFile_ : absolute.lexically_normal().string();
  return file + " mailbox " + std::to_string(index);
}

bool SettingsStore::FetchPassword(MailboxRecord& record, int16_t index) {
  if (record.PasswordInKeyring == kFalse || !record.PasswordUnknown) return true;
  std::string secret;
  if (secrets_ == nullptr || secrets_->Read(SecretKey(index), secret) != SecretResult::Ok) {
    return false;
  }
  record.Password = LastCodePoints(DecodeUtf8OrWindows1252(secret), kValueLimit);
  record.PasswordUnknown = false;
  return true;
}

int SettingsStore::MovePasswords(MailboxTable& mailboxes, bool intoKeyring) {
  int stuck = 0;
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    MailboxRecord& record = mailboxes[static_cast<std::size_t>(i)];
    if ((record.PasswordInKeyring != kFalse) == intoKeyring) continue;
    if (intoKeyring) {
      // The secret must be safe in the keyring before the file lets go of it.
      if (secrets_ == nullptr ||
          secrets_->Write(SecretKey(i), record.Password) != SecretResult::Ok ||
          (!record.OAuthRefreshToken.empty() &&
           secrets_->Write(RefreshTokenKey(i), record.OAuthRefreshToken) != SecretResult::Ok)) {
        ++stuck;
        continue;
      }
      record.PasswordInKeyring = kTrue;
      SaveMailbox(record, i);
    } else {
      // The token is asked for even when the mailbox signs in with its password; only one
      // that signs in with a token waits for it, the others leave it in the keyring.
      const bool tokenKnown = FetchRefreshToken(record, i);
      if (!FetchPassword(record, i) || (!tokenKnown && record.Auth != 0)) {
        ++stuck;
        continue;
      }
      record.PasswordInKeyring = kFalse;
      SaveMailbox(record, i);
      if (lastWriteSucceeded_ && secrets_ != nullptr) {
        secrets_->Remove(SecretKey(i));
        if (tokenKnown) secrets_->Remove(RefreshTokenKey(i));
      }
    }
  }
  return stuck;
}

void SettingsStore::LoadGeneral(GeneralSettings& general) {
  Reader reader(files_, settingsFile_);
  const std::string interval = reader.Raw(kGeneral, "Interval", "5");
  const std::string notifyType = reader.Raw(kGeneral, "NotifyType", "1");
  const std::string trayType = reader.Raw(kGeneral, "TrayType", "1");
  const std::string doubleClick = reader.Raw(kGeneral, "DoubleClick", "0");
  std::string mailProgram = reader.Text(kGeneral, "MailProgram");
  std::string soundFile = reader.Text(kGeneral, "SoundFile", defaultSoundFile_);
  std::string mdaemonPath = reader.Text(kGeneral, "MDaemonPath");
  const std::string mdaemonActivate = reader.Raw(kGeneral, "MDaemonActivate", "");
  const std::string receiveLog = reader.Raw(kGeneral, "ReceiveLog", "");
  const std::string replaySound = reader.Raw(kGeneral, "ReplaySound", "");
  const std::string keyring = reader.Raw(kGeneral, "Keyring", "");
  const std::string quietFrom = reader.Raw(kGeneral, "QuietFrom", "");
  const std::string quietTo = reader.Raw(kGeneral, "QuietTo", "");

  general.Interval = ReadInt16(interval);
  general.NotifyType = ReadInt16(notifyType);
  general.TrayType = ReadInt16(trayType);
  general.DoubleClick = ReadInt16(doubleClick);
  general.MailProgram = std::move(mailProgram);
  general.SoundFile = std::move(soundFile);
  general.MDaemonPath = std::move(mdaemonPath);
  general.MDaemonActivate = ReadInt16(mdaemonActivate);
  general.ReceiveLog = Boolean(receiveLog);
  general.ReplaySound = Boolean(replaySound);
  general.Keyring = Boolean(keyring);
  general.QuietFrom = ReadQuietMinutes(quietFrom);
  general.QuietTo = ReadQuietMinutes(quietTo);
}

std::optional<std::array<std::string, kUserMailboxes>> SettingsStore::LoadUidls() {
  if (!files_.IsPlainFile(settingsFile_)) return std::nullopt;
  Reader reader(files_, settingsFile_);
  if (!reader.Read()) return std::nullopt;
  std::array<std::string, kUserMailboxes> uidls;
  for (int16_t i = 0; i < kUserMailboxes; ++i) uidls[i] = reader.Raw(MailboxSection(i), "UIDL", "");
  return uidls;
}

std::optional<std::array<ImapPoint, kUserMailboxes>> SettingsStore::LoadImapPoints() {
  if (!files_.IsPlainFile(settingsFile_)) return std::nullopt;
  Reader reader(files_, settingsFile_);
  if (!reader.Read()) return std::nullopt;
  std::array<ImapPoint, kUserMailboxes> points;
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    points[i] = {ReadUid(reader.Raw(MailboxSection(i), "ImapUidValidity", "")),
                 ReadUid(reader.Raw(MailboxSection(i), "ImapLastUid", ""))};
  }
  return points;
}

bool SettingsStore::HasMailboxSection() {
  std::string bytes;
  if (!files_.ReadFile(settingsFile_, bytes)) return false;
  const IniFile ini(bytes);
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    if (ini.HasSection(MailboxSection(i))) return true;
  }
  return false;
}

bool SettingsStore::MailboxSectionExists(int16_t index) {
  if (index < 0 || index >= kUserMailboxes) return false;
  std::string bytes;
  if (!files_.ReadFile(settingsFile_, bytes)) return false;
  return IniFile(bytes).HasSection(MailboxSection(index));
}

void SettingsStore::RemoveLeftovers() {
  const std::unique_ptr<FileLock> lock = files_.LockSideFile(settingsFile_ + kLockSuffix);
  if (lock) files_.RemoveTemporaries(settingsFile_);
}

bool SettingsStore::Update(const std::vector<KeyUpdate>& updates) {
  const std::unique_ptr<FileLock> lock = files_.LockSideFile(settingsFile_ + kLockSuffix);
  if (!lock) return lastWriteSucceeded_ = false;
  // Under the lock, any temporary copy beside the file is one that a killed save left.
  files_.RemoveTemporaries(settingsFile_);
  std::string bytes;
  if (!files_.ReadFile(settingsFile_, bytes)) {
    // A file that exists but cannot be read must not be replaced by one holding only our keys.
    if (files_.IsPlainFile(settingsFile_)) return lastWriteSucceeded_ = false;
    bytes.clear();
  }
  IniFile ini(bytes);
  for (const KeyUpdate& update : updates) {
    if (update.Remove) {
      ini.Remove(update.Section, update.Key);
      continue;
    }
    if (update.OnlyIfPresent && !ini.Read(update.Section, update.Key)) continue;
    if (update.Binary) {
      ini.WriteBytes(update.Section, update.Key, update.Value);
    } else {
      ini.Write(update.Section, update.Key, update.Value);
    }
  }
  return lastWriteSucceeded_ = files_.ReplaceFile(settingsFile_, ini.Bytes());
}

void SettingsStore::SaveMailbox(const MailboxRecord& record, int16_t index) {
  const std::string section = MailboxSection(index);
  const bool inKeyring = record.PasswordInKeyring != kFalse;
  if (inKeyring && !record.PasswordUnknown) {
    // A keyring that refuses keeps the old secret; the file never gets the password instead.
    if (secrets_ != nullptr) secrets_->Write(SecretKey(index), record.Password);
  }
  if (inKeyring) SaveRefreshToken(record, index);
  // A `Security` text this version does not know stays as the file has it until the user
  // picks a choice, so saving another field never turns the mailbox plain.
  const bool knownSecurity = EffectiveSecurity(record.Security).has_value();
  std::vector<KeyUpdate> updates{
      {section, "Name", record.Name},
      {section, "User", record.User},
      {section, "Password", inKeyring ? std::string() : StoredSecret(record.Password),
       /*Binary=*/true},
      // Only a keyring user's file gets the marker; everyone else's keeps its old keys.
      {.Section = section, .Key = "PasswordInKeyring", .Value = "1", .Remove = !inKeyring},
      {section, "RemoteHost", record.RemoteHost},
      {section, "RemotePort", Decimal(record.RemotePort)},
      {section, "Enabled", BooleanText(record.Enabled)},
      {section, "LastMail", BooleanText(record.LastMail)},
  };
  if (knownSecurity) {
    // A file that never had these keys stays as it was while they hold their defaults.
    updates.push_back({section, "Security", Decimal(record.Security), false, record.Security == 0});
  }
  updates.push_back(
      {section, "CertFingerprint", record.CertFingerprint, false, record.CertFingerprint.empty()});
  updates.push_back({.Section = section,
                     .Key = "WebMailUrl",
                     .Value = record.WebMailUrl,
                     .Remove = record.WebMailUrl.empty()});
  updates.push_back({.Section = section,
                     .Key = "MarkerColor",
                     .Value = record.MarkerColor,
                     .Remove = record.MarkerColor.empty()});
  // Like Security: an unknown code stays as the file has it, defaults add no line.
  if (EffectiveProtocol(record.Protocol)) {
    updates.push_back({section, "Protocol", Decimal(record.Protocol), false, record.Protocol == 0});
  }
  updates.push_back({section, "Folder", record.Folder, false, record.Folder.empty()});
  updates.push_back({section, "Push", BooleanText(record.Push), false, record.Push != kFalse});
  updates.push_back({section, "MarkReadOnAck", BooleanText(record.MarkReadOnAck), false,
                     record.MarkReadOnAck == kFalse});
  // ImapUidValidity and ImapLastUid are left to SaveImapPoint, as UIDL is to SaveUidl, so a
  // dialog never writes back a point older than an acknowledgement saved meanwhile.
  // As `Security`: an unknown text stays, and a file without the key keeps it absent.
  if (EffectiveAuth(record.Auth)) {
    updates.push_back({section, "Auth", Decimal(record.Auth), false, record.Auth == 0});
  }
  for (const auto& [key, value] :
       {std::pair<const char*, const std::string&>{"OAuthProvider", record.OAuthProvider},
        {"OAuthClientId", record.OAuthClientId},
        {"OAuthClientSecret", record.OAuthClientSecret}}) {
    updates.push_back({.Section = section, .Key = key, .Value = value, .Remove = value.empty()});
  }
  // In the keyring form the file never holds the token; in the file form it is stored as the
  // password is.
  updates.push_back({.Section = section,
                     .Key = "OAuthRefreshToken",
                     .Value = inKeyring ? std::string() : StoredSecret(record.OAuthRefreshToken),
                     .Binary = true,
                     .Remove = inKeyring || record.OAuthRefreshToken.empty()});
  Update(updates);
}

void SettingsStore::SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid) {
  const std::string section = MailboxSection(index);
  // Not Decimal: a long holds only 31 bits on Windows.
  Update({{section, "ImapUidValidity", std::to_string(uidValidity)},
          {section, "ImapLastUid", std::to_string(lastUid)}});
}

void SettingsStore::SaveUidl(int16_t index, const std::string& uidl) {
  // The server's bytes, not text: they must read back the same in every file form.
  Update({{MailboxSection(index), "UIDL", uidl, /*Binary=*/true}});
}

void SettingsStore::SaveGeneral(const GeneralSettings& general) {
  Update({
      {kGeneral, "Interval", Decimal(general.Interval)},
      {kGeneral, "NotifyType", Decimal(general.NotifyType)},
      {kGeneral, "TrayType", Decimal(general.TrayType)},
      {kGeneral, "DoubleClick", Decimal(general.DoubleClick)},
      {kGeneral, "MailProgram", general.MailProgram},
      {kGeneral, "SoundFile", general.SoundFile},
      {kGeneral, "MDaemonPath", general.MDaemonPath},
      {kGeneral, "MDaemonActivate", Decimal(general.MDaemonActivate)},
      {kGeneral, "ReplaySound", BooleanText(general.ReplaySound)},
      {.Section = kGeneral, .Key = "Keyring", .Value = "1", .Remove = general.Keyring == kFalse},
      {.Section = kGeneral,
       .Key = "QuietFrom",
       .Value = Decimal(general.QuietFrom),
       .Remove = general.QuietFrom == kNoQuietTime},
      {.Section = kGeneral,
       .Key = "QuietTo",
       .Value = Decimal(general.QuietTo),
       .Remove = general.QuietTo == kNoQuietTime},
  });
}

}  // namespace postvane
