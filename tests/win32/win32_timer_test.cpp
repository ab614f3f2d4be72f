// SetTimer-based timers ticking through the message loop.
#include "win32/win32_timer.h"

#include <gtest/gtest.h>

#include "win32/message_pump.h"

namespace postvane {
namespace {

TEST(Win32TimerTest, TicksRepeatUntilStopped) {
  Win32Timer timer(10);
  int ticks = 0;
  timer.SetTickHandler([&] { ++ticks; });
  EXPECT_FALSE(timer.IsRunning());
  timer.Start();
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(ticks, 0) << "ticks come from the message loop";
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  timer.Stop();
  EXPECT_FALSE(timer.IsRunning());
}

TEST(Win32TimerTest, TimersAreIndependent) {
  Win32Timer fast(10);
  Win32Timer stopped(10);
  int fastTicks = 0;
  int stoppedTicks = 0;
  fast.SetTickHandler([&] { ++fastTicks; });
  stopped.SetTickHandler([&] { ++stoppedTicks; });
  stopped.Start();
  stopped.Stop();
  fast.Start();
  ASSERT_TRUE(PumpUntil([&] { return fastTicks >= 3; }));
  EXPECT_EQ(stoppedTicks, 0);
}

}  // namespace
}  // namespace postvane
