// The hidden main window: it owns the ten tray icons, the four timers, the socket and the tray
// menu, stands in for the platform behind the core's interfaces, and forwards every tray and
// menu event to the core.
#pragma once

// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/postvane_app.h"
#include "app/program_state.h"
#include "check/silent_server_guard.h"
#include "ports/tray_icons.h"
#include "ports/windows.h"
#include "text/own_text.h"
#include "win32/balloon_notifier.h"
#include "win32/program_folder.h"
#include "win32/run_key_autostart.h"
#include "win32/win32_clock.h"
#include "win32/win32_file_system.h"
#include "win32/win32_program_starter.h"
#include "win32/win32_socket.h"
#include "win32/win32_sound_player.h"
#include "win32/win32_timer.h"

namespace postvane {

class AboutWindow;
class ConfigWindow;
class StatusWindow;

class MainWindow : public TrayIcons, public Windows {
 public:
  // Creates the icons (picture 101, no tool tip, icon 0 visible) and the menu, and starts the
  // minute and tray timers: they run from the moment the window exists.
  MainWindow(ProgramState& state, FileSystem& files);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  AppPlatform Platform();
  void Attach(PostvaneApp* app) { app_ = app; }

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
  Win32Timer replyTimeout_{kReplyTimeoutMs};
  // The core's socket: the Windows socket, with the reply time-out for servers that go silent.
  SilentServerGuard socket_{winsock1_, replyTimeout_, [this] {
                              return OwnString(state_.LanguageBase, OwnText::NoAnswerFromServer);
                            }};
  Win32Clock clock_;
  Win32DateText dateText_;
  Win32SoundPlayer sound_;
  Win32ProgramStarter programs_;
  // Balloons on the first icon that shows.
  BalloonNotifier notices_{[this] {
    for (int i = 0; i < kTrayIcons; ++i) {
      if (visible_[static_cast<std::size_t>(i)]) return i;
    }
    return -1;
  }};

  // "Start with Windows", for this very .exe.
  RunKeyAutostart autostart_{RunKeyAutostart::kRunKey, L"Postvane", ExecutableFile()};

  std::array<std::string, kTrayIcons> toolTips_{};
  std::array<int, kTrayIcons> pictures_{};
  std::array<bool, kTrayIcons> visible_{};
  bool mdaemonVisible_ = false;

  std::unique_ptr<StatusWindow> status_;
  std::unique_ptr<ConfigWindow> config_;
  std::unique_ptr<AboutWindow> about_;
};

}  // namespace postvane
