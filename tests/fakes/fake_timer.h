// Timer for tests: Start and Stop are recorded, and the test makes it tick with Fire.
#pragma once

#include <functional>
#include <utility>

#include "ports/timer.h"

namespace postvane {

class FakeTimer : public Timer {
 public:
  explicit FakeTimer(int intervalMs = 0) : IntervalMs(intervalMs) {}

  int IntervalMs;
  std::function<void()> Handler;
  bool Running = false;
  int StartCount = 0;
  int StopCount = 0;

  void SetTickHandler(std::function<void()> handler) override { Handler = std::move(handler); }
  void Start() override {
    Running = true;
    ++StartCount;
  }
  void Stop() override {
    Running = false;
    ++StopCount;
  }
  bool IsRunning() const override { return Running; }

  // One tick, as when the interval has run out. Only a running timer ticks.
  bool Fire() {
    if (!Running || !Handler) return false;
    Handler();
    return true;
  }
};

}  // namespace postvane
