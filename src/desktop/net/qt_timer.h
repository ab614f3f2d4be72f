// A Timer on a QTimer: repeating ticks on the thread that owns it.
#pragma once

#include <QTimer>
#include <functional>

#include "ports/timer.h"

namespace postvane {

class QtTimer : public Timer {
 public:
  explicit QtTimer(int intervalMs);

  void SetTickHandler(std::function<void()> handler) override;
  // Always a full interval from now, also for a running timer: a connection started while an
  // earlier one was still pending gets its own whole time-out.
  void Start() override;
  void Stop() override;
  bool IsRunning() const override;

 private:
  QTimer timer_;
  std::function<void()> handler_;
};

}  // namespace postvane
