// "Start with the desktop" in the configuration dialog: the box writes and removes the user's
// autostart entry, shows whether it exists, and the entry's Exec starts the tray program.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include "desktop/gui/frm_config.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "settings/std_file_system.h"

namespace postvane {
namespace {

class AutostartTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(config_.isValid() && folder_.isValid() && runtime_.isValid());
    QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    oldConfigHome_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    // The tray program in a folder of its own, as an installed copy would be.
    ASSERT_TRUE(QFile::copy(QStringLiteral(POSTVANE_PROGRAM_FILE), folder_.filePath("postvane")));
    state_.Paths = MakeProgramPaths(folder_.path().toStdString());
    entry_ = config_.filePath("autostart/postvane.desktop");
  }

  void TearDown() override {
    if (oldConfigHome_.isNull()) {
      qunsetenv("XDG_CONFIG_HOME");
    } else {
      qputenv("XDG_CONFIG_HOME", oldConfigHome_);
    }
  }

  // Opens the dialog, hands its box to `change`, closes it; returns whether the box was ticked
  // when it opened.
  bool OpenAndClose(const std::function<void(QCheckBox&)>& change) {
    auto* form = new frmConfig(state_, store_, pickers_, [](bool) {});
    form->Form_Load();
    const bool shown = form->chkStartWithDesktop->isChecked();
    change(*form->chkStartWithDesktop);
    QPointer<frmConfig> guard(form);
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    return shown;
  }

  QTemporaryDir config_;
  QTemporaryDir folder_;
  QTemporaryDir runtime_;
  QByteArray oldConfigHome_;
  QString entry_;
  ProgramState state_;
  StdFileSystem files_;
  SettingsStore store_{files_, folder_.filePath("Postvane.ini").toStdString(), ""};
  NoPickers pickers_;
};

TEST_F(AutostartTest, BoxWritesAndRemovesTheEntryAndShowsWhetherItExists) {
  struct Step {
    const char* Name;
    bool Tick;
    bool ExpectShown;
    bool ExpectEntry;
  };
  const Step steps[] = {{"StartsClear", false, false, false},
                        {"Tick", true, false, true},
                        {"ShowsTicked", true, true, true},
                        {"Clear", false, true, false},
                        {"ShowsClear", false, false, false}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.Name);
    EXPECT_EQ(OpenAndClose([&](QCheckBox& box) { box.setChecked(step.Tick); }), step.ExpectShown);
    EXPECT_EQ(QFile::exists(entry_), step.ExpectEntry);
  }
}

TEST_F(AutostartTest, EntryIsValidAndItsExecStartsTheProgram) {
  OpenAndClose([](QCheckBox& box) { box.setChecked(true); });
  ASSERT_TRUE(QFile::exists(entry_));
  EXPECT_EQ(QFile::permissions(entry_) & (QFile::ReadOther | QFile::WriteOther), 0);

  QSettings entry(entry_, QSettings::IniFormat);
  entry.beginGroup("Desktop Entry");
  EXPECT_EQ(entry.value("Type").toString(), "Application");
  const QString exec = entry.value("Exec").toString();
  const QStringList command = QProcess::splitCommand(exec);
  ASSERT_EQ(command.size(), 1) << exec.toStdString();
  EXPECT_EQ(command[0], folder_.filePath("postvane"));

  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("XDG_RUNTIME_DIR", runtime_.path());
  environment.insert("XDG_CONFIG_HOME", config_.path());
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(environment);
  program.start(command[0], {});
  ASSERT_TRUE(program.waitForStarted(20000));
  // The single-instance lock is the first thing the program makes.
  const QString lock = QDir(runtime_.path()).filePath("postvane.lock");
  EXPECT_TRUE(WaitFor([&] { return QFile::exists(lock); }, 30000));
  EXPECT_EQ(program.state(), QProcess::Running);
  program.kill();
  program.waitForFinished(20000);
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
