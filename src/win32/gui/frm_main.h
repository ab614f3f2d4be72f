// The hidden main window: it owns the ten tray icons, the four timers, the socket and the tray
// menu, stands in for the platform behind the core's interfaces, and forwards every tray and
// menu event to the core.
#pragma once

// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/postvane_app.h"
#include "app/program_state.h"
#include "app/push_watches.h"
#include "check/check_time_limit.h"
#include "check/silent_server_guard.h"
#include "ports/forms.h"
#include "ports/tray_icons.h"
#include "text/own_text.h"
#include "ui/tray_icon_cache.h"
#include "win32/balloon_notifier.h"
#include "win32/program_folder.h"
#include "win32/run_key_autostart.h"
#include "win32/win32_clock.h"
#include "win32/win32_default_mail_client.h"
#include "win32/win32_do_not_disturb.h"
#include "win32/win32_file_system.h"
#include "win32/win32_program_starter.h"
#include "win32/win32_socket.h"
#include "win32/win32_sound_player.h"
#include "win32/win32_timer.h"

namespace postvane {

class frmInfo;
class frmConfig;
class frmStatus;

class frmMain : public TrayIcons, public Forms {
 public:
  static constexpr int kIdlePicture = 101;

  // Creates the icons (picture 101, no tool tip, icon 0 visible) and the menu, and starts the
  // minute and tray timers: they run from the moment the window exists.
  frmMain(ProgramState& state, FileSystem& files);
  ~frmMain() override;
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  AppPlatform Platform();
  void Attach(PostvaneApp* app) { app_ = app; }

  // The platform's side of the tray: each call writes the icon as the cache now holds it.
  void SetTrayPicture(int index, int iconId) override;
  std::string GetTrayToolTip(int index) override;
  void SetTrayToolTip(int index, const std::string& text) override;
  bool GetTrayVisible(int index) override;
  void SetTrayVisible(int index, bool visible) override;

  void LocalizeMainCaptions() override;
  void ShowStatus() override;
  void ShowConfig() override;
  void ShowConfigOn(ConfigTab tab) override;
  void ShowAbout() override;
  void ShowTrayMenu() override;
  void SetMDaemonMenuVisible(bool visible) override;
  void ExitProgram() override;

  HWND Handle() const { return window_; }
  BalloonNotifier& Notices() { return notices_; }

  // The icons' callback message; lParam carries the mouse or balloon event.
  static constexpr UINT kTrayMessage = WM_APP + 100;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnTrayEvent(int index, UINT mouseMessage);
  void OnMenuCommand(UINT id);
  void UpdateIcon(int index, DWORD flags);
  void BuildMenu();

  ProgramState& state_;
  FileSystem& files_;
  PostvaneApp* app_ = nullptr;
  HWND window_ = nullptr;
  HMENU menu_ = nullptr;
  UINT taskbarCreated_ = 0;

  Win32Socket winsock1_;
  Win32Timer timer_{kMinuteTimerMs};
  Win32Timer trayTimer_{kTrayTimerMs};
  Win32Timer timeout_{kConnectTimeoutMs};
  Win32Timer timerQuit_{kQuitWaitMs};
  Win32Timer replyTimeout_{ReplyTimeoutMs(std::getenv(kReplyTimeoutVariable))};
  Win32Timer checkLimit_{kCheckLimitTickMs};
  // The Windows socket with the reply time-out for servers that go silent.
  SilentServerGuard silenceGuard_{
      winsock1_, replyTimeout_,
      [this] { return OwnString(state_.LanguageBase, OwnText::NoAnswerFromServer); }};
  // The core's socket: that one, with the limit of a whole mailbox check.
  CheckTimeLimit socket_{silenceGuard_, checkLimit_, [this] {
                           return OwnString(state_.LanguageBase, OwnText::MailboxCheckTooLong);
                         }};
  // Sockets and timers for the IMAP push watches, made as the core asks.
  PushPlatform push_{
      .MakeSocket = [] { return std::make_unique<Win32Socket>(); },
      .MakeTimer = [](int milliseconds) { return std::make_unique<Win32Timer>(milliseconds); },
      .ReplyTimeoutMs = ReplyTimeoutMs(std::getenv(kReplyTimeoutVariable))};
  Win32Clock clock_;
  Win32DateText dateText_;
  Win32SoundPlayer sound_;
  Win32ProgramStarter programs_;
  // Balloons on the first icon that shows.
  BalloonNotifier notices_{[this] {
    for (int i = 0; i < kTrayIcons; ++i) {
      if (tray_.GetTrayVisible(i)) return i;
    }
    return -1;
  }};

  Win32DefaultMailClient mailClient_;
  Win32DoNotDisturb doNotDisturb_;

  // "Start with Windows", for this very .exe.
  RunKeyAutostart autostart_{RunKeyAutostart::kRunKey, L"Postvane", ExecutableFile()};

  // What the core sets; only changes reach the icons.
  TrayIconCache tray_{*this, kIdlePicture};
  bool mdaemonVisible_ = false;

  std::unique_ptr<frmStatus> status_;
  std::unique_ptr<frmConfig> config_;
  std::unique_ptr<frmInfo> about_;
};

}  // namespace postvane
