// Formats the check times with the locale's own formats.
#include "desktop/gui/qt_date_text.h"

#include <QDate>
#include <QTime>

#include "desktop/net/qt_text.h"

namespace postvane {

QString WithoutTimeZone(const QString& timeFormat) {
  QString result;
  bool quoted = false;
  for (qsizetype i = 0; i < timeFormat.size(); ++i) {
    const QChar c = timeFormat.at(i);
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && c == QLatin1Char('t')) {
      // The zone and the blank that separated it from the time.
      while (!result.isEmpty() && result.back().isSpace()) result.chop(1);
      continue;
    }
    result.append(c);
  }
  return result.trimmed();
}

QtDateText::QtDateText(const QLocale& locale)
    : locale_(locale),
      dateFormat_(locale.dateFormat(QLocale::ShortFormat)),
      timeFormat_(WithoutTimeZone(locale.timeFormat(QLocale::LongFormat))) {}

std::string QtDateText::Format(const LocalDateTime& value) const {
  const QTime time(value.Hour, value.Minute, value.Second);
  const QString timeText = locale_.toString(time, timeFormat_);
  if (value.IsZeroDate()) return ToStd(timeText);
  const QString dateText = locale_.toString(QDate(value.Year, value.Month, value.Day), dateFormat_);
  if (value.IsMidnight()) return ToStd(dateText);
  return ToStd(dateText + QLatin1Char(' ') + timeText);
}

}  // namespace postvane
