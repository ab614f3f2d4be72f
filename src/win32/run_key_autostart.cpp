// The Run value with the registry functions of advapi32.
#include "win32/run_key_autostart.h"

#include <windows.h>

#include <utility>

#include "win32/wide_text.h"

namespace postvane {

RunKeyAutostart::RunKeyAutostart(std::wstring keyPath, std::wstring valueName,
                                 std::string programFile)
    : keyPath_(std::move(keyPath)),
      valueName_(std::move(valueName)),
      programFile_(std::move(programFile)) {}

std::wstring RunKeyAutostart::CommandLine() const { return L"\"" + Widen(programFile_) + L"\""; }

bool RunKeyAutostart::Exists() const {
  return RegGetValueW(HKEY_CURRENT_USER, keyPath_.c_str(), valueName_.c_str(), RRF_RT_REG_SZ,
                      nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RunKeyAutostart::Set(bool wanted) {
  if (!wanted) {
    const LSTATUS removed =
        RegDeleteKeyValueW(HKEY_CURRENT_USER, keyPath_.c_str(), valueName_.c_str());
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
  }
  // A path with a quote in it cannot be written as one argument.
  if (programFile_.empty() || programFile_.find('"') != std::string::npos) return false;
  const std::wstring command = CommandLine();
  return RegSetKeyValueW(
             HKEY_CURRENT_USER, keyPath_.c_str(), valueName_.c_str(), REG_SZ, command.c_str(),
             static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace postvane
