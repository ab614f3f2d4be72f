// postvane.exe: a POP3 mail checker in the notification area. Wires things together, nothing more.
#include <windows.h>
#include <commctrl.h>

#include "app/postvane_app.h"
#include "app/program_state.h"
#include "settings/program_paths.h"
#include "win32/gui/frm_main.h"
#include "win32/program_folder.h"
#include "win32/user_language.h"
#include "win32/win32_charset_converter.h"
#include "win32/win32_file_system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace postvane;
  // One instance per user session; a second one ends before it reads a setting.
  HANDLE instance = CreateMutexW(nullptr, TRUE, L"Local\\Postvane.SingleInstance");
  if (instance == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  ProgramState state;
  state.Paths = MakeProgramPaths(ExecutableFolder());
  Win32FileSystem files;
  frmMain main(state, files);
  Win32CharsetConverter charsets;
  PostvaneApp app(state, main.Platform());
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
  CloseHandle(instance);
  return 0;
}
