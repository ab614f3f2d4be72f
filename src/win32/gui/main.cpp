// postvane.exe: a POP3 mail checker in the notification area. Wires things together, nothing more.
// commctrl.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "app/postvane_app.h"
#include "app/program_state.h"
#include "settings/settings_place.h"
#include "text/own_text.h"
#include "text/string_table.h"
#include "win32/credential_store.h"
#include "win32/gui/frm_main.h"
#include "win32/program_folder.h"
#include "win32/settings_location.h"
#include "win32/user_language.h"
#include "win32/wide_text.h"
#include "win32/win32_charset_converter.h"
#include "win32/win32_file_system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace postvane;
  // One instance per user session; a second one ends before it reads a setting, and says why:
  // it has no console to say it on. Without the mutex at all it starts anyway, as the Linux
  // program does when it cannot tell.
  HANDLE instance = CreateMutexW(nullptr, TRUE, L"Local\\Postvane.SingleInstance");
  if (instance != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    const auto languageBase = static_cast<int16_t>(SelectLanguage(UserLanguageId()) * 100);
    MessageBoxW(nullptr, Widen(OwnString(languageBase, OwnText::AlreadyRunning)).c_str(),
                L"Postvane", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    CloseHandle(instance);
    return 0;
  }

  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  ProgramState state;
  state.Paths =
      ChooseWindowsPaths(ExecutableFolder(), SettingsFileArgument(CommandArguments())).Paths;
  Win32FileSystem files;
  frmMain main(state, files);
  Win32CharsetConverter charsets;
  CredentialStore secrets;
  PostvaneApp app(state, main.Platform());
  app.Settings().UseSecretStore(&secrets);
  app.Engine().SetCharsetConverter(charsets);
  main.Attach(&app);
  app.StartUp(UserLanguageId());

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and Enter move between and press the dialog's controls.
    HWND form = GetAncestor(message.hwnd, GA_ROOT);
    if (form != nullptr && form != main.Handle() && IsDialogMessageW(form, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  main.Attach(nullptr);
  if (instance != nullptr) CloseHandle(instance);
  return 0;
}
