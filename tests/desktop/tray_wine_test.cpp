// postvane.exe under Wine on a virtual display, against scripted POP3 servers on 127.0.0.1:
// the first cycle's dialogue, the receive log, the untouched settings file, the icons in the
// tray and the status window from the tray menu. scripts/test-windows.sh names the .exe, the
// Wine prefix and the display.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "support/qt_test_main.h"
#include "support/scripted_pop3_server.h"

namespace postvane::test {
namespace {

std::string WinePath(const std::string& path) {
  std::string out = "Z:" + path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

// Polls for a marker (a finished session, a window) with a generous deadline.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 60000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QThread::msleep(100);
  }
  return true;
}

std::string Tool(const QString& program, const QStringList& arguments) {
  return RunProgram(program, arguments, QProcessEnvironment::systemEnvironment(), 20000).Out;
}

// The id of the first window with that name on the display, or empty.
QString WindowNamed(const QString& name) {
  const std::string found = Tool(QStringLiteral("xdotool"), {"search", "--name", name});
  return QString::fromStdString(found.substr(0, found.find('\n')));
}

// The id of a window with that name that is on the screen (not a hidden one), or empty.
QString ShownWindowNamed(const QString& name) {
  const std::string found = Tool(QStringLiteral("xdotool"), {"search", "--name", name});
  for (const QString& id : QString::fromStdString(found).split('\n', Qt::SkipEmptyParts)) {
    if (Tool(QStringLiteral("xwininfo"), {"-id", id}).find("IsViewable") != std::string::npos) {
      return id;
    }
  }
  return {};
}

bool SessionDone(const ScriptedPop3Server& server, std::size_t steps) {
  const auto sessions = server.Sessions();
  return !sessions.empty() && sessions.front().StepsDone == steps;
}

class TrayWine : public testing::Test {
 protected:
  void SetUp() override {
    exe_ = qEnvironmentVariable("POSTVANE_WINDOWS_TRAY_PROGRAM").toStdString();
    if (exe_.empty() || qEnvironmentVariableIsEmpty("WINEPREFIX") ||
        qEnvironmentVariableIsEmpty("DISPLAY")) {
      GTEST_SKIP() << "scripts/test-windows.sh runs this with the .exe, a Wine prefix and Xvfb";
    }
  }
  void TearDown() override {
    if (program_.state() != QProcess::NotRunning) {
      program_.kill();
      program_.waitForFinished(10000);
    }
  }

  std::string exe_;
  QProcess program_;
};

TEST_F(TrayWine, FirstCycleThenTheIconsAndTheStatusWindow) {
  const Pop3Script newMail =
      Pop3Script()
          .LoginThroughUidl("alice", "secret", {"u1", "u2", "u3"}, "-ERR Unknown command: LAST\r\n")
          .Expect("TOP 2 0")
          .Send(TopReply({"From: Bob <bob@example.org>", "Subject: Budget", "X-Priority: 1"}))
          .Expect("TOP 3 0")
          .Send(TopReply({"From: Carol <carol@example.org>", "Subject: Lunch?"}))
          .Quit();
  const Pop3Script nothingNew = Pop3Script().LoginThroughUidl("alice", "secret", {"h1"}).Quit();
  ScriptedPop3Server work([&](int) { return newMail; });
  ScriptedPop3Server home([&](int) { return nothingNew; });

  TempFolder folder;
  const std::filesystem::path exe = folder.Path() / "postvane.exe";
  std::filesystem::copy_file(exe_, exe);
  const std::string settings = folder.File("Postvane.ini");
  WriteBytes(settings, SettingsText({Mailbox(0, "Work", work.Port(), "u1"),
                                     Mailbox(1, "Home", home.Port(), "h1")},
                                    true));
  const std::string before = ReadBytes(settings);

  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
  program_.setProcessEnvironment(environment);
  // Files, not pipes: Wine keeps a pipe open until its server ends.
  program_.setStandardOutputFile(QString::fromStdString(folder.File("out.txt")));
  program_.setStandardErrorFile(QString::fromStdString(folder.File("err.txt")));
  program_.start(QStringLiteral("/usr/lib/wine/wine64"),
                 {QString::fromStdString(WinePath(exe.string()))});
  ASSERT_TRUE(program_.waitForStarted(20000));

  // The first cycle runs at start-up: both dialogues to the end, as scripted.
  ASSERT_TRUE(WaitFor([&] { return SessionDone(work, newMail.Steps().size()); }))
      << ReadBytes(folder.File("receive.log"));
  ASSERT_TRUE(WaitFor([&] { return SessionDone(home, nothingNew.Steps().size()); }))
      << ReadBytes(folder.File("receive.log"));
  EXPECT_TRUE(work.Problems().empty()) << work.Problems().front();
  EXPECT_TRUE(home.Problems().empty()) << home.Problems().front();

  // The receive log has both dialogues, without the password.
  ASSERT_TRUE(WaitFor([&] {
    const std::string log = ReadBytes(folder.File("receive.log"));
    return std::count(log.begin(), log.end(), 'Q') > 0 && log.find("QUIT") != log.rfind("QUIT");
  }));
  const std::string log = ReadBytes(folder.File("receive.log"));
  EXPECT_NE(log.find("USER alice"), std::string::npos);
  EXPECT_NE(log.find("TOP 3 0"), std::string::npos);
  EXPECT_EQ(log.find("secret"), std::string::npos);
  // Nothing was acknowledged or configured: the settings file is as it was.
  EXPECT_EQ(ReadBytes(settings), before);

  // A second start says in a message box why it ends, and ends once the box is closed,
  // before it reads a setting or checks a mailbox.
  {
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setStandardOutputFile(QString::fromStdString(folder.File("second-out.txt")));
    second.setStandardErrorFile(QString::fromStdString(folder.File("second-err.txt")));
    second.start(QStringLiteral("/usr/lib/wine/wine64"),
                 {QString::fromStdString(WinePath(exe.string()))});
    ASSERT_TRUE(second.waitForStarted(20000));
    QString box;
    ASSERT_TRUE(
        WaitFor([&] { return !(box = ShownWindowNamed(QStringLiteral("^Postvane$"))).isEmpty(); }));
    EXPECT_EQ(second.state(), QProcess::Running);
    Tool(QStringLiteral("xdotool"), {"key", "--window", box, "Return"});
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(work.Sessions().size(), 1u);
    EXPECT_EQ(home.Sessions().size(), 1u);
  }

  // The icons show in Wine's tray window: more than its plain ground on a picture of it.
  QString tray;
  ASSERT_TRUE(
      WaitFor([&] { return !(tray = WindowNamed(QStringLiteral("Wine System Tray"))).isEmpty(); }));
  const QString picture = QString::fromStdString(folder.File("tray.png"));
  std::set<QRgb> colours;
  ASSERT_TRUE(WaitFor([&] {
    Tool(QStringLiteral("import"), {"-window", tray, picture});
    const QImage image(picture);
    colours.clear();
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    }
    return colours.size() > 8;
  })) << colours.size()
      << " colours";

  // Right-click on the first icon, then the third entry of the menu: the status window.
  // A try whose menu did not open yet is repeated.
  bool shown = false;
  for (int attempt = 0; attempt < 10 && !shown; ++attempt) {
    Tool(QStringLiteral("xdotool"), {"mousemove", "--window", tray, "8", "10", "click", "3"});
    Tool(QStringLiteral("xdotool"), {"sleep", "1", "key", "Down", "Down", "Down", "Return"});
    shown = WaitFor([&] { return !WindowNamed(QStringLiteral("^Status$")).isEmpty(); }, 3000);
  }
  EXPECT_TRUE(shown);

  // A click on the icon acknowledges the new mail: only the UIDL key of the first mailbox
  // changes in the file, to the newest message's id.
  std::string expected = before;
  const std::size_t uidl = expected.find("UIDL=u1");
  ASSERT_NE(uidl, std::string::npos);
  expected.replace(uidl, 7, "UIDL=u3");
  Tool(QStringLiteral("xdotool"), {"mousemove", "--window", tray, "8", "10", "click", "1"});
  EXPECT_TRUE(WaitFor([&] { return ReadBytes(settings) == expected; }, 30000))
      << ReadBytes(settings);
}

TEST_F(TrayWine, SettingsFileFromTheCommandLine) {
  const Pop3Script nothingNew = Pop3Script().LoginThroughUidl("alice", "secret", {"h1"}).Quit();
  ScriptedPop3Server server([&](int) { return nothingNew; });
  TempFolder programFolder;
  TempFolder settingsFolder;
  const std::filesystem::path exe = programFolder.Path() / "postvane.exe";
  std::filesystem::copy_file(exe_, exe);
  const std::string settings = settingsFolder.File("Elsewhere.ini");
  WriteBytes(settings, SettingsText({Mailbox(2, "Given", server.Port(), "h1")}, true));

  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
  program_.setProcessEnvironment(environment);
  program_.setStandardOutputFile(QString::fromStdString(programFolder.File("out.txt")));
  program_.setStandardErrorFile(QString::fromStdString(programFolder.File("err.txt")));
  program_.start(QStringLiteral("/usr/lib/wine/wine64"),
                 {QString::fromStdString(WinePath(exe.string())), "--settings",
                  QString::fromStdString(WinePath(settings))});
  ASSERT_TRUE(program_.waitForStarted(20000));
  // The mailbox of the given file is checked, and its receive log is written beside it.
  ASSERT_TRUE(WaitFor([&] { return SessionDone(server, nothingNew.Steps().size()); }));
  EXPECT_TRUE(WaitFor([&] {
    return ReadBytes(settingsFolder.File("receive.log")).find("QUIT") != std::string::npos;
  }));
  EXPECT_FALSE(std::filesystem::exists(programFolder.Path() / "Postvane.ini"));
  EXPECT_FALSE(std::filesystem::exists(programFolder.Path() / "receive.log"));
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
