// The OAuth keys of a mailbox in the settings file and the keyring: tokens of real length kept
// whole in every file form, the refresh token stored like the password and saved on its own,
// unknown `Auth` texts kept.
#include <gtest/gtest.h>

#include <string>

#include "check/auth_method.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_secret_store.h"
#include "fakes/utf16_bytes.h"
#include "settings/ini_file.h"
#include "settings/settings_store.h"

namespace postvane {
namespace {

using std::string_literals::operator""s;

const std::string kIni = "/prog/Postvane.ini";

// Tokens as providers hand them out: well past the 255 the password reader keeps.
std::string Token(char fill, std::size_t size) {
  std::string token = "1//0g";
  for (std::size_t i = token.size(); i < size; ++i) {
    token.push_back(i % 7 == 0 ? static_cast<char>('0' + i % 10) : fill);
  }
  return token;
}

MailboxRecord OAuthMailbox() {
  MailboxRecord record;
  record.Name = "Work";
  record.User = "alice@example.org";
  record.RemoteHost = "pop.example.org";
  record.RemotePort = 995;
  record.Security = 1;
  record.Enabled = kTrue;
  record.Auth = 1;
  record.OAuthProvider = "https://login.example.org/" + std::string(300, 't') + "/v2.0";
  record.OAuthClientId = "client-" + std::string(280, 'c');
  record.OAuthClientSecret = "s3cret";
  record.OAuthRefreshToken = Token('r', 1300);
  return record;
}

class OAuthSettingsTest : public testing::Test {
 protected:
  MailboxRecord Load(int16_t index) {
    MailboxRecord record;
    store.LoadMailbox(record, index);
    return record;
  }
  std::string& File() { return files.Files[kIni]; }
  std::optional<std::string> Key(const std::string& key) {
    return IniFile(File()).Read("MailBox2", key);
  }

  FakeFileSystem files;
  FakeSecretStore secrets;
  SettingsStore store{files, kIni, "/prog/NewMail.wav"};
};

struct FileFormCase {
  const char* Name;
  std::string Start;
};

class OAuthFileFormTest : public OAuthSettingsTest,
                          public testing::WithParamInterface<FileFormCase> {};

TEST_P(OAuthFileFormTest, TokensAndAddressesComeBackWhole) {
  File() = GetParam().Start;
  const MailboxRecord saved = OAuthMailbox();
  store.SaveMailbox(saved, 2);
  MailboxRecord loaded = Load(2);
  EXPECT_EQ(loaded.Auth, 1);
  EXPECT_EQ(loaded.OAuthProvider, saved.OAuthProvider);
  EXPECT_EQ(loaded.OAuthClientId, saved.OAuthClientId);
  EXPECT_EQ(loaded.OAuthClientSecret, saved.OAuthClientSecret);
  EXPECT_EQ(loaded.OAuthRefreshToken, saved.OAuthRefreshToken);
  EXPECT_FALSE(loaded.RefreshTokenUnknown);
  // Never in clear: the file holds the password's reversed form.
  EXPECT_EQ(File().find(saved.OAuthRefreshToken.substr(0, 40)), std::string::npos);

  // A new token from the provider replaces only its own line.
  const int replaces = files.ReplacesUnderLock;
  loaded.OAuthRefreshToken = Token('n', 1250);
  loaded.Name = "changed but not saved";
  ASSERT_TRUE(store.SaveRefreshToken(loaded, 2));
  EXPECT_EQ(Load(2).OAuthRefreshToken, loaded.OAuthRefreshToken);
  EXPECT_EQ(Load(2).Name, saved.Name);
  EXPECT_TRUE(File().starts_with(GetParam().Start.substr(0, 2)));
  EXPECT_EQ(files.ReplacesUnderLock, replaces + 1);

  // Signing out takes the line away.
  loaded.OAuthRefreshToken.clear();
  ASSERT_TRUE(store.SaveRefreshToken(loaded, 2));
  EXPECT_FALSE(Key("OAuthRefreshToken"));
  EXPECT_EQ(Load(2).OAuthProvider, saved.OAuthProvider);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, OAuthFileFormTest,
    testing::Values(
        FileFormCase{"None", ""}, FileFormCase{"Plain", "[General]\r\nInterval=5\r\n"},
        FileFormCase{"LineFeeds", "[General]\nInterval=5\n"},
        FileFormCase{"Utf8Mark", "\xEF\xBB\xBF[General]\r\nInterval=5\r\n"},
        FileFormCase{"Utf16Little", "\xFF\xFE"s + Utf16Bytes("[General]\r\nInterval=5\r\n", false)},
        FileFormCase{"Utf16Big", "\xFE\xFF"s + Utf16Bytes("[General]\r\nInterval=5\r\n", true)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(OAuthSettingsTest, TokenWrittenByHandInTheFileIsReadWhole) {
  const std::string token = Token('h', 1600);
  File() = "[MailBox2]\r\nAuth=1\r\nOAuthRefreshToken=" + TransformPassword(token) + "\r\n";
  EXPECT_EQ(Load(2).OAuthRefreshToken, token);
}

TEST_F(OAuthSettingsTest, KeyringKeepsTheTokenInAnEntryOfItsOwn) {
  store.UseSecretStore(&secrets);
  MailboxRecord record = OAuthMailbox();
  record.Password = "pw";
  record.PasswordInKeyring = kTrue;
  store.SaveMailbox(record, 2);
  EXPECT_FALSE(Key("OAuthRefreshToken"));
  ASSERT_EQ(secrets.Secrets.size(), 2u);
  for (const auto& [key, secret] : secrets.Secrets) {
    // The password's entry never holds the token, so no older version can send it as PASS.
    if (secret == "pw") continue;
    EXPECT_EQ(secret, record.OAuthRefreshToken);
    EXPECT_NE(key.find("refresh token"), std::string::npos);
  }
  MailboxRecord loaded = Load(2);
  EXPECT_EQ(loaded.Password, "pw");
  EXPECT_EQ(loaded.OAuthRefreshToken, record.OAuthRefreshToken);

  loaded.OAuthRefreshToken = Token('k', 1400);
  const std::string file = File();
  ASSERT_TRUE(store.SaveRefreshToken(loaded, 2));
  EXPECT_EQ(File(), file);
  EXPECT_EQ(Load(2).OAuthRefreshToken, loaded.OAuthRefreshToken);
}

TEST_F(OAuthSettingsTest, LockedKeyringLeavesTheStoredTokenAlone) {
  store.UseSecretStore(&secrets);
  MailboxRecord record = OAuthMailbox();
  record.PasswordInKeyring = kTrue;
  store.SaveMailbox(record, 2);
  secrets.Available = false;
  MailboxRecord loaded = Load(2);
  EXPECT_TRUE(loaded.RefreshTokenUnknown);
  EXPECT_TRUE(loaded.OAuthRefreshToken.empty());
  EXPECT_FALSE(store.SaveRefreshToken(loaded, 2));
  store.SaveMailbox(loaded, 2);
  secrets.Available = true;
  EXPECT_EQ(Load(2).OAuthRefreshToken, record.OAuthRefreshToken);
}

TEST_F(OAuthSettingsTest, PasswordMailboxDoesNotAskTheKeyringForAToken) {
  store.UseSecretStore(&secrets);
  MailboxRecord record = OAuthMailbox();
  record.PasswordInKeyring = kTrue;
  store.SaveMailbox(record, 2);
  record.Auth = 0;
  store.SaveMailbox(record, 2);
  secrets.Reads = 0;
  MailboxRecord loaded = Load(2);
  EXPECT_EQ(secrets.Reads, 1);
  // Saved again, e.g. by the dialog, the token stays for when OAuth is chosen again.
  store.SaveMailbox(loaded, 2);
  loaded.Auth = 1;
  store.SaveMailbox(loaded, 2);
  EXPECT_EQ(Load(2).OAuthRefreshToken, record.OAuthRefreshToken);
}

TEST_F(OAuthSettingsTest, MovingSecretsCarriesTheTokenBothWays) {
  store.UseSecretStore(&secrets);
  MailboxTable mailboxes{};
  mailboxes[2] = OAuthMailbox();
  mailboxes[2].Password = "pw";
  store.SaveMailbox(mailboxes[2], 2);
  EXPECT_EQ(store.MovePasswords(mailboxes, true), 0);
  EXPECT_FALSE(Key("OAuthRefreshToken"));
  EXPECT_EQ(Load(2).OAuthRefreshToken, mailboxes[2].OAuthRefreshToken);

  mailboxes[2] = Load(2);
  mailboxes[2].Auth = 0;  // asked for even though the mailbox signs in with its password now
  store.SaveMailbox(mailboxes[2], 2);
  mailboxes[2] = Load(2);
  EXPECT_EQ(store.MovePasswords(mailboxes, false), 0);
  EXPECT_TRUE(secrets.Secrets.empty());
  EXPECT_EQ(Load(2).OAuthRefreshToken, OAuthMailbox().OAuthRefreshToken);
}

TEST_F(OAuthSettingsTest, RefusedKeyringKeepsTheTokenInTheFile) {
  store.UseSecretStore(&secrets);
  MailboxTable mailboxes{};
  mailboxes[2] = OAuthMailbox();
  store.SaveMailbox(mailboxes[2], 2);
  secrets.Available = false;
  EXPECT_GT(store.MovePasswords(mailboxes, true), 0);
  EXPECT_EQ(Load(2).OAuthRefreshToken, mailboxes[2].OAuthRefreshToken);
}

struct AuthCase {
  const char* Name;
  const char* Text;
  int16_t Code;
};

class AuthKeyTest : public OAuthSettingsTest, public testing::WithParamInterface<AuthCase> {};

TEST_P(AuthKeyTest, ReadsTheCodeAndWritesItBackAsRead) {
  File() = "[MailBox2]\r\nName=x\r\nAuth=" + std::string(GetParam().Text) + "\r\n";
  MailboxRecord record = Load(2);
  EXPECT_EQ(record.Auth, GetParam().Code);
  EXPECT_EQ(EffectiveAuth(record.Auth).has_value(), GetParam().Code != kUnknownAuth);
  const std::string before = File();
  store.SaveMailbox(record, 2);
  // Known or not, the text stays as the user wrote it until a choice is made.
  EXPECT_EQ(IniFile(File()).Read("MailBox2", "Auth"), IniFile(before).Read("MailBox2", "Auth"));
}

INSTANTIATE_TEST_SUITE_P(Texts, AuthKeyTest,
                         testing::Values(AuthCase{"Zero", "0", 0}, AuthCase{"One", "1", 1},
                                         AuthCase{"Blanks", " 1\t", 1},
                                         AuthCase{"Two", "2", kUnknownAuth},
                                         AuthCase{"Word", "oauth", kUnknownAuth},
                                         AuthCase{"Minus", "-1", kUnknownAuth},
                                         AuthCase{"OneDot", "1.0", kUnknownAuth}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(OAuthSettingsTest, FileWithoutTheKeysStaysWithoutThem) {
  File() = "[MailBox2]\r\nName=x\r\nUser=bob\r\n";
  MailboxRecord record = Load(2);
  EXPECT_EQ(record.Auth, 0);
  store.SaveMailbox(record, 2);
  for (const char* key :
       {"Auth", "OAuthProvider", "OAuthClientId", "OAuthClientSecret", "OAuthRefreshToken"}) {
    EXPECT_FALSE(Key(key)) << key;
  }
}

}  // namespace
}  // namespace postvane
