// Desktop notices through org.freedesktop.Notifications on the session bus.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "ports/desktop_notifier.h"

namespace postvane {

class DBusDesktopNotifier : public QObject, public DesktopNotifier {
  Q_OBJECT

 public:
  explicit DBusDesktopNotifier(QObject* parent = nullptr);

  void Show(const DesktopNotice& notice) override;
  void SetClickHandler(std::function<void()> handler) override;

  // Notify calls sent so far, and the service's id of the notice on screen (0: none); for tests.
  int SentCount() const { return sent_; }
  uint ShownId() const { return shownId_; }

 private slots:
  void OnActionInvoked(uint id, const QString& actionKey);
  void OnNotificationClosed(uint id, uint reason);

 private:
  bool ServiceAvailable() const;
  void Send(const DesktopNotice& notice, const QStringList& capabilities);

  std::function<void()> clickHandler_;
  // The service's capabilities, asked once; none until the answer came.
  std::optional<QStringList> capabilities_;
  uint shownId_ = 0;
  int sent_ = 0;
  bool connected_ = false;
};

}  // namespace postvane
