// The settings file: ten mailbox sections and the general section.
// Each operation reads the file once and writes it at most once, as a whole, so a failure
// never leaves it half written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/mailbox_table.h"
#include "ports/file_system.h"
#include "ports/secret_store.h"
#include "settings/general_settings.h"

namespace postvane {

// Leading numeric part of a settings value; blanks anywhere are skipped ("1 0" reads 10).
double ReadNumber(std::string_view text);
// ReadNumber rounded half to even, clamped into the field's range.
int16_t ReadInt16(std::string_view text);
int32_t ReadInt32(std::string_view text);
// A UID or UIDVALIDITY: decimal digits with blanks around them, within 32 bits; 0 otherwise.
uint32_t ReadUid(std::string_view text);

// Reverses the bytes and maps each code c to 256 - c (0 stays 0); its own inverse.
std::string TransformPassword(std::string_view bytes);

// The acknowledged point of an IMAP mailbox as the file holds it.
struct ImapPoint {
  uint32_t UidValidity = 0;
  uint32_t LastUid = 0;
  bool operator==(const ImapPoint&) const = default;
};

class SettingsStore {
 public:
  SettingsStore(FileSystem& files, std::string settingsFile, std::string defaultSoundFile);

  // Passwords marked as kept in the keyring go to and come from `secrets`; without one they
  // stay unknown and are never written anywhere.
  void UseSecretStore(SecretStore* secrets) { secrets_ = secrets; }

  void LoadMailbox(MailboxRecord& record, int16_t index);
  // Asks the keyring again for a password it could not give before. True when it is known.
  bool FetchPassword(MailboxRecord& record, int16_t index);
  // Moves every mailbox's password into the keyring (on) or back into the file (off). A
  // password the keyring cannot give stays there. Returns how many mailboxes could not move.
  int MovePasswords(MailboxTable& mailboxes, bool intoKeyring);
  void SaveMailbox(const MailboxRecord& record, int16_t index);
  // Asks the keyring for the OAuth refresh token it has not given yet. True when it is known.
  bool FetchRefreshToken(MailboxRecord& record, int16_t index);
  // Stores a new refresh token at once, changing nothing else: the keyring entry, or only that
  // key of the file under the lock. True when it was stored.
  bool SaveRefreshToken(const MailboxRecord& record, int16_t index);
  // Reads an OAuth mailbox's refresh token again, as another program may have renewed it.
  void ReloadRefreshToken(MailboxRecord& record, int16_t index);
  void SaveUidl(int16_t index, const std::string& uidl);
  // The acknowledged point of an IMAP mailbox (ImapUidValidity, ImapLastUid).
  void SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid);
  void LoadGeneral(GeneralSettings& general);
  void SaveGeneral(const GeneralSettings& general);

  // The saved unique-id of every user mailbox, from one read of the file; nullopt when the
  // file cannot be read.
  std::optional<std::array<std::string, kUserMailboxes>> LoadUidls();
  // The same for the IMAP points.
  std::optional<std::array<ImapPoint, kUserMailboxes>> LoadImapPoints();

  // The file exists and holds at least one mailbox section. A file that does not is left
  // alone, but the user is told.
  bool HasMailboxSection();
  // That mailbox's section is in the file: the user has filled it in before. False without a
  // readable file.
  bool MailboxSectionExists(int16_t index);

  // At start-up: removes temporary copies that a killed save left beside the file. They hold
  // the passwords.
  void RemoveLeftovers();

  // Write failures pass silently; this tells tests whether the last write reached the disk.
  bool LastWriteSucceeded() const { return lastWriteSucceeded_; }

 private:
  struct KeyUpdate {
    std::string Section;
    std::string Key;
    std::string Value;
    // Bytes rather than text (the stored password).
    bool Binary = false;
    // Written only over a key the file already has.
    bool OnlyIfPresent = false;
    bool Remove = false;  // takes the key out instead of writing Value
  };
  // Under the side-file lock that every writer takes: reads the file as it is now, applies
  // the key writes to it in order and replaces it, so no other writer's keys are lost.
  bool Update(const std::vector<KeyUpdate>& updates);

  FileSystem& files_;
  std::string settingsFile_;
  std::string defaultSoundFile_;
  SecretStore* secrets_ = nullptr;
  bool lastWriteSucceeded_ = true;
  // The key of a mailbox's password: the settings file and the slot, so two files never share.
  std::string SecretKey(int16_t index) const;
  std::string RefreshTokenKey(int16_t index) const;
};

}  // namespace postvane
