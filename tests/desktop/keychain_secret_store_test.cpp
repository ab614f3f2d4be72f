// Passwords in the desktop keyring: a private session bus with gnome-keyring-daemon unlocked by a
// known password; secrets go in, come back and go away, and a locked keyring gives none.
#include "desktop/net/keychain_secret_store.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QTemporaryDir>

#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "desktop/keyring_daemon.h"
#include "desktop/private_session_bus.h"

namespace postvane {
namespace {

#ifdef POSTVANE_HAVE_KEYCHAIN

TEST(KeychainSecretStoreTest, SecretsGoInComeBackAndGoAway) {
  KeyringDaemon keyring;
  ASSERT_TRUE(keyring.WaitUntilReady());
  KeychainSecretStore store;
  std::string secret;
  EXPECT_EQ(store.Read("test mailbox 0", secret), SecretResult::NotFound);

  const std::string password = "s3cret äöü \"quoted\"";
  ASSERT_EQ(store.Write("test mailbox 0", password), SecretResult::Ok);
  ASSERT_EQ(store.Read("test mailbox 0", secret), SecretResult::Ok);
  EXPECT_EQ(secret, password);

  EXPECT_EQ(store.Remove("test mailbox 0"), SecretResult::Ok);
  EXPECT_EQ(store.Read("test mailbox 0", secret), SecretResult::NotFound);
  // Removing what is gone is no failure.
  EXPECT_EQ(store.Remove("test mailbox 0"), SecretResult::Ok);
}

// A locked item reads as missing through the Secret Service's lookup; either way the caller
// gets no password and treats the keyring as unavailable.
TEST(KeychainSecretStoreTest, LockedKeyringGivesNoSecret) {
  KeyringDaemon keyring;
  ASSERT_TRUE(keyring.WaitUntilReady());
  KeychainSecretStore store;
  ASSERT_EQ(store.Write("test mailbox 1", "pw"), SecretResult::Ok);
  ASSERT_TRUE(keyring.Lock());
  std::string secret = "unchanged";
  EXPECT_NE(store.Read("test mailbox 1", secret), SecretResult::Ok);
  EXPECT_EQ(secret, "unchanged");
}

TEST(KeychainSecretStoreTest, NoKeyringIsUnavailable) {
  KeychainSecretStore store;
  std::string secret;
  EXPECT_EQ(store.Read("test mailbox 2", secret), SecretResult::Unavailable);
  EXPECT_EQ(store.Write("test mailbox 2", "pw"), SecretResult::Unavailable);
}

#else
TEST(Keyring, NeedsQtKeychain) { GTEST_SKIP() << "built without QtKeychain"; }
#endif

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  postvane::PrivateSessionBus bus;
  if (!bus.Started()) {
    std::fprintf(stderr, "no private session bus (dbus-daemon missing?)\n");
    return 1;
  }
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
