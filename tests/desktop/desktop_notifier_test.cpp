// Desktop notices on a private session bus: a stand-in service records the Notify calls and
// reports clicks; without a service nothing is sent and nothing fails.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "desktop/gui/dbus_desktop_notifier.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "desktop/private_session_bus.h"

namespace postvane {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

// The stand-in notification service, started with the given capabilities.
class NotificationService {
 public:
  explicit NotificationService(const QStringList& capabilities) {
    record_ = folder_.filePath("calls.jsonl");
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("/usr/bin/python3",
                   QStringList{POSTVANE_NOTIFICATION_SERVICE, record_} + capabilities);
  }

  ~NotificationService() {
    process_.kill();
    process_.waitForFinished(20000);
    // Gone from the bus before the next test looks for the name.
    WaitFor([] { return !Registered(); }, 20000);
  }

  static bool Registered() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
  }

  bool WaitUntilReady() {
    return WaitFor([] { return Registered(); }, 30000);
  }

  std::vector<QJsonObject> Calls() const {
    std::vector<QJsonObject> calls;
    QFile file(record_);
    if (!file.open(QIODevice::ReadOnly)) return calls;
    for (const QByteArray& line : file.readAll().split('\n')) {
      if (!line.isEmpty()) calls.push_back(QJsonDocument::fromJson(line).object());
    }
    return calls;
  }

  bool WaitForCalls(std::size_t count) {
    return WaitFor([&] { return Calls().size() >= count; }, 30000);
  }

  // Makes the service report a click (or another action) on a notice.
  static void Invoke(uint id, const QString& action) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications",
                                                       "org.postvane.TestControl", "Invoke");
    call << id << action;
    QDBusConnection::sessionBus().call(call);
  }

 private:
  QTemporaryDir folder_;
  QString record_;
  QProcess process_;
};

const DesktopNotice kNotice{"Postvane: 2 new message(s)",
                            "Work: 2 new message(s)\nFrom: Dan <dan@example.org> | Subject: A & B"};

TEST(DesktopNotifierTest, WithoutAServiceNothingIsSentAndNothingFails) {
  ASSERT_FALSE(NotificationService::Registered());
  DBusDesktopNotifier notifier;
  int clicks = 0;
  notifier.SetClickHandler([&] { ++clicks; });
  notifier.Show(kNotice);
  notifier.Show(kNotice);
  EXPECT_EQ(notifier.SentCount(), 0);
  EXPECT_EQ(clicks, 0);
}

TEST(DesktopNotifierTest, SendsTheNoticeReplacesItAndReportsAClick) {
  NotificationService service({"actions", "body", "body-markup"});
  ASSERT_TRUE(service.WaitUntilReady());
  DBusDesktopNotifier notifier;
  int clicks = 0;
  notifier.SetClickHandler([&] { ++clicks; });

  notifier.Show(kNotice);
  ASSERT_TRUE(service.WaitForCalls(1));
  const QJsonObject first = service.Calls()[0];
  EXPECT_EQ(first["app_name"].toString(), "Postvane");
  EXPECT_EQ(first["replaces_id"].toInt(), 0);
  EXPECT_EQ(first["summary"].toString(), QString::fromStdString(kNotice.Summary));
  // The service reads markup: the address and the ampersand must reach it as text.
  EXPECT_EQ(first["body"].toString(), QString::fromStdString(kNotice.Body).toHtmlEscaped());
  EXPECT_EQ(first["actions"].toVariant().toStringList().value(0), "default");
  EXPECT_EQ(first["hints"].toObject()["desktop-entry"].toString(), "org.postvane.Postvane");

  // The next cycle's notice takes the place of the one on screen.
  const int firstId = first["id"].toInt();
  ASSERT_TRUE(WaitFor([&] { return notifier.ShownId() == static_cast<uint>(firstId); }, 30000));
  notifier.Show(kNotice);
  ASSERT_TRUE(service.WaitForCalls(2));
  EXPECT_EQ(service.Calls()[1]["replaces_id"].toInt(), firstId);

  // Another notice's click and another action are not ours; the click on ours comes after
  // them on the bus, so once it arrived the others were seen and ignored.
  NotificationService::Invoke(static_cast<uint>(firstId + 100), "default");
  NotificationService::Invoke(static_cast<uint>(firstId), "other");
  NotificationService::Invoke(static_cast<uint>(firstId), "default");
  EXPECT_TRUE(WaitFor([&] { return clicks > 0; }, 30000));
  EXPECT_EQ(clicks, 1);
}

TEST(DesktopNotifierTest, ServiceWithoutActionsOrMarkupGetsPlainText) {
  NotificationService service({"body"});
  ASSERT_TRUE(service.WaitUntilReady());
  DBusDesktopNotifier notifier;
  notifier.Show(kNotice);
  ASSERT_TRUE(service.WaitForCalls(1));
  const QJsonObject call = service.Calls()[0];
  EXPECT_EQ(call["body"].toString(), QString::fromStdString(kNotice.Body));
  EXPECT_TRUE(call["actions"].toArray().isEmpty());
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // Before anything touches the session bus: this process only ever sees its own.
  postvane::PrivateSessionBus bus;
  if (!bus.Started()) {
    std::fprintf(stderr, "no private session bus (dbus-daemon missing?)\n");
    return 1;
  }
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
