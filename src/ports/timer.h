// A timer of the main window: started, stopped, and ticking on the program's thread.
#pragma once

#include <functional>

namespace postvane {

constexpr int kMinuteTimerMs = 60000;
constexpr int kTrayTimerMs = 1500;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kQuitWaitMs = 1000;

// The interval is fixed when the timer is made; ticks repeat until Stop.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetTickHandler(std::function<void()> handler) = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
};

}  // namespace postvane
