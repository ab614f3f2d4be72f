// QDateTime behind the core's Clock interface.
#include "desktop/net/qt_clock.h"

#include <QDateTime>

namespace postvane {

LocalDateTime QtClock::Now() const {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate date = now.date();
  const QTime time = now.time();
  LocalDateTime result;
  result.Year = date.year();
  result.Month = date.month();
  result.Day = date.day();
  result.Hour = time.hour();
  result.Minute = time.minute();
  result.Second = time.second();
  return result;
}

}  // namespace postvane
