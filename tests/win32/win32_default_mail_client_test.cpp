// The registered default mail client against the registry (Wine's, in the private prefix): the
// user's choice under Software\Clients\Mail, its shown name and its command, expanded.
#include "win32/win32_default_mail_client.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "../fakes/temp_folder.h"
#include "win32/wide_text.h"

namespace postvane {
namespace {

constexpr wchar_t kClients[] = L"Software\\Clients\\Mail";

std::optional<std::wstring> DefaultValue(const std::wstring& key) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr,
                   data, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return data;
}

void SetDefault(const std::wstring& key, const std::wstring& value, DWORD type = REG_SZ) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(handle, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

// The user's choice is this test's client for as long as the test runs; what was chosen
// before comes back afterwards.
class DefaultMailClientTest : public testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, client_.c_str());
    if (before_) {
      SetDefault(kClients, *before_);
    } else {
      HKEY handle = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kClients, 0, KEY_SET_VALUE, &handle) == ERROR_SUCCESS) {
        RegDeleteValueW(handle, nullptr);
        RegCloseKey(handle);
      }
    }
  }

  const std::wstring name_ = L"PostvaneTestMail" + std::to_wstring(GetCurrentProcessId());
  const std::wstring client_ = std::wstring(kClients) + L"\\" + name_;
  const std::optional<std::wstring> before_ = DefaultValue(kClients);
};

TEST_F(DefaultMailClientTest, ShownNameOfTheUsersChoiceAndItsExpandedCommandStarts) {
  TempFolder folder;
  const std::filesystem::path marker = folder.Path() / "started.txt";
  SetDefault(kClients, name_);
  SetDefault(client_, L"Example Mail \u00e9");
  // As installers write it: an expandable string.
  SetDefault(client_ + L"\\shell\\open\\command",
             L"%ComSpec% /c echo started> \"" + marker.wstring() + L"\"", REG_EXPAND_SZ);
  Win32DefaultMailClient client;
  EXPECT_EQ(client.Name(), "Example Mail \u00e9");
  ASSERT_TRUE(client.Start());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(marker) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST_F(DefaultMailClientTest, KeyNameWhenTheClientShowsNoneAndNothingWithoutACommand) {
  SetDefault(kClients, name_);
  SetDefault(client_ + L"\\shell\\open\\command", L"C:\\Mail\\mail.exe");
  Win32DefaultMailClient client;
  EXPECT_EQ(client.Name(), Narrow(name_));
  RegDeleteTreeW(HKEY_CURRENT_USER, (client_ + L"\\shell").c_str());
  // The machine's choice, if the prefix has one, is never this test's client.
  EXPECT_NE(client.Name(), Narrow(name_));
}

}  // namespace
}  // namespace postvane
