// Calls are asynchronous: a slow or hung notification service never blocks the tray. Bodies are
// escaped when the service reads markup, so an address in angle brackets is not taken for a tag.
#include "desktop/gui/dbus_desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "desktop/net/qt_text.h"
#include "settings/app_id.h"

namespace postvane {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

}  // namespace

DBusDesktopNotifier::DBusDesktopNotifier(QObject* parent) : QObject(parent) {}

void DBusDesktopNotifier::SetClickHandler(std::function<void()> handler) {
  clickHandler_ = std::move(handler);
}

bool DBusDesktopNotifier::ServiceAvailable() const {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusConnectionInterface* names = bus.interface();
  if (names == nullptr) return false;
  if (names->isServiceRegistered(kService).value()) return true;
  // A service the bus starts on the first call counts as present too.
  return names->activatableServiceNames().value().contains(kService);
}

void DBusDesktopNotifier::Show(const DesktopNotice& notice) {
  if (!ServiceAvailable()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!connected_) {
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(OnNotificationClosed(uint, uint)));
    connected_ = true;
  }
  if (capabilities_) {
    Send(notice, *capabilities_);
    return;
  }
  const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                          QStringLiteral("GetCapabilities"));
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, notice](QDBusPendingCallWatcher* call) {
            const QDBusPendingReply<QStringList> reply = *call;
            // A service that does not answer is asked again with the next notice.
            if (!reply.isError()) {
              capabilities_ = reply.value();
              Send(notice, *capabilities_);
            }
            call->deleteLater();
          });
}

void DBusDesktopNotifier::Send(const DesktopNotice& notice, const QStringList& capabilities) {
  QString body = ToQt(notice.Body);
  if (capabilities.contains(QStringLiteral("body-markup"))) body = body.toHtmlEscaped();
  QStringList actions;
  // The label is not shown by most services for the default action; the program's name is
  // language-neutral.
  if (capabilities.contains(QStringLiteral("actions"))) {
    actions << kDefaultAction << QStringLiteral("Postvane");
  }
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kAppId));
  hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));

  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  call << QStringLiteral("Postvane") << shownId_ << QString::fromLatin1(kAppId)
       << ToQt(notice.Summary) << body << actions << hints << -1;
  ++sent_;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    const QDBusPendingReply<uint> reply = *w;
    if (!reply.isError()) shownId_ = reply.value();
    w->deleteLater();
  });
}

void DBusDesktopNotifier::OnActionInvoked(uint id, const QString& actionKey) {
  if (id == 0 || id != shownId_ || actionKey != kDefaultAction) return;
  if (clickHandler_) clickHandler_();
}

void DBusDesktopNotifier::OnNotificationClosed(uint id, uint) {
  // A closed notice is not replaced but shown anew.
  if (id == shownId_) shownId_ = 0;
}

}  // namespace postvane
