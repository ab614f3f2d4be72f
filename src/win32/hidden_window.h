// A message-only window: the place where timer ticks and socket events reach the program's thread.
#pragma once

#include <windows.h>

#include <functional>

namespace postvane {

// Hands every WM_TIMER and WM_APP.. message to the handler; lives and dies on the thread that
// runs the message loop.
class HiddenWindow {
 public:
  using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

  explicit HiddenWindow(Handler handler);
  ~HiddenWindow();
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;

  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  Handler handler_;
  HWND window_ = nullptr;
};

}  // namespace postvane
