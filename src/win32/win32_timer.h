// The core's Timer on SetTimer, ticking through the message loop.
#pragma once

#include <functional>

#include "ports/timer.h"
#include "win32/hidden_window.h"

namespace postvane {

class Win32Timer : public Timer {
 public:
  explicit Win32Timer(int intervalMs);
  ~Win32Timer() override;

  void SetTickHandler(std::function<void()> handler) override;
  void Start() override;
  void Stop() override;
  bool IsRunning() const override { return running_; }

 private:
  static constexpr UINT_PTR kTimerId = 1;

  int intervalMs_;
  std::function<void()> handler_;
  bool running_ = false;
  HiddenWindow window_;
};

}  // namespace postvane
