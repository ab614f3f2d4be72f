// The command line goes to Windows as it stands: the started program's own rules split its
// arguments. The window opens normally, with the focus.
#include "win32/win32_program_starter.h"

#include <windows.h>

#include "win32/wide_text.h"

namespace postvane {

bool Win32ProgramStarter::StartDetached(const std::string& commandLine) {
  std::wstring line = Widen(commandLine);
  if (line.find_first_not_of(L" \t") == std::wstring::npos) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace postvane
