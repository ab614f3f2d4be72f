// The whole desktop program started against a private Dovecot: the first check runs at start-up,
// the tray tells of the new mail, the pop-up shows the headers, a click acknowledges.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <set>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui/frm_status.h"
#include "desktop/gui/icon_library.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "settings/ini_file.h"
#include "settings/std_file_system.h"
#include "support/dovecot_fixture.h"
#include "text/own_text.h"

namespace postvane {
namespace {

std::string Message(const std::string& from, const std::string& subject,
                    const std::string& priority) {
  std::string text = "From: " + from + "\nTo: alice@example.org\nSubject: " + subject +
                     "\nDate: Sat, 9 Mar 2024 14:00:00 +0100\n";
  if (!priority.empty()) text += "X-Priority: " + priority + "\n";
  return text + "\nBody of " + subject + "\n";
}

class StartUpTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dovecot_.Running()) << dovecot_.Failure();
    ASSERT_TRUE(dovecot_.Deliver(Message("Ann <ann@example.org>", "Lunch", "3")));
    ASSERT_TRUE(dovecot_.Deliver(Message("Bob <bob@example.org>", "Urgent", "1")));
  }

  // The settings a user would have made in the dialog: one mailbox on the local server.
  void WriteSettings(int16_t trayType, int16_t notifyType) {
    StdFileSystem files;
    SettingsStore store(files, Ini().toStdString(), "");
    MailboxRecord record;
    record.Name = "Work";
    record.User = dovecot_.Options().User;
    record.Password = dovecot_.Options().Password;
    record.RemoteHost = "127.0.0.1";
    record.RemotePort = dovecot_.Port();
    record.Enabled = kTrue;
    store.SaveMailbox(record, 0);
    GeneralSettings general;
    general.TrayType = trayType;
    general.NotifyType = notifyType;
    general.SoundFile = dir_.filePath("NewMail.wav").toStdString();
    store.SaveGeneral(general);
  }

  QString Ini() const { return dir_.filePath("Postvane.ini"); }

  static std::string Describe(DesktopProgram& program) {
    const MailboxRecord& record = program.State().Mailboxes[0];
    return "current " + std::to_string(program.State().CurrentMailbox) + ", state " +
           std::to_string(StateCode(record.State)) + ", status \"" + record.StatusText + "\"";
  }

  // The cycle's end notified of the new mail (the notification runs whatever NotifyType says).
  static bool NewMailNotified(DesktopProgram& program) {
    const ProgramState& state = program.State();
    return state.Mailboxes[0].NewCount > 0 &&
           state.NotifiedCount[0] == state.Mailboxes[0].NewCount && !IsChecking(state.Mailboxes[0]);
  }

  // A failed mailbox moves the cycle on to its end within the same event.
  static bool Failed(DesktopProgram& program) {
    const MailboxRecord& record = program.State().Mailboxes[0];
    return !record.StatusText.empty() && !IsChecking(record);
  }

  test::DovecotFixture dovecot_;
  QTemporaryDir dir_;
  NoPickers pickers_;
};

TEST_F(StartUpTest, SingleIconTellsOfTheNewMailAndTheClickAcknowledgesIt) {
  WriteSettings(/*trayType=*/0, /*notifyType=*/kNotifyPopUp);
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  frmMain& main = program.MainWindow();
  program.StartUp(0x0409);

  // Start-up ends with the first mailbox connecting: the checking animation.
  EXPECT_EQ(main.Tray().GetTrayToolTip(0), "Checking....");
  EXPECT_GE(main.TrayPicture(0), 134);
  EXPECT_LE(main.TrayPicture(0), 137);
  EXPECT_TRUE(main.Tray().GetTrayVisible(0));

  ASSERT_TRUE(WaitFor([&] { return NewMailNotified(program); }, 60000)) << Describe(program) << "\n"
                                                                        << dovecot_.ServerLog();
  const MailboxRecord& work = program.State().Mailboxes[0];
  EXPECT_EQ(work.StatusText, "");
  EXPECT_EQ(work.MessageCount, 2);
  EXPECT_EQ(work.NewCount, 2);

  const std::string time = main.Platform().DateFormat.Format(work.LastCheck);
  EXPECT_EQ(main.Tray().GetTrayToolTip(0), time + " - There are 2 new messages!");
  EXPECT_EQ(main.SysTray(0)->toolTip().toStdString(), time + " - There are 2 new messages!");
  EXPECT_EQ(main.TrayPicture(0), 105);
  EXPECT_EQ(main.SysTray(0)->icon().cacheKey(), ProgramIcon(105).cacheKey());
  for (int i = 1; i < kTrayIcons; ++i) EXPECT_FALSE(main.Tray().GetTrayVisible(i)) << i;

  // The pop-up came with the cycle's end and lists what the check fetched, newest first.
  frmStatus* status = main.StatusWindow();
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->isVisible());
  ASSERT_EQ(work.Headers.size(), 3u);
  for (int k = 1; k <= 2; ++k) {
    const MessageHeader& header = work.Headers[static_cast<std::size_t>(k)];
    const QString suffix = QString::number(k);
    ASSERT_NE(status->Node("Eintrag 60" + suffix), nullptr);
    EXPECT_EQ(status->Node("Eintrag 60" + suffix)->text(0), "Message " + QString::number(3 - k));
    EXPECT_EQ(status->Node("Eintrag 70" + suffix)->text(0).toStdString(), "From: " + header.From);
    EXPECT_EQ(status->Node("Eintrag 90" + suffix)->text(0).toStdString(),
              "Subject: " + header.Subject);
  }
  // The newest message is the urgent one: its mailbox line and message line are magenta.
  EXPECT_EQ(work.Headers[1].From, "Bob <bob@example.org>");
  EXPECT_EQ(work.Headers[2].From, "Ann <ann@example.org>");
  EXPECT_EQ(status->Node("Eintrag 1101")->text(0), "Priority: Very High");
  EXPECT_EQ(status->Node("Eintrag 1102")->text(0), "Priority: Now");
  EXPECT_EQ(status->Node("0 Account")->foreground(0).color(), QColor(128, 0, 128));
  EXPECT_EQ(status->Node("Eintrag 601")->foreground(0).color(), QColor(128, 0, 128));
  EXPECT_EQ(status->Node("Eintrag 602")->foreground(0).style(), Qt::NoBrush);

  // A click acknowledges: the newest id is saved and the tray returns to idle.
  main.SysTray_Activated(0, QSystemTrayIcon::Trigger);
  EXPECT_EQ(work.NewCount, 0);
  QFile file(Ini());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::optional<std::string> uidl =
      IniFile(file.readAll().toStdString()).Read("MailBox0", "UIDL");
  ASSERT_TRUE(uidl.has_value());
  EXPECT_EQ(*uidl, work.NewestUidl);
  EXPECT_FALSE(uidl->empty());
  program.App().OnTrayTimer();
  EXPECT_EQ(main.Tray().GetTrayToolTip(0), time + " - Postvane");
  EXPECT_EQ(main.TrayPicture(0), 101);
}

// A new user, with nothing but what the program shows: the dialog at the first start, the
// mailbox typed in, Enter, and the mailbox is checked at once.
TEST_F(StartUpTest, FirstStartLeadsFromTheDialogToACheckedMailbox) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  frmMain& main = program.MainWindow();
  program.StartUp(0x0409);

  EXPECT_EQ(main.Tray().GetTrayToolTip(0),
            "Postvane: " + OwnString(900, OwnText::NoMailboxEnabled));
  frmConfig* form = main.ConfigWindow();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(form->isVisible());
  ASSERT_EQ(form->VisibleFrame(), 0);

  // A new mailbox starts secure; this test server speaks plain POP3, so the user says so.
  EXPECT_EQ(form->cmbSecurity->currentIndex(), 1);
  EXPECT_EQ(form->RemotePort->text(), "995");
  form->cmbSecurity->setCurrentIndex(0);
  emit form->cmbSecurity->activated(0);
  form->MailBoxName->setText("Work");
  form->User->setText(QString::fromStdString(dovecot_.Options().User));
  form->Password->setText(QString::fromStdString(dovecot_.Options().Password));
  form->RemoteHost->setText("127.0.0.1");
  form->RemotePort->setText(QString::number(dovecot_.Port()));
  form->chkEnabled->click();
  form->Password->setFocus();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(form->Password, &enter);

  // Closed, saved, and the check is under way without waiting for the schedule.
  EXPECT_FALSE(form->isVisible());
  const MailboxRecord& work = program.State().Mailboxes[0];
  EXPECT_TRUE(IsChecking(work)) << Describe(program);
  {
    QFile file(Ini());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(IniFile(file.readAll().toStdString()).Read("MailBox0", "Enabled"), "1");
  }

  ASSERT_TRUE(WaitFor([&] { return NewMailNotified(program); }, 60000)) << Describe(program) << "\n"
                                                                        << dovecot_.ServerLog();
  EXPECT_EQ(work.StatusText, "");
  EXPECT_EQ(work.NewCount, 2);
  program.App().OnTrayTimer();
  EXPECT_EQ(main.Tray().GetTrayToolTip(0),
            main.Platform().DateFormat.Format(work.LastCheck) + " - Work has 2 new message(s)!");
}

TEST_F(StartUpTest, IconPerMailboxAlternatesCountAndMarker) {
  WriteSettings(/*trayType=*/1, /*notifyType=*/0);
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  frmMain& main = program.MainWindow();
  program.StartUp(0x0407);
  ASSERT_TRUE(WaitFor([&] { return NewMailNotified(program); }, 60000)) << Describe(program) << "\n"
                                                                        << dovecot_.ServerLog();
  EXPECT_EQ(main.StatusWindow(), nullptr) << "no pop-up without its notify bit";

  const MailboxRecord& work = program.State().Mailboxes[0];
  const std::string time = main.Platform().DateFormat.Format(work.LastCheck);
  EXPECT_EQ(main.Tray().GetTrayToolTip(0), time + " - Work hat 2 neue(s) mail(s)!");
  std::set<int> pictures;
  for (int tick = 0; tick < 4; ++tick) {
    program.App().OnTrayTimer();
    pictures.insert(main.TrayPicture(0));
  }
  EXPECT_EQ(pictures, (std::set<int>{105, 124}));
  EXPECT_TRUE(main.Tray().GetTrayVisible(0));
}

TEST_F(StartUpTest, WrongPasswordShowsTheErrorEnvelope) {
  WriteSettings(/*trayType=*/0, /*notifyType=*/0);
  {
    StdFileSystem files;
    SettingsStore store(files, Ini().toStdString(), "");
    MailboxRecord record;
    store.LoadMailbox(record, 0);
    record.Password = "wrong";
    store.SaveMailbox(record, 0);
  }
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  ASSERT_TRUE(WaitFor([&] { return Failed(program); }, 60000)) << Describe(program) << "\n"
                                                               << dovecot_.ServerLog();
  program.App().OnTrayTimer();
  const MailboxRecord& work = program.State().Mailboxes[0];
  EXPECT_EQ(work.StatusText, "Password is wrong!");
  EXPECT_EQ(program.MainWindow().TrayPicture(0), 103);
  EXPECT_EQ(program.MainWindow().Tray().GetTrayToolTip(0),
            program.MainWindow().Platform().DateFormat.Format(work.LastCheck) +
                " - Work: Password is wrong!");
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
