// Passwords in the Credential Manager of Windows (Wine's, in the private prefix).
#include "win32/credential_store.h"

// wincred.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <wincred.h>
// clang-format on

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

// Keys of this process only, so that runs side by side never meet.
std::string Key(const std::string& name) {
  return "C:\\Test " + std::to_string(GetCurrentProcessId()) + "\\Postvane.ini mailbox " + name;
}

struct SecretCase {
  const char* name;
  std::string secret;
};

class CredentialStoreTest : public testing::TestWithParam<SecretCase> {
 protected:
  void TearDown() override { store.Remove(Key(GetParam().name)); }
  CredentialStore store;
};

TEST_P(CredentialStoreTest, WrittenSecretReadsBackByteForByteUntilRemoved) {
  const std::string key = Key(GetParam().name);
  std::string read = "left over";
  EXPECT_EQ(store.Read(key, read), SecretResult::NotFound);
  ASSERT_EQ(store.Write(key, GetParam().secret), SecretResult::Ok);
  ASSERT_EQ(store.Read(key, read), SecretResult::Ok);
  EXPECT_EQ(read, GetParam().secret);
  // A generic credential under the documented name, readable by other tools.
  PCREDENTIALW credential = nullptr;
  ASSERT_TRUE(
      CredReadW(CredentialStore::TargetName(key).c_str(), CRED_TYPE_GENERIC, 0, &credential));
  EXPECT_EQ(std::wstring(credential->TargetName).rfind(L"Postvane/", 0), 0u);
  CredFree(credential);
  EXPECT_EQ(store.Remove(key), SecretResult::Ok);
  EXPECT_EQ(store.Read(key, read), SecretResult::NotFound);
  EXPECT_EQ(store.Remove(key), SecretResult::Ok) << "removing what is not there is no error";
}

INSTANTIATE_TEST_SUITE_P(Secrets, CredentialStoreTest,
                         testing::Values(SecretCase{"Ascii", "secret"}, SecretCase{"Empty", ""},
                                         SecretCase{"Utf8", "p\xC3\xA4ss w\xC3\xB6rd \xE2\x82\xAC"},
                                         SecretCase{"Blanks", "  both ends  "},
                                         SecretCase{"Long", std::string(255, 'k')}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CredentialStoreKeys, EachKeyHoldsItsOwnSecret) {
  CredentialStore store;
  ASSERT_EQ(store.Write(Key("0"), "first"), SecretResult::Ok);
  ASSERT_EQ(store.Write(Key("1"), "second"), SecretResult::Ok);
  ASSERT_EQ(store.Write(Key("0"), "replaced"), SecretResult::Ok);
  std::string read;
  EXPECT_EQ(store.Read(Key("0"), read), SecretResult::Ok);
  EXPECT_EQ(read, "replaced");
  EXPECT_EQ(store.Read(Key("1"), read), SecretResult::Ok);
  EXPECT_EQ(read, "second");
  store.Remove(Key("0"));
  store.Remove(Key("1"));
}

}  // namespace
}  // namespace postvane
