// Stand-ins the widget tests share: pickers that are always cancelled, and waiting on the
// event loop for a condition.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <functional>
#include <optional>

#include "desktop/gui/pickers.h"

namespace postvane {

class NoPickers : public Pickers {
 public:
  std::optional<QString> OpenFile(QWidget*, const FileFilter&, const QString&,
                                  const QString&) override {
    return std::nullopt;
  }
  QString BrowseForFolder(QWidget*, const QString&) override { return {}; }
};

// Runs the event loop until `condition` holds; false when `milliseconds` pass first.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

}  // namespace postvane
