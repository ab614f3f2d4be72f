// "Start with Windows" against the registry (Wine's, in the private prefix), under a key of the
// test's own beside the real Run key.
#include "win32/run_key_autostart.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "win32/wide_text.h"

namespace postvane {
namespace {

std::wstring ValueOf(const std::wstring& key, const std::wstring& name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data,
                   &size) != ERROR_SUCCESS) {
    return L"<none>";
  }
  return data;
}

struct ProgramCase {
  const char* name;
  std::string program;
};

class RunKeyAutostartTest : public testing::TestWithParam<ProgramCase> {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
  const std::wstring key_ = L"Software\\PostvaneTest\\Run" + std::to_wstring(GetCurrentProcessId());
};

TEST_P(RunKeyAutostartTest, ValueStartsTheProgramQuotedUntilRemoved) {
  RunKeyAutostart autostart(key_, L"Postvane", GetParam().program);
  EXPECT_FALSE(autostart.Exists());
  ASSERT_TRUE(autostart.Set(true));
  EXPECT_TRUE(autostart.Exists());
  EXPECT_EQ(ValueOf(key_, L"Postvane"), L"\"" + Widen(GetParam().program) + L"\"");
  // Another program's value under the same key stays.
  RunKeyAutostart other(key_, L"Other", "C:\\Other\\other.exe");
  ASSERT_TRUE(other.Set(true));
  ASSERT_TRUE(autostart.Set(false));
  EXPECT_FALSE(autostart.Exists());
  EXPECT_EQ(ValueOf(key_, L"Postvane"), L"<none>");
  EXPECT_TRUE(other.Exists());
  EXPECT_TRUE(autostart.Set(false)) << "removing what is not there is no failure";
}

INSTANTIATE_TEST_SUITE_P(
    Programs, RunKeyAutostartTest,
    testing::Values(ProgramCase{"Plain", "C:\\Postvane\\postvane.exe"},
                    ProgramCase{"Blanks", "C:\\Program Files\\Postvane\\postvane.exe"},
                    ProgramCase{"Unicode", "C:\\Users\\J\xC3\xB6rg\\Postvane\\postvane.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunKeyAutostartRefusal, PathThatCannotBeOneArgumentIsNotWritten) {
  const std::wstring key =
      L"Software\\PostvaneTest\\Refused" + std::to_wstring(GetCurrentProcessId());
  RunKeyAutostart autostart(key, L"Postvane", "C:\\odd\"name\\postvane.exe");
  EXPECT_FALSE(autostart.Set(true));
  EXPECT_FALSE(autostart.Exists());
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace
}  // namespace postvane
