// GetLocalTime, GetDateFormatEx and GetTimeFormatEx behind the core's clock and date text.
#include "win32/win32_clock.h"

#include <windows.h>

#include "win32/wide_text.h"

namespace postvane {

LocalDateTime Win32Clock::Now() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return LocalDateTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

namespace {

SYSTEMTIME ToSystemTime(const LocalDateTime& value) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(value.Year);
  time.wMonth = static_cast<WORD>(value.Month);
  time.wDay = static_cast<WORD>(value.Day);
  time.wHour = static_cast<WORD>(value.Hour);
  time.wMinute = static_cast<WORD>(value.Minute);
  time.wSecond = static_cast<WORD>(value.Second);
  return time;
}

std::string DatePart(const SYSTEMTIME& time) {
  wchar_t buffer[128] = {};
  const int length = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr,
                                     buffer, 128, nullptr);
  return length > 0 ? Narrow(buffer) : std::string();
}

std::string TimePart(const SYSTEMTIME& time) {
  wchar_t buffer[128] = {};
  const int length = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, buffer, 128);
  return length > 0 ? Narrow(buffer) : std::string();
}

}  // namespace

std::string Win32DateText::Format(const LocalDateTime& value) const {
  const SYSTEMTIME time = ToSystemTime(value);
  if (value.IsZeroDate()) return TimePart(time);
  if (value.IsMidnight()) return DatePart(time);
  return DatePart(time) + ' ' + TimePart(time);
}

}  // namespace postvane
