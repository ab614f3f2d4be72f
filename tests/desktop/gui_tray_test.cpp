// The hidden main window as the tray component: its icons, the events it forwards, the menu
// commands, and the quiet tray refresh of an idle program.
#include <QTextDocument>
#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <set>
#include <tuple>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui/frm_info.h"
#include "desktop/gui/frm_status.h"
#include "desktop/gui/icon_library.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "settings/ini_file.h"
#include "settings/settings_store.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"
#include "text/own_text.h"
#include "text/string_id.h"
#include "text/string_table.h"

namespace postvane {
namespace {

class TrayTest : public testing::Test {
 protected:
  void WriteSettings(const std::string& text) {
    QFile file(dir_.filePath("Postvane.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(text));
  }

  std::optional<std::string> Key(const char* section, const char* key) {
    QFile file(dir_.filePath("Postvane.ini"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return IniFile(file.readAll().toStdString()).Read(section, key);
  }

  QTemporaryDir dir_;
  NoPickers pickers_;
};

TEST_F(TrayTest, TenIconsStartAsTheWhiteEnvelopeWithOnlyTheFirstShown) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  frmMain& main = program.MainWindow();
  for (int i = 0; i < kTrayIcons; ++i) {
    ASSERT_NE(main.SysTray(i), nullptr);
    EXPECT_EQ(main.TrayPicture(i), 101);
    EXPECT_EQ(main.SysTray(i)->icon().cacheKey(), ProgramIcon(101).cacheKey());
    EXPECT_EQ(main.Tray().GetTrayToolTip(i), "");
    EXPECT_TRUE(main.SysTray(i)->toolTip().isEmpty());
    EXPECT_EQ(main.Tray().GetTrayVisible(i), i == 0) << i;
  }
  EXPECT_EQ(main.SysTray(10), nullptr);
  EXPECT_FALSE(main.isVisible());
}

TEST_F(TrayTest, PicturesAndToolTipsReachTheIcons) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  frmMain& main = program.MainWindow();
  main.Tray().SetTrayPicture(3, 107);
  main.Tray().SetTrayToolTip(3, "12:00:00 - Work has 4 new message(s)!");
  main.Tray().SetTrayVisible(3, true);
  EXPECT_EQ(main.TrayPicture(3), 107);
  EXPECT_EQ(main.SysTray(3)->icon().cacheKey(), ProgramIcon(107).cacheKey());
  EXPECT_EQ(main.SysTray(3)->toolTip(), "12:00:00 - Work has 4 new message(s)!");
  EXPECT_EQ(main.Tray().GetTrayToolTip(3), "12:00:00 - Work has 4 new message(s)!");
  EXPECT_TRUE(main.Tray().GetTrayVisible(3));
  main.Tray().SetTrayVisible(3, false);
  EXPECT_FALSE(main.SysTray(3)->isVisible());
  // Out of range is ignored.
  main.Tray().SetTrayPicture(10, 103);
  main.Tray().SetTrayToolTip(-1, "x");
  EXPECT_EQ(main.Tray().GetTrayToolTip(10), "");
  EXPECT_FALSE(main.Tray().GetTrayVisible(-1));
}

// A failure text in a tool tip can carry a server's words; markup in them shows as written
// (Qt draws a tip that looks like markup as rich text), while an ordinary tip stays as it is.
TEST_F(TrayTest, ToolTipWithMarkupShowsAsText) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  frmMain& main = program.MainWindow();
  const std::string hostile = "Box - -ERR <b>fake</b> <img src=x> <!-- hidden";
  main.Tray().SetTrayToolTip(1, hostile);
  QTextDocument shown;
  shown.setHtml(main.SysTray(1)->toolTip());
  EXPECT_EQ(shown.toPlainText().toStdString(), hostile);
  main.Tray().SetTrayToolTip(2, "Box has 3 new message(s)!");
  EXPECT_EQ(main.SysTray(2)->toolTip(), "Box has 3 new message(s)!");
}

TEST_F(TrayTest, IdleRefreshRewritesNothing) {
  WriteSettings("[General]\r\nTrayType=0\r\n[MailBox0]\r\nEnabled=0\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  program.App().OnTrayTimer();
  const int writes = program.MainWindow().TrayWrites();
  for (int i = 0; i < 50; ++i) program.App().OnTrayTimer();
  EXPECT_EQ(program.MainWindow().TrayWrites(), writes);
  EXPECT_EQ(program.MainWindow().TrayPicture(0), 101);
  // Nothing set up: the steady tip is the one that says how to set up a mailbox.
  EXPECT_EQ(program.MainWindow().Tray().GetTrayToolTip(0),
            "Postvane: " + OwnString(900, OwnText::NoMailboxEnabled));
}

TEST_F(TrayTest, ClickAcknowledgesTheMailboxOfTheIcon) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  MailboxRecord& record = program.State().Mailboxes[4];
  record.NewCount = 3;
  record.NewestUidl = "000000016b165c09";
  program.MainWindow().SysTray_Activated(4, QSystemTrayIcon::Trigger);
  EXPECT_EQ(record.NewCount, 0);
  EXPECT_EQ(record.UIDL, "000000016b165c09");
  EXPECT_EQ(Key("MailBox4", "UIDL"), "000000016b165c09");
}

TEST_F(TrayTest, MenuRequestOpensTheTrayMenu) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  EXPECT_FALSE(program.MainWindow().mnuSysTray()->isVisible());
  program.MainWindow().SysTray_Activated(0, QSystemTrayIcon::Context);
  EXPECT_TRUE(program.MainWindow().mnuSysTray()->isVisible());
  program.MainWindow().mnuSysTray()->hide();
}

TEST_F(TrayTest, DoubleClickRunsTheChosenAction) {
  WriteSettings("[General]\r\nDoubleClick=1\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  program.State().Mailboxes[2].NewCount = 1;
  program.MainWindow().SysTray_Activated(0, QSystemTrayIcon::DoubleClick);
  ASSERT_NE(program.MainWindow().StatusWindow(), nullptr);
  EXPECT_TRUE(program.MainWindow().StatusWindow()->isVisible());
  EXPECT_EQ(program.State().Mailboxes[2].NewCount, 1) << "showing the status acknowledges nothing";
}

TEST_F(TrayTest, MenuEntriesReachTheirCommands) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  frmMain& main = program.MainWindow();

  main.MenuEntry("mnuStatus")->trigger();
  ASSERT_NE(main.StatusWindow(), nullptr);
  EXPECT_TRUE(main.StatusWindow()->isVisible());

  main.MenuEntry("mnuAbout")->trigger();
  frmInfo* about = main.InfoWindow();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->windowTitle(), "About ...");
  main.MenuEntry("mnuAbout")->trigger();
  EXPECT_EQ(main.InfoWindow(), about);

  main.MenuEntry("mnuConfig")->trigger();
  ASSERT_NE(main.ConfigWindow(), nullptr);
  EXPECT_EQ(main.ConfigWindow()->windowTitle(), "Configuration");

  main.MenuEntry("mnuMdaemon")->trigger();
  EXPECT_EQ(program.State().MDaemonRequest, 1);

  EXPECT_EQ(main.ExitRequests(), 0);
  main.MenuEntry("mnuExit")->trigger();
  EXPECT_EQ(main.ExitRequests(), 1);
}

TEST_F(TrayTest, CheckNowStartsACycleOnTheSocket) {
  // Port 1 on the loopback refuses at once; the cycle has begun before it hears so.
  WriteSettings("[MailBox0]\r\nEnabled=1\r\nRemoteHost=127.0.0.1\r\nRemotePort=1\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  ASSERT_TRUE(WaitFor([&] { return !IsChecking(program.State().Mailboxes[0]); }, 20000));
  EXPECT_FALSE(program.State().Mailboxes[0].StatusText.empty());

  program.MainWindow().MenuEntry("mnuCheckNow")->trigger();
  EXPECT_TRUE(IsChecking(program.State().Mailboxes[0]));
  EXPECT_EQ(program.State().CurrentMailbox, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsChecking(program.State().Mailboxes[0]); }, 20000));
}

// A server that accepts and then stays silent fails its mailbox after the reply time-out
// (shortened for the test) and the next mailbox is checked in the same cycle.
TEST_F(TrayTest, ASilentServerFailsItsMailboxAndTheNextIsChecked) {
  using test::Pop3Script;
  using test::ScriptedPop3Server;
  using test::TopReply;
  constexpr int kReplyMs = 1500;
  qputenv("POSTVANE_REPLY_TIMEOUT_MS", QByteArray::number(kReplyMs));
  ScriptedPop3Server silent([](int) { return Pop3Script().Hold(); });
  ScriptedPop3Server healthy([](int) {
    return Pop3Script()
        .LoginThroughUidl("alice", "secret", {"u1", "u2"})
        .Expect("TOP 2 0")
        .Send(TopReply({"From: Bob <bob@example.org>", "Subject: after the silent one"}))
        .Quit();
  });
  std::string settings;
  for (const auto& [index, port, uidl] :
       {std::tuple{0, silent.Port(), ""}, std::tuple{1, healthy.Port(), "u1"}}) {
    settings += "[MailBox" + std::to_string(index) + "]\r\nEnabled=1\r\nRemoteHost=127.0.0.1\r\n" +
                "RemotePort=" + std::to_string(port) +
                "\r\nUser=alice\r\nPassword=" + TransformPassword("secret") + "\r\nUIDL=" + uidl +
                "\r\n";
  }
  WriteSettings(settings);
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  qunsetenv("POSTVANE_REPLY_TIMEOUT_MS");
  QElapsedTimer clock;
  clock.start();
  program.StartUp(0x0409);
  // The time-out, plus a generous second for the healthy mailbox on a loaded machine.
  ASSERT_TRUE(
      WaitFor([&] { return program.State().Mailboxes[1].NewCount == 1; }, kReplyMs + 1000 + 4000));
  EXPECT_GE(clock.elapsed(), kReplyMs);
  EXPECT_EQ(program.State().Mailboxes[0].StatusText, OwnString(900, OwnText::NoAnswerFromServer));
  EXPECT_EQ(silent.Sessions().size(), 1u);
  EXPECT_EQ(healthy.Sessions().size(), 1u);
}

// A mailbox with unacknowledged mail whose next check is refused: the count stays, the icon
// alternates it with the error marker and the tool tip names the refusal until a check succeeds.
TEST_F(TrayTest, AFailedCheckShowsBehindTheOldCount) {
  using test::Pop3Script;
  using test::ScriptedPop3Server;
  const std::string refusal = "-ERR [AUTH] Authentication failed.";
  ScriptedPop3Server server([&](int connection) {
    if (connection == 1) {
      return Pop3Script()
          .Send("+OK ready\r\n")
          .Expect("USER alice")
          .Send("+OK\r\n")
          .Expect("PASS secret")
          .Send(refusal + "\r\n");
    }
    // Two new messages under the acknowledged u1; headers are not asked for in this mode.
    return Pop3Script().LoginThroughUidl("alice", "secret", {"u1", "u2", "u3"}).Quit();
  });
  WriteSettings(
      "[General]\r\nNotifyType=0\r\nTrayType=1\r\n[MailBox0]\r\nName=Work\r\nEnabled=1\r\n"
      "RemoteHost=127.0.0.1\r\nRemotePort=" +
      std::to_string(server.Port()) + "\r\nUser=alice\r\nPassword=" + TransformPassword("secret") +
      "\r\nUIDL=u1\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  const MailboxRecord& record = program.State().Mailboxes[0];
  ASSERT_TRUE(WaitFor([&] { return record.NewCount == 2 && !IsChecking(record); }, 20000));
  ASSERT_TRUE(WaitFor([&] { return server.Sessions().size() == 1u; }, 20000));

  program.MainWindow().MenuEntry("mnuCheckNow")->trigger();
  ASSERT_TRUE(WaitFor([&] { return !record.StatusText.empty() && !IsChecking(record); }, 20000));
  EXPECT_EQ(record.NewCount, 2);

  frmMain& main = program.MainWindow();
  std::set<int> pictures;
  for (int n = 0; n < 2; ++n) {
    program.App().OnTrayTimer();
    pictures.insert(main.TrayPicture(0));
    EXPECT_EQ(main.SysTray(0)->icon().cacheKey(), ProgramIcon(main.TrayPicture(0)).cacheKey());
  }
  EXPECT_EQ(pictures, (std::set<int>{105, 103}));
  const QString tip = main.SysTray(0)->toolTip();
  EXPECT_TRUE(tip.contains("Work has 2 new message(s)!")) << tip.toStdString();
  EXPECT_TRUE(tip.endsWith(QString::fromStdString(OwnString(900, OwnText::LastCheckFailed) + " " +
                                                  LocalString(900, StringId::PasswordWrong))))
      << tip.toStdString();
}

// Trusting the rejected certificate in the dialog and pressing Ok checks that mailbox at once,
// as a changed login does: the second connection arrives without waiting for the interval.
TEST_F(TrayTest, TrustingACertificateAndOkChecksThatMailboxAtOnce) {
  using test::Pop3Script;
  using test::ScriptedPop3Server;
  const test::TestCertificates certificates;
  ASSERT_TRUE(certificates.Ready()) << certificates.Failure();
  const test::CertificateFiles& own = certificates.SelfSigned();
  ScriptedPop3Server server([&](int connection) {
    Pop3Script script;
    script.StartTls({own.Certificate, own.Key});
    if (connection == 0) return script.Hold();  // the client refuses the certificate
    return script.Send("+OK ready\r\n")
        .Expect("CAPA")
        .Send("+OK\r\nUIDL\r\n.\r\n")
        .LoginAfterGreeting("alice", "secret", {"u1"})
        .Quit();
  });
  WriteSettings(
      "[General]\r\nNotifyType=0\r\nInterval=60\r\n[MailBox0]\r\nEnabled=1\r\n"
      "Security=1\r\nRemoteHost=127.0.0.1\r\nRemotePort=" +
      std::to_string(server.Port()) + "\r\nUser=alice\r\nPassword=" + TransformPassword("secret") +
      "\r\nUIDL=u1\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  const MailboxRecord& record = program.State().Mailboxes[0];
  ASSERT_TRUE(WaitFor([&] { return !record.RejectedCertificate.Fingerprint.empty(); }, 20000));
  ASSERT_TRUE(WaitFor([&] { return !IsChecking(record); }, 20000));

  frmMain& main = program.MainWindow();
  main.MenuEntry("mnuConfig")->trigger();
  frmConfig* form = main.ConfigWindow();
  ASSERT_NE(form, nullptr);
  form->ConfirmTrust = [](QWidget*, const QString&) { return true; };
  form->Option1[0]->setChecked(true);
  ASSERT_FALSE(form->cmdTrustCertificate->isHidden());
  form->cmdTrustCertificate->click();
  form->cmdOk->click();

  // The failure text goes with the QUIT reply of a check that got through.
  EXPECT_TRUE(
      WaitFor([&] { return server.Sessions().size() == 2u && record.StatusText.empty(); }, 20000))
      << record.StatusText;
  EXPECT_EQ(Key("MailBox0", "CertFingerprint").value_or("").empty(), false);
}

TEST_F(TrayTest, RunMailReaderStartsTheCommandLine) {
  const QString marker = dir_.filePath("reader started");
  const std::string command = "/bin/sh -c 'echo started > \"" + marker.toStdString() + "\"'";
  WriteSettings("[General]\r\nMailProgram=" + command + "\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  program.MainWindow().MenuEntry("mnuMailReader")->trigger();
  EXPECT_TRUE(WaitFor([&] { return QFile::exists(marker); }, 20000));
}

// Private XDG folders for one test: the desktop's mailto: handler is what the test writes.
class DesktopFolders {
 public:
  DesktopFolders() {
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS"}) {
      saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    }
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_DIRS", dir_.filePath("etc").toUtf8());
    qputenv("XDG_DATA_DIRS", dir_.filePath("share").toUtf8());
    QDir().mkpath(dir_.filePath("config"));
    QDir().mkpath(dir_.filePath("data/applications"));
  }
  ~DesktopFolders() {
    for (const Saved& s : saved_) {
      if (s.Set) {
        qputenv(s.Name, s.Value);
      } else {
        qunsetenv(s.Name);
      }
    }
  }
  // A mail client whose start leaves a marker file.
  QString InstallClient(const QString& name) {
    const QString marker = dir_.filePath("client started");
    Write("data/applications/mailer.desktop",
          "[Desktop Entry]\nType=Application\nName=" + name.toStdString() +
              "\nExec=/bin/sh -c \"echo started > '" + marker.toStdString() + "'\" %u\n");
    Write("config/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/mailto=mailer.desktop\n");
    return marker;
  }

 private:
  struct Saved {
    const char* Name;
    QByteArray Value;
    bool Set;
  };
  void Write(const QString& relative, const std::string& text) {
    QFile file(dir_.filePath(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(text));
  }
  QTemporaryDir dir_;
  std::vector<Saved> saved_;
};

TEST_F(TrayTest, WithoutAMailProgramTheDesktopsMailClientStarts) {
  DesktopFolders desktop;
  const QString marker = desktop.InstallClient("Test Mail");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  frmMain& main = program.MainWindow();
  main.MenuEntry("mnuConfig")->trigger();
  ASSERT_NE(main.ConfigWindow(), nullptr);
  EXPECT_EQ(main.ConfigWindow()->txtMailProgram->text(), "");
  EXPECT_EQ(main.ConfigWindow()->txtMailProgram->placeholderText(), "Test Mail");
  main.ConfigWindow()->close();

  main.MenuEntry("mnuMailReader")->trigger();
  EXPECT_TRUE(WaitFor([&] { return QFile::exists(marker); }, 20000));
  EXPECT_EQ(main.StatusWindow(), nullptr);
}

TEST_F(TrayTest, WithoutAMailProgramOrAClientDoubleClickShowsTheStatus) {
  DesktopFolders desktop;  // empty: the desktop names no mail client
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  frmMain& main = program.MainWindow();
  main.SysTray_Activated(0, QSystemTrayIcon::DoubleClick);
  ASSERT_NE(main.StatusWindow(), nullptr);
  EXPECT_TRUE(main.StatusWindow()->isVisible());
  main.MenuEntry("mnuConfig")->trigger();
  ASSERT_NE(main.ConfigWindow(), nullptr);
  EXPECT_EQ(main.ConfigWindow()->txtMailProgram->placeholderText(), "");
}

// Web mail from the tray menu: an entry per mailbox with an https address, none for others.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> Opened;
 public slots:
  void Open(const QUrl& url) { Opened.push_back(url); }
};

TEST_F(TrayTest, TrayMenuOpensTheWebMailOfMailboxesThatHaveOne) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("https", &catcher, "Open");
  WriteSettings(
      "[MailBox1]\r\nName=Work & Co\r\nWebMailUrl=https://work.example/mail\r\n"
      "[MailBox3]\r\nName=Old\r\nWebMailUrl=http://old.example/\r\n"
      "[MailBox5]\r\nName=Home\r\nWebMailUrl=https://home.example/\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  frmMain& main = program.MainWindow();
  main.SysTray_Activated(0, QSystemTrayIcon::Context);
  EXPECT_EQ(main.MenuEntry("mnuWebMail3"), nullptr);
  QAction* work = main.MenuEntry("mnuWebMail1");
  ASSERT_NE(work, nullptr);
  ASSERT_NE(main.MenuEntry("mnuWebMail5"), nullptr);
  EXPECT_EQ(work->text().toStdString(), OwnString(900, OwnText::OpenWebMail) + ": Work && Co");
  work->trigger();
  main.mnuSysTray()->hide();
  QDesktopServices::unsetUrlHandler("https");
  ASSERT_EQ(catcher.Opened.size(), 1u);
  EXPECT_EQ(catcher.Opened[0], QUrl("https://work.example/mail"));

  // Shown again: the entries are rebuilt, not added twice.
  main.SysTray_Activated(0, QSystemTrayIcon::Context);
  int entries = 0;
  for (QAction* action : main.mnuSysTray()->actions()) {
    entries += action->objectName().startsWith("mnuWebMail") ? 1 : 0;
  }
  EXPECT_EQ(entries, 2);
  main.mnuSysTray()->hide();
}

// A mailbox's marker colour paints the flag of its marker picture; other pictures and other
// mailboxes stay as drawn.
TEST_F(TrayTest, MarkerPicturesTakeTheMailboxColour) {
  WriteSettings("[MailBox2]\r\nMarkerColor=#1e90ff\r\n[MailBox3]\r\nMarkerColor=blue\r\n");
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  frmMain& main = program.MainWindow();
  // The middle of the flag, at 32 pixels.
  const auto flag = [&](int index) {
    return main.SysTray(index)->icon().pixmap(32, 32).toImage().pixelColor(16, 10).name();
  };
  main.Tray().SetTrayPicture(2, 126);
  EXPECT_EQ(flag(2), "#1e90ff");
  main.Tray().SetTrayPicture(3, 127);  // not a colour: the picture's own
  EXPECT_EQ(main.SysTray(3)->icon().cacheKey(), ProgramIcon(127).cacheKey());
  main.Tray().SetTrayPicture(2, 110);  // a count is no marker
  EXPECT_EQ(main.SysTray(2)->icon().cacheKey(), ProgramIcon(110).cacheKey());
  main.Tray().SetTrayPicture(4, 128);
  EXPECT_EQ(flag(4), ProgramIcon(128).pixmap(32, 32).toImage().pixelColor(16, 10).name());
}

TEST_F(TrayTest, MDaemonEntryFollowsTheSettingAtStartUp) {
  for (const char* value : {"0", "1"}) {
    WriteSettings(std::string("[General]\r\nMDaemonActivate=") + value + "\r\n");
    DesktopProgram program(dir_.path().toStdString(), pickers_);
    program.StartUp(0x0409);
    EXPECT_EQ(program.MainWindow().MenuEntry("mnuMdaemon")->isVisible(), value[0] == '1');
  }
}

TEST_F(TrayTest, EveryPictureIsDrawnAtTraySizes) {
  std::vector<int> ids{1};
  for (int id = 101; id <= 137; ++id) ids.push_back(id);
  for (int id : ids) {
    ASSERT_TRUE(HasIconPicture(id)) << id;
    const QIcon icon = ProgramIcon(id);
    for (int size : kTraySizes) {
      const QImage image = icon.pixmap(size, size).toImage();
      EXPECT_EQ(image.size(), QSize(size, size)) << id;
      int opaque = 0;
      for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
          if (qAlpha(image.pixel(x, y)) > 128) ++opaque;
        }
      }
      EXPECT_GT(opaque, size * size / 8) << "picture " << id << " at " << size;
    }
  }
  EXPECT_FALSE(HasIconPicture(999));
  EXPECT_TRUE(ProgramIcon(999).isNull());
}

TEST_F(TrayTest, CountPicturesDifferFromEachOther) {
  QSet<QByteArray> seen;
  for (int id = 103; id <= 137; ++id) {
    const QImage image = IconPixmap(id, 16).toImage();
    QByteArray bytes(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    EXPECT_FALSE(seen.contains(bytes)) << "picture " << id << " looks like another at 16 px";
    seen.insert(bytes);
  }
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }

#include "gui_tray_test.moc"
