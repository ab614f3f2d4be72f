// The real program on a virtual display that has no notification area at first: it says so on
// the terminal and in a window, runs on, and its icon appears once a tray host starts.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"

namespace postvane {
namespace {

class TrayHostTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime_.isValid() && folder_.isValid());
    QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Xvfb picks a free display itself and prints its number.
    xvfb_.setProgram(QStringLiteral("Xvfb"));
    xvfb_.setArguments({"-displayfd", "1", "-screen", "0", "320x200x24", "-nolisten", "tcp"});
    xvfb_.start();
    ASSERT_TRUE(xvfb_.waitForStarted(20000)) << "Xvfb is needed (scripts/install-deps.sh test)";
    ASSERT_TRUE(WaitFor([&] { return xvfb_.canReadLine(); }, 20000));
    display_ = ":" + QString::fromLatin1(xvfb_.readLine()).trimmed();
    ASSERT_GT(display_.size(), 1);

    program_ = folder_.filePath("postvane");
    ASSERT_TRUE(QFile::copy(QStringLiteral(POSTVANE_PROGRAM_FILE), program_));
    QFile settings(folder_.filePath("Postvane.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\r\nInterval=5\r\n");
  }

  void TearDown() override {
    for (QProcess* process : {&postvane_, &trayer_, &xvfb_}) {
      if (process->state() == QProcess::NotRunning) continue;
      process->terminate();
      if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
      }
    }
  }

  QProcessEnvironment Environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display_);
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("LANG", "en_US.UTF-8");
    environment.remove("LC_ALL");
    environment.remove("LANGUAGE");
    return environment;
  }

  // Runs a helper on the display and returns its standard output.
  QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) {
      process.kill();
      process.waitForFinished(5000);
      return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
  }

  // Share of nearly white pixels where the tray host puts its first icon: the idle icon is a
  // white envelope, the panel is dark and so is the bare screen.
  double WhiteInTheCorner() {
    const QString shot = folder_.filePath("corner.png");
    QFile::remove(shot);
    Run("import", {"-window", "root", "-crop", "40x32+0+0", "+repage", shot});
    return Run("convert",
               {shot, "-colorspace", "Gray", "-threshold", "85%", "-format", "%[fx:mean]", "info:"})
        .toDouble();
  }

  QTemporaryDir runtime_;
  QTemporaryDir folder_;
  QProcess xvfb_;
  QProcess trayer_;
  QProcess postvane_;
  QString display_;
  QString program_;
};

TEST_F(TrayHostTest, WithoutATrayItSaysSoOnceRunsOnAndShowsTheIconWhenATrayAppears) {
  EXPECT_EQ(WhiteInTheCorner(), 0.0) << "a bare screen";
  postvane_.setProcessEnvironment(Environment());
  postvane_.start(program_, {});
  ASSERT_TRUE(postvane_.waitForStarted(20000));

  QByteArray err;
  ASSERT_TRUE(WaitFor(
      [&] {
        err += postvane_.readAllStandardError();
        return err.contains("gnome-shell-extension-appindicator");
      },
      30000))
      << err.toStdString();
  EXPECT_EQ(err.count("Postvane: There is no notification area"), 1) << err.toStdString();
  EXPECT_TRUE(WaitFor(
      [&] {
        return !Run("xdotool", {"search", "--onlyvisible", "--name", "^Postvane$"}).isEmpty();
      },
      20000))
      << "the notice shows in a window too";
  EXPECT_EQ(postvane_.state(), QProcess::Running);

  trayer_.setProcessEnvironment(Environment());
  trayer_.start("trayer", {"--edge", "top", "--align", "left", "--widthtype", "request", "--height",
                           "32", "--transparent", "true", "--alpha", "0", "--tint", "0x303030"});
  ASSERT_TRUE(trayer_.waitForStarted(20000)) << "trayer is needed (scripts/install-deps.sh test)";
  EXPECT_TRUE(WaitFor([&] { return WhiteInTheCorner() > 0.02; }, 30000))
      << "the icon did not appear in the tray that started later";
  EXPECT_EQ(postvane_.state(), QProcess::Running);
  err += postvane_.readAllStandardError();
  EXPECT_EQ(err.count("Postvane: There is no notification area"), 1) << "said once only";
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
