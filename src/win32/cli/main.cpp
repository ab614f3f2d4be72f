// postvane-check.exe: one check cycle over the mailboxes of a settings file, printed, then exit;
// or, with --watch, checks that go on until Ctrl+C or the console's close ends them.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "app/one_shot_check.h"
#include "check/silent_server_guard.h"
#include "win32/credential_store.h"
#include "win32/program_folder.h"
#include "win32/settings_location.h"
#include "win32/user_language.h"
#include "win32/win32_charset_converter.h"
#include "win32/win32_clock.h"
#include "win32/win32_file_system.h"
#include "win32/win32_socket.h"
#include "win32/win32_timer.h"

namespace {

// The thread whose message loop a console control event ends.
DWORD mainThread = 0;

BOOL WINAPI OnConsoleControl(DWORD /*event*/) {
  // Handled on a thread of its own: the main thread's loop gets the end as a message.
  PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
  return TRUE;
}

}  // namespace

int main() {
  using namespace postvane;
  // The report is UTF-8 with line feeds, byte for byte as on every other system; the console
  // shows it as such.
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  Win32FileSystem files;
  Win32Socket socket;
  Win32Clock clock;
  Win32CharsetConverter charsets;
  CredentialStore secrets;
  const OneShotPlatform platform{
      .Arguments = CommandArguments(),
      .UserLanguageId = static_cast<int>(UserLanguageId()),
      // Beside the program, in %APPDATA%\Postvane for an installed copy, or as --settings says.
      .ChoosePaths =
          [](const std::optional<std::string>& settingsFile) {
            return ChooseWindowsPaths(ExecutableFolder(), settingsFile);
          },
      .Files = files,
      .ServerSocket = socket,
      .SystemClock = clock,
      .Charsets = &charsets,
      .Secrets = &secrets,
      .MakeTimer = [](int milliseconds) { return std::make_unique<Win32Timer>(milliseconds); },
      .RunEvents =
          [](const std::function<bool()>& finished) {
            MSG message;
            while (!finished() && GetMessageW(&message, nullptr, 0, 0) > 0) {
              TranslateMessage(&message);
              DispatchMessageW(&message);
            }
          },
      .Quit = [] { PostQuitMessage(0); },
      .ReplyTimeoutSetting = std::getenv(kReplyTimeoutVariable),
      .MakeSocket = [] { return std::make_unique<Win32Socket>(); },
      .QuitOnSignals =
          [] {
            mainThread = GetCurrentThreadId();
            SetConsoleCtrlHandler(OnConsoleControl, TRUE);
          },
  };
  return RunOneShotCheck(platform, std::cout, std::cerr);
}
