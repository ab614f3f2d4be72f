// The desktop's stand-ins for the platform: date text, language, program start, sound, the
// single-instance lock, and a second start of the real program.
#include <sys/stat.h>
#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTime>

#include "desktop/gui/image_transfer.h"
#include "desktop/gui/qt_date_text.h"
#include "desktop/gui/qt_program_starter.h"
#include "desktop/gui/qt_sound_player.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "desktop/net/event_loop_choice.h"
#include "desktop/net/language_id.h"
#include "desktop/posix/single_instance_lock.h"
#include "text/own_text.h"

namespace postvane {
namespace {

// What the programs set before their application object: their own choice when the
// environment has none, the environment's otherwise.
TEST(StartUpChoiceTest, EnvironmentChoiceStands) {
  struct Row {
    const char* variable;
    void (*choose)();
  };
  const Row rows[] = {{"QT_NO_GLIB", &ChooseEventLoop}, {"QT_XCB_NO_MITSHM", &ChooseImageTransfer}};
  for (const Row& row : rows) {
    const QByteArray before = qgetenv(row.variable);
    const bool wasSet = qEnvironmentVariableIsSet(row.variable);
    qunsetenv(row.variable);
    row.choose();
    EXPECT_EQ(qgetenv(row.variable), "1") << row.variable;
    qputenv(row.variable, QByteArrayLiteral("0"));
    row.choose();
    EXPECT_EQ(qgetenv(row.variable), "0") << row.variable;
    if (wasSet) {
      qputenv(row.variable, before);
    } else {
      qunsetenv(row.variable);
    }
  }
}

TEST(DateTextTest, GermanShortDateAndLongTime) {
  const QtDateText text(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(text.Format(LocalDateTime{2024, 3, 9, 14, 5, 30}), "09.03.24 14:05:30");
  EXPECT_EQ(text.Format(LocalDateTime{2024, 3, 9, 0, 0, 0}), "09.03.24");
  EXPECT_EQ(text.Format(LocalDateTime{1899, 12, 30, 8, 1, 2}), "08:01:02");
  EXPECT_EQ(text.Format(LocalDateTime{}), "00:00:00");
}

TEST(DateTextTest, FollowsTheLocalesOwnFormats) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const QtDateText text(english);
  const QString time =
      english.toString(QTime(14, 5, 30), WithoutTimeZone(english.timeFormat(QLocale::LongFormat)));
  const QString date = english.toString(QDate(2024, 3, 9), QLocale::ShortFormat);
  EXPECT_EQ(text.Format(LocalDateTime{2024, 3, 9, 14, 5, 30}), (date + " " + time).toStdString());
  EXPECT_TRUE(time.contains("5:30")) << time.toStdString();
  EXPECT_FALSE(time.contains("UTC")) << time.toStdString();
  // The zero date at midnight is a time of day, not a date.
  const std::string midnight = text.Format(LocalDateTime{});
  EXPECT_EQ(
      midnight,
      english.toString(QTime(0, 0, 0), WithoutTimeZone(english.timeFormat(QLocale::LongFormat)))
          .toStdString());
  EXPECT_EQ(midnight.find("1899"), std::string::npos);
}

TEST(DateTextTest, TimeZoneNameIsLeftOut) {
  EXPECT_EQ(WithoutTimeZone("h:mm:ss AP t"), "h:mm:ss AP");
  EXPECT_EQ(WithoutTimeZone("HH:mm:ss t"), "HH:mm:ss");
  EXPECT_EQ(WithoutTimeZone("HH:mm:ss tttt"), "HH:mm:ss");
  EXPECT_EQ(WithoutTimeZone("t HH:mm"), "HH:mm");
  EXPECT_EQ(WithoutTimeZone("HH 'at' mm"), "HH 'at' mm");
  EXPECT_EQ(WithoutTimeZone("HH:mm:ss"), "HH:mm:ss");
}

TEST(LanguageTest, SixLanguagesAndEnglishForTheRest) {
  EXPECT_EQ(WindowsLanguageId(QLocale::Catalan), 3);
  EXPECT_EQ(WindowsLanguageId(QLocale::German), 7);
  EXPECT_EQ(WindowsLanguageId(QLocale::English), 9);
  EXPECT_EQ(WindowsLanguageId(QLocale::Spanish), 10);
  EXPECT_EQ(WindowsLanguageId(QLocale::Italian), 16);
  EXPECT_EQ(WindowsLanguageId(QLocale::Dutch), 19);
  EXPECT_EQ(WindowsLanguageId(QLocale::French), 9);
  EXPECT_EQ(WindowsLanguageId(QLocale::Portuguese), 9);
  EXPECT_EQ(WindowsLanguageId(QLocale::C), 9);
}

TEST(ProgramStartTest, CommandLineIsSplitLikeAShellWould) {
  EXPECT_EQ(SplitCommandLine("mutt -f inbox"), (QStringList{"mutt", "-f", "inbox"}));
  EXPECT_EQ(SplitCommandLine("  reader   --new  "), (QStringList{"reader", "--new"}));
  EXPECT_EQ(SplitCommandLine("\"/opt/Mail Reader/bin\" 'a b' c\\ d"),
            (QStringList{"/opt/Mail Reader/bin", "a b", "c d"}));
  EXPECT_EQ(SplitCommandLine("sh -c 'echo \"x\" > f'"),
            (QStringList{"sh", "-c", "echo \"x\" > f"}));
  EXPECT_EQ(SplitCommandLine("say \"a \\\"q\\\" b\""), (QStringList{"say", "a \"q\" b"}));
  EXPECT_EQ(SplitCommandLine("x ''"), (QStringList{"x", ""}));
  EXPECT_EQ(SplitCommandLine("open 'unclosed quote"), (QStringList{"open", "unclosed quote"}));
  EXPECT_TRUE(SplitCommandLine("").isEmpty());
  EXPECT_TRUE(SplitCommandLine("   ").isEmpty());
}

TEST(ProgramStartTest, StartsDetachedAndReportsFailures) {
  QTemporaryDir dir;
  const QString marker = dir.filePath("started");
  QtProgramStarter starter;
  EXPECT_TRUE(starter.StartDetached("/bin/sh -c 'echo hi > \"" + marker.toStdString() + "\"'"));
  EXPECT_TRUE(WaitFor([&] { return QFile::exists(marker); }, 20000));
  EXPECT_FALSE(starter.StartDetached(""));
  EXPECT_FALSE(starter.StartDetached("''"));
  EXPECT_FALSE(starter.StartDetached(dir.filePath("no such program").toStdString()));
}

// A short, silent 8 kHz mono WAV file.
void WriteWav(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  QDataStream out(&file);
  out.setByteOrder(QDataStream::LittleEndian);
  const quint32 samples = 800;
  out.writeRawData("RIFF", 4);
  out << quint32(36 + samples * 2);
  out.writeRawData("WAVEfmt ", 8);
  out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2)
      << quint16(16);
  out.writeRawData("data", 4);
  out << quint32(samples * 2);
  for (quint32 i = 0; i < samples; ++i) out << qint16(0);
}

TEST(SoundTest, MissingFilesPlayNothingAndAPlayReturnsAtOnce) {
  QTemporaryDir dir;
  QtSoundPlayer player;
  player.PlayAsync("");
  player.PlayAsync(dir.filePath("missing.wav").toStdString());
  player.PlayAsync(dir.path().toStdString());
  EXPECT_EQ(player.PlayRequests(), 0);

  const QString wav = dir.filePath("NewMail.wav");
  WriteWav(wav);
  player.PlayAsync(wav.toStdString());
  player.PlayAsync(wav.toStdString());
  EXPECT_EQ(player.PlayRequests(), 2);
  // Whether or not there is an audio device, the event loop goes on.
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The real program, copied into a folder of its own so its settings file is private.
class ProgramProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime_.isValid());
    QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    program_ = folder_.filePath("postvane");
    ASSERT_TRUE(QFile::copy(QStringLiteral(POSTVANE_PROGRAM_FILE), program_));
  }

  // Without a display the program could not even open its windows.
  void Start(QProcess& process, bool display = true, bool ownRuntime = true) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "en_US.UTF-8");
    if (ownRuntime) {
      environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    } else {
      environment.remove("XDG_RUNTIME_DIR");
      environment.insert("TMPDIR", shared_.path());
    }
    environment.insert("QT_QPA_PLATFORM", display ? "offscreen" : "xcb");
    if (!display) {
      environment.remove("DISPLAY");
      environment.remove("WAYLAND_DISPLAY");
    }
    process.setProcessEnvironment(environment);
    process.setProgram(program_);
    process.start();
    ASSERT_TRUE(process.waitForStarted(20000));
  }

  static void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.kill();
    process.waitForFinished(20000);
  }

  QTemporaryDir runtime_;
  QTemporaryDir shared_;  // a temporary folder open to every user, as /tmp is
  QTemporaryDir folder_;
  QString program_;
};

TEST_F(ProgramProcessTest, SecondStartEndsAtOnceWhileTheFirstRuns) {
  QProcess first;
  Start(first);
  const QString lock = QDir(runtime_.path()).filePath("postvane.lock");
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(lock); }, 30000));

  QProcess second;
  Start(second);
  EXPECT_TRUE(second.waitForFinished(30000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_NE(
      second.readAllStandardError().toStdString().find(OwnString(900, OwnText::AlreadyRunning)),
      std::string::npos);
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_FALSE(QFile::exists(folder_.filePath("Postvane.ini"))) << "start-up writes nothing";
  Stop(first);
  Stop(second);
}

TEST_F(ProgramProcessTest, HeldLockEndsTheProgramWithSuccess) {
  SingleInstanceLock held(QDir(runtime_.path()).filePath("postvane.lock").toStdString());
  ASSERT_FALSE(held.AnotherInstanceRunning());
  QProcess process;
  Start(process);
  EXPECT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0);
  Stop(process);
}

TEST_F(ProgramProcessTest, SecondStartEndsBeforeItTouchesTheDisplay) {
  SingleInstanceLock held(QDir(runtime_.path()).filePath("postvane.lock").toStdString());
  ASSERT_FALSE(held.AnotherInstanceRunning());
  QProcess process;
  Start(process, /*display=*/false);
  EXPECT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  Stop(process);
}

// Another user made the per-user lock folder's name first, in the shared temporary folder:
// the program says so and runs all the same instead of ending without a word.
TEST_F(ProgramProcessTest, ALockFolderOfAnotherUserDoesNotKeepItFromStarting) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  ::chmod(shared_.path().toLocal8Bit().constData(), 01777);
  const QString squatted = QDir(shared_.path()).filePath(QString("postvane-%1").arg(::geteuid()));
  QProcess mkdir;
  mkdir.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "mkdir", "-m", "0777",
                          squatted});
  ASSERT_TRUE(mkdir.waitForFinished(20000));
  ASSERT_EQ(mkdir.exitCode(), 0) << mkdir.readAllStandardError().toStdString();

  QProcess process;
  Start(process, /*display=*/true, /*ownRuntime=*/false);
  const std::string warning = OwnString(900, OwnText::InstanceLockUnavailable);
  std::string err;
  ASSERT_TRUE(WaitFor(
      [&] {
        err += process.readAllStandardError().toStdString();
        return err.find(warning) != std::string::npos;
      },
      30000))
      << err;
  // The warning comes before the application starts; the program is still there after it.
  EXPECT_EQ(process.state(), QProcess::Running);
  Stop(process);
  QDir(squatted).removeRecursively();
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
