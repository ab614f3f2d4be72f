// The list of settings keys against what the store reads and writes.
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "fakes/example_settings.h"
#include "fakes/fake_file_system.h"
#include "settings/settings_store.h"

namespace postvane {
namespace {

const std::string kIni = "/prog/Postvane.ini";

// Key names per section, from the file's lines, as written.
std::set<std::string> KeysOf(const std::string& file, const std::string& section) {
  std::set<std::string> keys;
  std::string current;
  std::size_t pos = 0;
  while (pos < file.size()) {
    std::size_t end = file.find("\r\n", pos);
    if (end == std::string::npos) end = file.size();
    const std::string line = file.substr(pos, end - pos);
    pos = end + 2;
    if (!line.empty() && line.front() == '[') {
      current = line.substr(1, line.find(']') - 1);
    } else if (current == section && line.find('=') != std::string::npos) {
      keys.insert(line.substr(0, line.find('=')));
    }
  }
  return keys;
}

template <typename Keys>
std::set<std::string> NamesOf(const Keys& keys) {
  std::set<std::string> names;
  for (const SettingsKey& key : keys) names.insert(std::string(key.Name));
  return names;
}

class SettingsKeysTest : public testing::Test {
 protected:
  void LoadAll() {
    store_.LoadGeneral(general_);
    for (int16_t i = 0; i < kUserMailboxes; ++i) {
      store_.LoadMailbox(mailboxes_[static_cast<std::size_t>(i)], i);
    }
  }
  void SaveAll(SettingsStore& store) {
    for (int16_t i = 0; i < kUserMailboxes; ++i) {
      const MailboxRecord& record = mailboxes_[static_cast<std::size_t>(i)];
      store.SaveMailbox(record, i);
      store.SaveUidl(i, record.UIDL);
      store.SaveImapPoint(i, record.ImapUidValidity, record.ImapLastUid);
    }
    store.SaveGeneral(general_);
  }

  FakeFileSystem files_;
  SettingsStore store_{files_, kIni, "/prog/NewMail.wav"};
  GeneralSettings general_;
  MailboxTable mailboxes_{};
};

TEST_F(SettingsKeysTest, EveryExampleIsReadAndWrittenBackUnchanged) {
  const std::string example = ExampleSettingsFile();
  files_.Files[kIni] = example;
  LoadAll();
  SaveAll(store_);
  EXPECT_EQ(files_.Files[kIni], example);
}

TEST_F(SettingsKeysTest, TheStoreWritesExactlyTheListedKeys) {
  files_.Files[kIni] = ExampleSettingsFile();
  LoadAll();
  // Into a file of its own, which holds only what the store writes itself.
  const std::string fresh = "/prog/Fresh.ini";
  SettingsStore other(files_, fresh, "/prog/NewMail.wav");
  SaveAll(other);
  std::set<std::string> general = NamesOf(kGeneralKeys);
  general.erase("ReceiveLog");  // only ever set by hand
  EXPECT_EQ(KeysOf(files_.Files[fresh], std::string(kGeneralSection)), general);
  for (int i = 0; i < kUserMailboxes; ++i) {
    std::set<std::string> mailbox = NamesOf(kMailboxKeys);
    // The keyring holds the token of a mailbox whose password it holds.
    if (i % 2 != 0) {
      mailbox.erase("PasswordInKeyring");
    } else {
      mailbox.erase("OAuthRefreshToken");
    }
    EXPECT_EQ(KeysOf(files_.Files[fresh], "MailBox" + std::to_string(i)), mailbox) << i;
  }
}

TEST_F(SettingsKeysTest, EveryGeneralExampleReadsOtherwiseThanTheDefault) {
  GeneralSettings defaults;
  store_.LoadGeneral(defaults);
  for (const SettingsKey& key : kGeneralKeys) {
    files_.Files[kIni] = "[General]\r\n" + std::string(key.Name) + "=" + std::string(key.Example);
    GeneralSettings read;
    store_.LoadGeneral(read);
    EXPECT_FALSE(read == defaults) << key.Name;
  }
}

}  // namespace
}  // namespace postvane
