// Desktop notices on Windows: a balloon on the tray icon (Shell_NotifyIcon with NIF_INFO),
// which Windows 10 and 11 show as a toast. A click on it comes back to the icon's window as
// NIN_BALLOONUSERCLICK, which the window hands on with Clicked().
#pragma once

// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <functional>

#include "ports/desktop_notifier.h"

namespace postvane {

class BalloonNotifier final : public DesktopNotifier {
 public:
  using ShellCall = std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)>;

  // `icon` names the tray icon the balloon belongs to (the window's first visible one), or -1
  // when none shows; `shell` is the system's call unless a test records it.
  explicit BalloonNotifier(std::function<int()> icon, ShellCall shell = &Shell_NotifyIconW);

  // The window whose icons carry the balloons; none before it exists.
  void SetWindow(HWND window) { window_ = window; }

  // Title and text are cut to what the balloon holds (63 and 255 characters).
  void Show(const DesktopNotice& notice) override;
  void SetClickHandler(std::function<void()> handler) override { clicked_ = std::move(handler); }
  void Clicked();

 private:
  std::function<int()> icon_;
  ShellCall shell_;
  HWND window_ = nullptr;
  std::function<void()> clicked_;
};

}  // namespace postvane
