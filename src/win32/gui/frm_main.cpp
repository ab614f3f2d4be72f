// Tray icons with Shell_NotifyIconW, the menu with TrackPopupMenu, the other windows on demand.
#include "win32/gui/frm_main.h"

#include <utility>

#include "text/string_table.h"
#include "win32/gui/frm_config.h"
#include "win32/gui/frm_info.h"
#include "win32/gui/frm_status.h"
#include "win32/wide_text.h"

namespace postvane {
namespace {

constexpr wchar_t kClassName[] = L"PostvaneMain";
// Menu commands are the string ids of their captions, plus this.
constexpr UINT kMenuBase = 1000;

struct MenuEntry {
  StringId caption;
  void (PostvaneApp::*handler)();
};

constexpr MenuEntry kMenu[] = {
    {StringId::MenuCheckNow, &PostvaneApp::StartCycle},
    {StringId::MenuRunMailReader, &PostvaneApp::OpenMailReader},
    {StringId::MenuShowStatus, &PostvaneApp::ShowStatus},
    {StringId::MenuProcessMDaemon, &PostvaneApp::RequestMDaemon},
    {StringId::MenuConfiguration, &PostvaneApp::ShowConfig},
    {StringId::MenuAbout, &PostvaneApp::ShowAbout},
    {StringId::MenuExit, &PostvaneApp::ExitProgram},
};

UINT CommandOf(StringId caption) { return kMenuBase + static_cast<UINT>(caption); }

HICON TrayIcon(int iconId) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId),
                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                       GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

void RegisterClassOnce() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    return RegisterClassExW(&windowClass) != 0;
  }();
  (void)registered;
}

}  // namespace

frmMain::frmMain(ProgramState& state, FileSystem& files) : state_(state), files_(files) {
  RegisterClassOnce();
  taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  window_ = CreateWindowExW(0, kClassName, L"Postvane", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&frmMain::Procedure));
  notices_.SetWindow(window_);
  BuildMenu();
  tray_.SetTrayVisible(0, true);
  timer_.Start();
  trayTimer_.Start();
}

frmMain::~frmMain() {
  for (int i = 0; i < kTrayIcons; ++i) tray_.SetTrayVisible(i, false);
  status_.reset();
  config_.reset();
  about_.reset();
  if (menu_ != nullptr) DestroyMenu(menu_);
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

AppPlatform frmMain::Platform() {
  AppPlatform platform{socket_,   timer_,    trayTimer_, timeout_,     timerQuit_,
                       clock_,    dateText_, files_,     tray_,        sound_,
                       programs_, *this,     notices_,   &mailClient_, &doNotDisturb_};
  platform.Push = &push_;
  return platform;
}

void frmMain::UpdateIcon(int index, DWORD message) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = static_cast<UINT>(index);
  data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = TrayIcon(tray_.Picture(index));
  // The tray holds 127 characters of tip; longer ones are cut.
  const std::wstring tip = Widen(tray_.GetTrayToolTip(index)).substr(0, 127);
  tip.copy(data.szTip, tip.size());
  Shell_NotifyIconW(message, &data);
}

void frmMain::SetTrayPicture(int index, int) {
  if (tray_.GetTrayVisible(index)) UpdateIcon(index, NIM_MODIFY);
}

std::string frmMain::GetTrayToolTip(int index) { return tray_.GetTrayToolTip(index); }

void frmMain::SetTrayToolTip(int index, const std::string&) {
  if (tray_.GetTrayVisible(index)) UpdateIcon(index, NIM_MODIFY);
}

bool frmMain::GetTrayVisible(int index) { return tray_.GetTrayVisible(index); }

void frmMain::SetTrayVisible(int index, bool visible) {
  if (visible) {
    UpdateIcon(index, NIM_ADD);
    return;
  }
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = static_cast<UINT>(index);
  Shell_NotifyIconW(NIM_DELETE, &data);
}

void frmMain::BuildMenu() {
  if (menu_ != nullptr) DestroyMenu(menu_);
  menu_ = CreatePopupMenu();
  for (const MenuEntry& entry : kMenu) {
    if (entry.caption == StringId::MenuProcessMDaemon && !mdaemonVisible_) continue;
    // Before the captions are localized the entries show their placeholder codes, as every
    // caption does until then.
    const std::string caption = state_.LanguageBase != 0
                                    ? LocalString(state_.LanguageBase, entry.caption)
                                    : "res1" + std::to_string(static_cast<int>(entry.caption));
    AppendMenuW(menu_, MF_STRING, CommandOf(entry.caption), Widen(caption).c_str());
  }
}

void frmMain::LocalizeMainCaptions() { BuildMenu(); }

void frmMain::SetMDaemonMenuVisible(bool visible) {
  if (mdaemonVisible_ == visible) return;
  mdaemonVisible_ = visible;
  BuildMenu();
}

void frmMain::ShowTrayMenu() {
  POINT at{};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window_);
  TrackPopupMenu(menu_, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

void frmMain::ShowStatus() {
  if (app_ == nullptr) return;
  if (!status_ || !status_->IsOpen()) status_ = std::make_unique<frmStatus>(*app_);
  status_->BringUp();
}

void frmMain::ShowConfig() {
  if (app_ == nullptr) return;
  if (!config_ || !config_->IsOpen()) {
    config_ = std::make_unique<frmConfig>(
        state_, app_->Settings(), [this](bool visible) { SetMDaemonMenuVisible(visible); },
        [this] {
          if (app_ != nullptr) app_->OnConfigClosed();
        },
        &autostart_);
    // The grey hint in the empty field: what runs while no mail program is set.
    config_->ShowMailProgramHint(mailClient_.Name());
  }
  config_->BringUp();
}

void frmMain::ShowConfigOn(ConfigTab tab) {
  ShowConfig();
  if (config_) config_->ShowTab(static_cast<int>(tab));
}

void frmMain::ShowAbout() {
  if (!about_ || !about_->IsOpen()) about_ = std::make_unique<frmInfo>(state_.LanguageBase);
  about_->BringUp();
}

void frmMain::ExitProgram() {
  // At once and without saving; only the icons go first, or they would linger in the tray.
  for (int i = 0; i < kTrayIcons; ++i) tray_.SetTrayVisible(i, false);
  ExitProcess(0);
}

void frmMain::OnTrayEvent(int index, UINT mouseMessage) {
  // A click on the balloon: the notice's own handler acknowledges.
  if (mouseMessage == NIN_BALLOONUSERCLICK) {
    notices_.Clicked();
    return;
  }
  if (app_ == nullptr || index < 0 || index >= kTrayIcons) return;
  switch (mouseMessage) {
    case WM_LBUTTONUP:
      app_->OnTrayClick(index);
      break;
    case WM_LBUTTONDBLCLK:
      app_->OnTrayDoubleClick(index);
      break;
    case WM_RBUTTONUP:
      app_->OnTrayMenuRequest(index);
      break;
    default:
      break;
  }
}

void frmMain::OnMenuCommand(UINT id) {
  if (app_ == nullptr) return;
  for (const MenuEntry& entry : kMenu) {
    if (CommandOf(entry.caption) == id) (app_->*entry.handler)();
  }
}

LRESULT frmMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kTrayMessage) {
    OnTrayEvent(static_cast<int>(wParam), static_cast<UINT>(lParam));
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == 0) {
    OnMenuCommand(LOWORD(wParam));
    return 0;
  }
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    // A restarted shell has forgotten every icon.
    for (int i = 0; i < kTrayIcons; ++i) {
      if (tray_.GetTrayVisible(i)) UpdateIcon(i, NIM_ADD);
    }
    return 0;
  }
  if (message == WM_ENDSESSION && wParam) ExitProgram();
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK frmMain::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

}  // namespace postvane
