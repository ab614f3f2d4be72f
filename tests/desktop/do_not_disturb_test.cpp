// The desktop's do-not-disturb as the tray program asks it: a stand-in notification service
// on a private bus (the Inhibited property) and a stand-in gsettings (GNOME's show-banners).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "desktop/gui/desktop_do_not_disturb.h"
#include "desktop/gui_test_support.h"
#include "desktop/private_session_bus.h"

namespace postvane {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

bool Registered() {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
}

// The notification service, with or without the Inhibited property.
class StandInService {
 public:
  explicit StandInService(bool withInhibited) {
    QStringList arguments{POSTVANE_NOTIFICATION_SERVICE, folder_.filePath("calls.jsonl")};
    if (withInhibited) arguments << "--inhibited";
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("/usr/bin/python3", arguments);
  }
  ~StandInService() {
    process_.kill();
    process_.waitForFinished(20000);
    WaitFor([] { return !Registered(); }, 20000);
  }
  bool WaitUntilReady() {
    return WaitFor([] { return Registered(); }, 30000);
  }
  static void SetInhibited(bool value) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications",
                                                       "org.postvane.TestControl", "SetInhibited");
    call << value;
    QDBusConnection::sessionBus().call(call);
  }

 private:
  QTemporaryDir folder_;
  QProcess process_;
};

// A gsettings first on PATH that answers show-banners with `answer`, or fails.
class StandInGSettings {
 public:
  explicit StandInGSettings(const std::optional<QByteArray>& answer) : path_(qgetenv("PATH")) {
    QFile script(folder_.filePath("gsettings"));
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n");
    if (answer) {
      script.write("[ \"$*\" = 'get org.gnome.desktop.notifications show-banners' ] || exit 1\n");
      script.write("echo " + *answer + "\n");
    } else {
      script.write("echo 'No such schema' >&2\nexit 1\n");
    }
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", folder_.path().toUtf8() + ":" + path_);
  }
  ~StandInGSettings() { qputenv("PATH", path_); }

 private:
  QTemporaryDir folder_;
  QByteArray path_;
};

struct QuietCase {
  const char* Name;
  int Service;  // 0 none, 1 without the property, 2 with it (true)
  std::optional<bool> SetInhibited;
  std::optional<QByteArray> ShowBanners;  // nothing: gsettings has no such schema
  bool Active;
};

class DoNotDisturbTest : public ::testing::TestWithParam<QuietCase> {};

TEST_P(DoNotDisturbTest, AsTheDesktopSays) {
  const QuietCase& c = GetParam();
  StandInGSettings gsettings(c.ShowBanners);
  std::optional<StandInService> service;
  if (c.Service != 0) {
    service.emplace(c.Service == 2);
    ASSERT_TRUE(service->WaitUntilReady());
  }
  if (c.SetInhibited) StandInService::SetInhibited(*c.SetInhibited);
  DesktopDoNotDisturb doNotDisturb;
  EXPECT_EQ(doNotDisturb.Active(), c.Active);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DoNotDisturbTest,
    ::testing::Values(QuietCase{"NothingToAsk", 0, std::nullopt, std::nullopt, false},
                      QuietCase{"BannersShown", 0, std::nullopt, "true", false},
                      QuietCase{"GnomeBannersOff", 0, std::nullopt, "false", true},
                      QuietCase{"ServiceWithoutTheProperty", 1, std::nullopt, "true", false},
                      QuietCase{"ServiceInhibited", 2, std::nullopt, "true", true},
                      QuietCase{"ServiceNoLongerInhibited", 2, false, "true", false},
                      QuietCase{"ServiceFreeButBannersOff", 2, false, "false", true}),
    [](const ::testing::TestParamInfo<QuietCase>& info) { return std::string(info.param.Name); });

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
