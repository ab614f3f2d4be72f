// postvane-check with its password in the desktop keyring, against a private Dovecot and
// gnome-keyring-daemon on a private session bus: it logs in with the keyring's password, a
// locked keyring fails the mailbox with its own text, and the file never holds the password.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <string>

#include "desktop/cli_process.h"
#include "desktop/gui_test_support.h"
#include "desktop/keyring_daemon.h"
#include "desktop/net/keychain_secret_store.h"
#include "desktop/private_session_bus.h"
#include "fakes/temp_folder.h"
#include "settings/ini_file.h"
#include "support/dovecot_fixture.h"

namespace postvane::test {
namespace {

#ifdef POSTVANE_HAVE_KEYCHAIN

TEST(KeyringDovecot, LogsInWithTheKeyringsPasswordAndFailsWhileItIsLocked) {
  DovecotFixture dovecot;
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  ASSERT_TRUE(dovecot.Deliver("From: Bob <bob@example.org>\nSubject: Budget\n\nBody.\n"));
  KeyringDaemon keyring;
  ASSERT_TRUE(keyring.WaitUntilReady());

  TempFolder folder;
  const std::string settings = folder.File("Postvane.ini");
  // As the dialog leaves it: no password in the file, the marker, the secret in the keyring.
  std::string text = SettingsText({Mailbox(0, "Dovecot", dovecot.Port(), {}, "")});
  IniFile ini(text);
  ini.Write("MailBox0", "PasswordInKeyring", "1");
  WriteBytes(settings, ini.Bytes());
  KeychainSecretStore secrets;
  ASSERT_EQ(secrets.Write(settings + " mailbox 0", "secret"), SecretResult::Ok);
  const std::string before = ReadBytes(settings);
  const QStringList arguments{"--settings", QString::fromStdString(settings)};

  const CheckResult unlocked = RunCheck(arguments);
  ASSERT_TRUE(unlocked.Finished);
  EXPECT_EQ(unlocked.ExitCode, 0) << unlocked.Out << unlocked.Err << dovecot.ServerLog();
  EXPECT_EQ(unlocked.Out.rfind("0 Dovecot: 1 new message(s)", 0), 0u) << unlocked.Out;

  ASSERT_TRUE(keyring.Lock());
  for (const auto& [environment, expected] :
       {std::pair{EnglishEnvironment(), "Keyring locked or not available"},
        std::pair{GermanEnvironment(), "Schlüsselbund gesperrt oder nicht verfügbar"}}) {
    const CheckResult locked = RunCheck(arguments, environment);
    ASSERT_TRUE(locked.Finished);
    EXPECT_EQ(locked.ExitCode, 2) << locked.Out << locked.Err;
    EXPECT_NE(locked.Out.find(expected), std::string::npos) << locked.Out;
  }
  // Neither run wrote the file, and it never held the password.
  EXPECT_EQ(ReadBytes(settings), before);
  EXPECT_EQ(before.find(TransformPassword("secret")), std::string::npos);
}

#else
TEST(Keyring, NeedsQtKeychain) { GTEST_SKIP() << "built without QtKeychain"; }
#endif

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The checks started here inherit this bus: they see only the test's keyring.
  postvane::PrivateSessionBus bus;
  if (!bus.Started()) {
    std::fprintf(stderr, "no private session bus (dbus-daemon missing?)\n");
    return 1;
  }
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
