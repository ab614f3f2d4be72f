// An installed tray program (a prefix with bin/ and the AppStream data in share/) keeps its
// settings in the user's folder: the folder is made owner-only and the file the configuration
// dialog saves is owner-only too; nothing lands beside the program.
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "desktop/net/qt_path_probe.h"
#include "settings/settings_place.h"

namespace postvane {
namespace {

constexpr QFileDevice::Permissions kGroupOrOthers =
    QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
    QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

TEST(InstalledSettingsTest, ConfigurationIsSavedOwnerOnlyInTheUsersFolder) {
  QTemporaryDir prefix;
  QTemporaryDir home;
  ASSERT_TRUE(prefix.isValid() && home.isValid());
  ASSERT_TRUE(QDir(prefix.path()).mkpath("bin"));
  ASSERT_TRUE(QDir(prefix.path()).mkpath("share/metainfo"));
  QFile metainfo(prefix.filePath(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId)));
  ASSERT_TRUE(metainfo.open(QIODevice::WriteOnly));
  metainfo.close();

  const QByteArray oldConfigHome = qgetenv("XDG_CONFIG_HOME");
  const QByteArray oldHome = qgetenv("HOME");
  qunsetenv("XDG_CONFIG_HOME");
  qputenv("HOME", home.path().toUtf8());
  QtPathProbe probe;
  const ChosenPaths chosen =
      ChooseProgramPaths(prefix.filePath("bin").toStdString(), std::nullopt, probe);
  qputenv("HOME", oldHome);
  if (!oldConfigHome.isNull()) qputenv("XDG_CONFIG_HOME", oldConfigHome);

  const QString folder = home.filePath(".config/postvane");
  EXPECT_EQ(chosen.Place, SettingsPlace::UserFolder);
  EXPECT_EQ(QString::fromStdString(chosen.Paths.SettingsFile), folder + "/Postvane.ini");
  EXPECT_EQ(QString::fromStdString(chosen.Paths.ReceiveLog), folder + "/receive.log");
  ASSERT_TRUE(QFileInfo(folder).isDir());
  EXPECT_EQ(QFileInfo(folder).permissions() & kGroupOrOthers, 0);

  NoPickers pickers;
  DesktopProgram program(chosen.Paths, pickers);
  program.MainWindow().ShowConfig();
  QPointer<frmConfig> config = program.MainWindow().ConfigWindow();
  ASSERT_FALSE(config.isNull());
  config->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  const QFileInfo settings(folder + "/Postvane.ini");
  ASSERT_TRUE(settings.isFile());
  EXPECT_EQ(settings.permissions() & kGroupOrOthers, 0);
  EXPECT_TRUE(QDir(prefix.filePath("bin")).isEmpty());
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
