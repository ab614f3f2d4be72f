// The clock and the user's date and time texts.
#include "win32/win32_clock.h"

#include <gtest/gtest.h>

namespace postvane {
namespace {

TEST(Win32DateTextTest, DateAndTimePartsFollowTheZeroDateAndMidnightRules) {
  Win32DateText text;
  const LocalDateTime full{2026, 12, 7, 15, 4, 5};
  const LocalDateTime midnight{2026, 12, 7, 0, 0, 0};
  LocalDateTime timeOnly;
  timeOnly.Hour = 15;
  timeOnly.Minute = 4;
  timeOnly.Second = 5;
  const std::string date = text.Format(midnight);
  const std::string time = text.Format(timeOnly);
  ASSERT_FALSE(date.empty());
  ASSERT_FALSE(time.empty());
  EXPECT_EQ(text.Format(full), date + " " + time);
  EXPECT_EQ(time.find("1899"), std::string::npos);
  EXPECT_NE(date.find("2026"), std::string::npos);
}

TEST(Win32ClockTest, NowIsAValidLocalDate) {
  const LocalDateTime now = Win32Clock().Now();
  EXPECT_GE(now.Year, 2000);
  EXPECT_GE(now.Month, 1);
  EXPECT_LE(now.Month, 12);
  EXPECT_GE(now.Day, 1);
  EXPECT_LE(now.Day, 31);
  EXPECT_LE(now.Hour, 23);
}

}  // namespace
}  // namespace postvane
