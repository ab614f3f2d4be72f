// Passwords in the desktop keyring as the settings, the configuration dialog and the check see
// them: moved in and out with the box, never in the file meanwhile, and a locked keyring fails
// the mailbox with its own text without a login.
#include <gtest/gtest.h>

#include <string>

#include "fakes/check_engine_rig.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_secret_store.h"
#include "settings/ini_file.h"
#include "settings/settings_store.h"
#include "text/own_text.h"
#include "ui/config_form.h"

namespace postvane {
namespace {

constexpr char kIni[] = "/prog/Postvane.ini";

class KeyringPasswordsTest : public testing::Test {
 protected:
  KeyringPasswordsTest() : store_(files_, kIni, "/prog/NewMail.wav") {
    store_.UseSecretStore(&secrets_);
    for (int16_t i = 0; i < 3; ++i) {
      MailboxRecord& record = mailboxes_[static_cast<std::size_t>(i)];
      record.Name = "Box " + std::to_string(i);
      record.User = "user" + std::to_string(i);
      record.Password = "secret-" + std::to_string(i);
      record.RemoteHost = "127.0.0.1";
      record.Enabled = kTrue;
      store_.SaveMailbox(record, i);
    }
  }

  std::string File() const { return files_.Files.at(kIni); }
  std::optional<std::string> Key(const std::string& section, const std::string& key) const {
    return IniFile(File()).Read(section, key);
  }
  // The dialog opened and closed with the keyring box set to `on`.
  void CloseDialogWithKeyring(bool on) {
    ConfigForm form(mailboxes_, general_, store_);
    ConfigGeneralFields fields = form.LoadGeneral();
    fields.Keyring = on;
    form.SaveOnClose(form.SelectMailbox(0, ShowMailbox(mailboxes_[0])), fields);
  }
  bool FileHoldsAPassword() const {
    for (int i = 0; i < 3; ++i) {
      if (File().find("Password=" + TransformPassword("secret-" + std::to_string(i))) !=
          std::string::npos) {
        return true;
      }
    }
    return false;
  }

  FakeFileSystem files_;
  FakeSecretStore secrets_;
  SettingsStore store_;
  MailboxTable mailboxes_{};
  GeneralSettings general_{};
};

TEST_F(KeyringPasswordsTest, BoxMovesPasswordsInAndOut) {
  ASSERT_TRUE(FileHoldsAPassword());

  CloseDialogWithKeyring(true);
  EXPECT_FALSE(FileHoldsAPassword());
  // Every slot is marked, so a password typed later goes to the keyring too.
  EXPECT_EQ(secrets_.Secrets.size(), static_cast<std::size_t>(kUserMailboxes));
  for (int16_t i = 0; i < 3; ++i) {
    const std::string section = "MailBox" + std::to_string(i);
    EXPECT_EQ(Key(section, "Password"), "");
    EXPECT_EQ(Key(section, "PasswordInKeyring"), "1");
    // Loaded again, the password comes from the keyring.
    MailboxRecord loaded;
    store_.LoadMailbox(loaded, i);
    EXPECT_EQ(loaded.Password, "secret-" + std::to_string(i));
    EXPECT_FALSE(loaded.PasswordUnknown);
  }
  EXPECT_EQ(Key("General", "Keyring"), "1");

  CloseDialogWithKeyring(false);
  EXPECT_TRUE(secrets_.Secrets.empty());
  for (int16_t i = 0; i < 3; ++i) {
    MailboxRecord loaded;
    store_.LoadMailbox(loaded, i);
    EXPECT_EQ(loaded.Password, "secret-" + std::to_string(i));
    EXPECT_FALSE(Key("MailBox" + std::to_string(i), "PasswordInKeyring").has_value());
  }
  EXPECT_FALSE(Key("General", "Keyring").has_value());
}

TEST_F(KeyringPasswordsTest, LockedKeyringNeverPutsThePasswordInTheFile) {
  // Switching on while the keyring refuses leaves the passwords where they were.
  secrets_.Available = false;
  CloseDialogWithKeyring(true);
  EXPECT_TRUE(secrets_.Secrets.empty());
  EXPECT_FALSE(Key("MailBox0", "PasswordInKeyring").has_value());

  secrets_.Available = true;
  CloseDialogWithKeyring(true);
  ASSERT_FALSE(FileHoldsAPassword());

  // Locked: loading gives no password, saving and switching off keep it out of the file (the
  // others, known from before, move back).
  secrets_.Available = false;
  MailboxRecord loaded;
  store_.LoadMailbox(loaded, 1);
  EXPECT_TRUE(loaded.PasswordUnknown);
  EXPECT_EQ(loaded.Password, "");
  mailboxes_[1] = loaded;
  store_.SaveMailbox(loaded, 1);
  CloseDialogWithKeyring(false);
  EXPECT_EQ(Key("MailBox1", "Password"), "");
  EXPECT_EQ(Key("MailBox1", "PasswordInKeyring"), "1");
  EXPECT_EQ(Key("MailBox0", "Password"), TransformPassword("secret-0"));

  // Unlocked again, the password is there as before.
  secrets_.Available = true;
  EXPECT_TRUE(store_.FetchPassword(mailboxes_[1], 1));
  EXPECT_EQ(mailboxes_[1].Password, "secret-1");
}

TEST_F(KeyringPasswordsTest, DialogKeepsAnUnknownPasswordUnlessOneIsTyped) {
  MailboxRecord record;
  record.PasswordInKeyring = kTrue;
  record.PasswordUnknown = true;
  ConfigMailboxFields fields = ShowMailbox(record);
  EXPECT_EQ(fields.Password, "");
  StoreMailbox(fields, record);
  EXPECT_TRUE(record.PasswordUnknown);
  fields.Password = "typed";
  StoreMailbox(fields, record);
  EXPECT_FALSE(record.PasswordUnknown);
  EXPECT_EQ(record.Password, "typed");
}

TEST(KeyringCheckTest, UnknownPasswordFailsTheMailboxWithoutALogin) {
  for (const int16_t language : {int16_t{700}, int16_t{900}}) {
    SCOPED_TRACE(language);
    CheckEngineRig rig;
    rig.State.LanguageBase = language;
    MailboxRecord& locked = rig.Enable(0);
    locked.PasswordInKeyring = kTrue;
    locked.PasswordUnknown = true;
    rig.Enable(1).PasswordInKeyring = kTrue;  // known: checked as usual

    rig.Engine.StartCycle();

    EXPECT_EQ(locked.StatusText, OwnString(language, OwnText::KeyringUnavailable));
    // Reported as a failure with that text, so the command line lists it like any other.
    ASSERT_FALSE(rig.Hooks.Outcomes.empty());
    EXPECT_EQ(rig.Hooks.Outcomes[0].first, 0);
    EXPECT_EQ(rig.Hooks.Outcomes[0].second.Result, MailboxResult::Failed);
    EXPECT_EQ(rig.Hooks.Outcomes[0].second.Text, locked.StatusText);
    EXPECT_EQ(locked.State, MailboxState::Idle);
    ASSERT_EQ(rig.Socket.Connects.size(), 1u);
    EXPECT_EQ(rig.Socket.Connects[0].RemoteHost, "pop1.test");
    EXPECT_TRUE(rig.Files.Files.empty());
  }
}

}  // namespace
}  // namespace postvane
