// "Start with Windows": a value under the user's Run key that starts the tray program at log-in.
#pragma once

#include <string>

#include "ports/autostart.h"

namespace postvane {

class RunKeyAutostart final : public Autostart {
 public:
  // HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run
  static constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

  // The value `valueName` under HKEY_CURRENT_USER\`keyPath` starts `programFile` (absolute,
  // UTF-8), quoted so that a path with blanks stays one.
  RunKeyAutostart(std::wstring keyPath, std::wstring valueName, std::string programFile);

  bool Exists() const override;
  bool Set(bool wanted) override;

  // What the value holds for the program.
  std::wstring CommandLine() const;

 private:
  std::wstring keyPath_;
  std::wstring valueName_;
  std::string programFile_;
};

}  // namespace postvane
