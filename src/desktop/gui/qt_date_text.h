// Date and time text in the user's locale: short date, a blank, long time.
#pragma once

#include <QLocale>
#include <QString>

#include "ports/date_text.h"

namespace postvane {

class QtDateText : public DateText {
 public:
  explicit QtDateText(const QLocale& locale = QLocale::system());

  // Time only for the zero date, date only at midnight.
  std::string Format(const LocalDateTime& value) const override;

 private:
  QLocale locale_;
  QString dateFormat_;
  QString timeFormat_;
};

// The long time format without its time-zone name: a desktop's long time has none, and the
// checks are local times anyway.
QString WithoutTimeZone(const QString& timeFormat);

}  // namespace postvane
