// QTimer behind the core's Timer interface.
#include "desktop/net/qt_timer.h"

#include <utility>

namespace postvane {

QtTimer::QtTimer(int intervalMs) {
  timer_.setInterval(intervalMs);
  timer_.setSingleShot(false);
  // Millisecond timers drift less than the coarse default, which may fire 5 % early.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
    if (handler_) handler_();
  });
}

void QtTimer::SetTickHandler(std::function<void()> handler) { handler_ = std::move(handler); }

void QtTimer::Start() { timer_.start(); }

void QtTimer::Stop() { timer_.stop(); }

bool QtTimer::IsRunning() const { return timer_.isActive(); }

}  // namespace postvane
