// SetTimer on a hidden window of its own, so that every timer has its own id space.
#include "win32/win32_timer.h"

#include <utility>

namespace postvane {

Win32Timer::Win32Timer(int intervalMs)
    : intervalMs_(intervalMs), window_([this](UINT message, WPARAM id, LPARAM) {
        // A tick already queued when Stop ran is not delivered.
        if (message == WM_TIMER && id == kTimerId && running_ && handler_) handler_();
      }) {}

Win32Timer::~Win32Timer() { Stop(); }

void Win32Timer::SetTickHandler(std::function<void()> handler) { handler_ = std::move(handler); }

void Win32Timer::Start() {
  // Starting a running timer restarts its interval, as SetTimer on the same id does.
  running_ = SetTimer(window_.Handle(), kTimerId, static_cast<UINT>(intervalMs_), nullptr) != 0;
}

void Win32Timer::Stop() {
  if (!running_) return;
  KillTimer(window_.Handle(), kTimerId);
  running_ = false;
}

}  // namespace postvane
