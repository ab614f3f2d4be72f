// The Windows packages: the portable zip's contents, and the MSI installed with msiexec in the
// private Wine prefix, the installed tray program started against a scripted server, then
// uninstalled without a trace. scripts/test-windows.sh names the packages and the prefix.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <filesystem>
#include <functional>
#include <string>

#include "desktop/cli_process.h"
#include "desktop/wine_paths.h"
#include "fakes/temp_folder.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"

namespace postvane::test {
namespace {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 60000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QThread::msleep(100);
  }
  return true;
}

CheckResult Wine(const QStringList& arguments) {
  return RunProgram(QStringLiteral(POSTVANE_WINE_RUN), arguments,
                    QProcessEnvironment::systemEnvironment(), 180000);
}

// The version this build carries, as the native program prints it.
std::string BuildVersion() {
  const std::string line = RunCheck({"--version"}).Out;
  const std::size_t space = line.find(' ');
  return line.substr(space + 1, line.find('\n') - space - 1);
}

// Whether a file of that name lies anywhere under the folder.
bool FoundUnder(const fs::path& folder, const std::string& name) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->path().filename() == name) return true;
  }
  return false;
}

const char* const kPackagedFiles[] = {"postvane.exe", "postvane-check.exe", "NewMail.wav",
                                      "README.md"};

TEST(WindowsPackages, ZipHoldsBothProgramsTheSoundAndTheReadme) {
  const std::string zip = qEnvironmentVariable("POSTVANE_WINDOWS_ZIP").toStdString();
  if (zip.empty()) GTEST_SKIP() << "scripts/test-windows.sh names the zip";
  EXPECT_NE(zip.find(BuildVersion()), std::string::npos) << zip;
  const std::string listing =
      RunProgram(QStringLiteral("unzip"), {"-Z1", QString::fromStdString(zip)}).Out;
  for (const char* file : kPackagedFiles) {
    EXPECT_NE(listing.find(std::string("Postvane/") + file + "\n"), std::string::npos)
        << file << " in\n"
        << listing;
  }
}

TEST(WindowsPackages, MsiInstallsRunsAndUninstalls) {
  const std::string msi = qEnvironmentVariable("POSTVANE_WINDOWS_MSI").toStdString();
  const std::string prefix = qEnvironmentVariable("WINEPREFIX").toStdString();
  if (msi.empty() || prefix.empty()) {
    GTEST_SKIP() << "scripts/test-windows.sh names the MSI and a Wine prefix";
  }
  const fs::path folder = fs::path(prefix) / "drive_c" / "Program Files" / "Postvane";
  const QString package = QString::fromStdString(WinePath(msi));
  const std::string version = BuildVersion();

  const CheckResult installed = Wine({"msiexec", "/i", package, "/qn"});
  ASSERT_TRUE(installed.Finished);
  ASSERT_EQ(installed.ExitCode, 0) << installed.Err;
  for (const char* file : kPackagedFiles) EXPECT_TRUE(fs::exists(folder / file)) << file;
  EXPECT_TRUE(FoundUnder(fs::path(prefix) / "drive_c", "Postvane.lnk"));
  const std::string entries =
      Wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s"})
          .Out;
  EXPECT_NE(entries.find("DisplayName    REG_SZ    Postvane"), std::string::npos);
  EXPECT_NE(entries.find("DisplayVersion    REG_SZ    " + version), std::string::npos);

  // The installed programs run: the check prints this build's version, and the tray program
  // checks the mailbox of the settings file it is given.
  const CheckResult check = Wine(
      {QString::fromStdString(WinePath((folder / "postvane-check.exe").string())), "--version"});
  EXPECT_EQ(check.Out.substr(0, check.Out.find('\n')), "postvane-check " + version);
  // An installed copy keeps its settings in the user's %APPDATA%, not in Program Files.
  EXPECT_NE(check.Out.find("\\AppData\\Roaming\\Postvane\\Postvane.ini\n"), std::string::npos)
      << check.Out;
  // A copy in a folder of its own keeps them beside itself.
  const std::string portable = qEnvironmentVariable("POSTVANE_WINDOWS_MSI").toStdString();
  const CheckResult beside =
      Wine({QString::fromStdString(
                WinePath((fs::path(portable).parent_path() / "postvane-check.exe").string())),
            "--version"});
  EXPECT_NE(beside.Out.find(WinePath((fs::path(portable).parent_path() / "Postvane.ini").string()) +
                            "\n"),
            std::string::npos)
      << beside.Out;
  {
    const Pop3Script script = Pop3Script().LoginThroughUidl("alice", "secret", {"u1"}).Quit();
    ScriptedPop3Server server([&](int) { return script; });
    TempFolder settingsFolder;
    const std::string settings = settingsFolder.File("Postvane.ini");
    WriteBytes(settings, SettingsText({Mailbox(0, "Installed", server.Port(), "u1")}));
    QProcess tray;
    tray.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    tray.setStandardOutputFile(QString::fromStdString(settingsFolder.File("out.txt")));
    tray.setStandardErrorFile(QString::fromStdString(settingsFolder.File("err.txt")));
    tray.start(QStringLiteral("/usr/lib/wine/wine64"),
               {QString::fromStdString(WinePath((folder / "postvane.exe").string())), "--settings",
                QString::fromStdString(WinePath(settings))});
    ASSERT_TRUE(tray.waitForStarted(20000));
    EXPECT_TRUE(WaitFor([&] {
      const auto sessions = server.Sessions();
      return !sessions.empty() && sessions.front().StepsDone == script.Steps().size();
    }));
    tray.kill();
    tray.waitForFinished(20000);
  }

  const CheckResult removed = Wine({"msiexec", "/x", package, "/qn"});
  ASSERT_TRUE(removed.Finished);
  EXPECT_EQ(removed.ExitCode, 0) << removed.Err;
  for (const char* file : kPackagedFiles) EXPECT_FALSE(fs::exists(folder / file)) << file;
  EXPECT_FALSE(FoundUnder(fs::path(prefix) / "drive_c", "Postvane.lnk"));
  const std::string after =
      Wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s"})
          .Out;
  EXPECT_EQ(after.find("DisplayName    REG_SZ    Postvane"), std::string::npos);
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
