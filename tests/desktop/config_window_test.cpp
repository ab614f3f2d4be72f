// The configuration dialog as a user drives it: loading, switching mailboxes, closing, the
// interval and port rules, the notify boxes, the password mask and the pickers.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

#include "check/connection_security.h"
#include "check/secure_failure_text.h"
#include "desktop/gui/desktop_program.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui_test_main.h"
#include "settings/ini_file.h"
#include "settings/std_file_system.h"
#include "support/qt_check_rig.h"
#include "support/scripted_pop3_server.h"
#include "support/test_certificates.h"
#include "text/own_text.h"

namespace postvane {
namespace {

// Answers the pickers from queues; an empty queue is a cancel.
class ScriptedPickers : public Pickers {
 public:
  struct FileCall {
    FileFilter Filter;
    QString InitialDir;
    QString FileName;
  };

  std::optional<QString> OpenFile(QWidget*, const FileFilter& filter, const QString& initialDir,
                                  const QString& fileName) override {
    FileCalls.push_back({filter, initialDir, fileName});
    if (FileAnswers.empty()) return std::nullopt;
    std::optional<QString> answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
  }

  QString BrowseForFolder(QWidget*, const QString& prompt) override {
    FolderPrompts.push_back(prompt);
    if (FolderAnswers.empty()) return {};
    QString answer = FolderAnswers.front();
    FolderAnswers.pop_front();
    return answer;
  }

  std::deque<std::optional<QString>> FileAnswers;
  std::deque<QString> FolderAnswers;
  std::vector<FileCall> FileCalls;
  QStringList FolderPrompts;
};

// The real disk, with a look at the dialog at the moment of every settings write.
class WatchedFileSystem : public StdFileSystem {
 public:
  bool ReplaceFile(const std::string& path, const std::string& bytes) override {
    if (OnReplace) OnReplace();
    return StdFileSystem::ReplaceFile(path, bytes);
  }
  std::function<void()> OnReplace;
};

class ConfigWindowTest : public testing::Test {
 protected:
  ConfigWindowTest()
      : ini_(dir_.filePath("Postvane.ini")),
        store_(files_, ini_.toStdString(), dir_.filePath("NewMail.wav").toStdString()) {
    state_.Paths = MakeProgramPaths(dir_.path().toStdString());
    for (int i = 0; i < kUserMailboxes; ++i) {
      MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(i)];
      record.Name = "Box " + std::to_string(i);
      record.User = "user" + std::to_string(i);
      record.Password = "pw" + std::to_string(i);
      record.RemoteHost = "127.0.0.1";
      record.RemotePort = 1100 + i;
      record.Enabled = i == 0 ? kTrue : kFalse;
    }
  }

  // The mailboxes as read from a file that holds their sections: filled in before, so the
  // dialog shows them as stored.
  void SaveMailboxes() {
    for (int16_t i = 0; i < kUserMailboxes; ++i) {
      store_.SaveMailbox(state_.Mailboxes[static_cast<std::size_t>(i)], i);
    }
  }

  // A loaded dialog; it deletes itself when closed.
  frmConfig* Open() {
    auto* form = new frmConfig(state_, store_, pickers_,
                               [this](bool visible) { mdaemonEntryVisible_.push_back(visible); });
    form->Form_Load();
    return form;
  }

  static void Close(frmConfig* form) {
    QPointer<frmConfig> guard(form);
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull()) << "a closed dialog is discarded";
  }

  std::string FileText() const {
    QFile file(ini_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
  }

  std::vector<std::string> Sections() const {
    std::vector<std::string> sections;
    for (const QByteArray& line : QByteArray::fromStdString(FileText()).split('\n')) {
      const QByteArray trimmed = line.trimmed();
      if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
        sections.push_back(trimmed.mid(1, trimmed.size() - 2).toStdString());
      }
    }
    return sections;
  }

  std::optional<std::string> Key(const char* section, const char* key) const {
    return IniFile(FileText()).Read(section, key);
  }

  void RemoveFile() { QFile::remove(ini_); }

  QTemporaryDir dir_;
  QString ini_;
  WatchedFileSystem files_;
  SettingsStore store_;
  ProgramState state_;
  ScriptedPickers pickers_;
  std::vector<bool> mdaemonEntryVisible_;
};

TEST_F(ConfigWindowTest, OpensOnTheFirstTabWithMailboxZeroAndTheGeneralValues) {
  state_.General.Interval = 7;
  state_.General.DoubleClick = 2;
  state_.General.TrayType = 1;
  state_.General.NotifyType = 5;
  state_.General.ReplaySound = kTrue;
  state_.General.MailProgram = "reader --inbox";
  state_.General.SoundFile = "/snd/ding.wav";
  state_.General.MDaemonPath = "/srv/md";
  state_.General.MDaemonActivate = 1;
  state_.Mailboxes[0].LastMail = kTrue;
  SaveMailboxes();
  const std::string before = FileText();

  frmConfig* form = Open();
  EXPECT_EQ(form->TabStrip1->currentIndex(), 0);
  EXPECT_EQ(form->VisibleFrame(), 0);
  EXPECT_TRUE(form->fraGeneral1->isHidden());
  EXPECT_TRUE(form->fraGeneral2->isHidden());
  EXPECT_TRUE(form->Option1[0]->isChecked());
  EXPECT_EQ(form->ShownMailbox(), 0);
  EXPECT_EQ(form->MailboxIconShown(), 124);
  EXPECT_FALSE(form->pMailbox->pixmap().isNull());

  EXPECT_EQ(form->MailBoxName->text(), "Box 0");
  EXPECT_EQ(form->User->text(), "user0");
  EXPECT_EQ(form->Password->text(), "pw0");
  EXPECT_EQ(form->RemoteHost->text(), "127.0.0.1");
  EXPECT_EQ(form->RemotePort->text(), "1100");
  EXPECT_TRUE(form->chkEnabled->isChecked());
  EXPECT_TRUE(form->chkLastMail->isChecked());

  EXPECT_EQ(form->txtInterval->text(), "7");
  EXPECT_EQ(form->cmbDoubleClick->currentIndex(), 2);
  EXPECT_TRUE(form->chkAdvancedTrayIcon->isChecked());
  EXPECT_TRUE(form->chkPlaySound->isChecked());
  EXPECT_TRUE(form->chkReplaySound->isChecked());
  EXPECT_TRUE(form->chkReplaySound->isEnabled());
  EXPECT_FALSE(form->chkPopUpWindow->isChecked());
  EXPECT_TRUE(form->chkRunMailReader->isChecked());
  EXPECT_EQ(form->txtMailProgram->text(), "reader --inbox");
  EXPECT_EQ(form->txtSoundFile->text(), "/snd/ding.wav");
  EXPECT_EQ(form->txtMDaemonPath->text(), "/srv/md");
  EXPECT_TRUE(form->chkMDaemonActivate->isChecked());

  EXPECT_EQ(FileText(), before) << "opening the dialog writes nothing";
  delete form;
}

TEST_F(ConfigWindowTest, SwitchingSavesTheMailboxLeftBeforeTheNextIsShown) {
  frmConfig* form = Open();
  form->Option1[2]->click();
  EXPECT_EQ(form->MailBoxName->text(), "Box 2");
  EXPECT_EQ(form->MailboxIconShown(), 126);
  RemoveFile();

  form->MailBoxName->setText("Typed name");
  form->Password->setText("typed secret");
  form->RemotePort->setText("995");
  form->chkEnabled->setChecked(true);

  QStringList shownAtWrite;
  files_.OnReplace = [&] { shownAtWrite << form->MailBoxName->text(); };
  form->Option1[5]->click();
  files_.OnReplace = nullptr;

  EXPECT_EQ(shownAtWrite, QStringList{"Typed name"}) << "MailBox2 is written while 2 is shown";
  EXPECT_EQ(Sections(), std::vector<std::string>{"MailBox2"});
  EXPECT_EQ(Key("MailBox2", "Name"), "Typed name");
  EXPECT_EQ(Key("MailBox2", "Password"), TransformPassword("typed secret"));
  EXPECT_EQ(Key("MailBox2", "RemotePort"), "995");
  EXPECT_EQ(Key("MailBox2", "Enabled"), "1");
  EXPECT_EQ(Key("MailBox2", "LastMail"), "0");
  EXPECT_EQ(form->ShownMailbox(), 5);
  EXPECT_EQ(form->MailBoxName->text(), "Box 5");
  EXPECT_EQ(form->MailboxIconShown(), 129);

  form->Option1[2]->click();
  EXPECT_EQ(form->MailBoxName->text(), "Typed name");
  EXPECT_EQ(form->Password->text(), "typed secret");
  EXPECT_EQ(form->RemotePort->text(), "995");
  delete form;
}

TEST_F(ConfigWindowTest, ClosingSavesTheShownMailboxThenTheGeneralSection) {
  frmConfig* form = Open();
  form->Option1[7]->click();
  RemoveFile();
  form->User->setText("seven");
  form->txtInterval->setText("12");
  Close(form);
  EXPECT_EQ(Sections(), (std::vector<std::string>{"MailBox7", "General"}));
  EXPECT_EQ(Key("MailBox7", "User"), "seven");
  EXPECT_EQ(Key("General", "Interval"), "12");
  EXPECT_EQ(state_.Mailboxes[7].User, "seven");
  EXPECT_EQ(state_.General.Interval, 12);
}

TEST_F(ConfigWindowTest, NewFileHasTheVisitedMailboxesThenGeneral) {
  frmConfig* form = Open();
  form->Option1[3]->click();
  form->cmdOk->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Sections(), (std::vector<std::string>{"MailBox0", "MailBox3", "General"}));
}

TEST_F(ConfigWindowTest, IntervalOutsideOneTo999IsSavedAsFive) {
  const struct {
    const char* Text;
    int16_t Interval;
  } cases[] = {{"0", 5}, {"1000", 5}, {"abc", 5}, {"999", 999}, {"2.5", 2}, {"", 5}};
  for (const auto& c : cases) {
    frmConfig* form = Open();
    form->txtInterval->setText(QString::fromLatin1(c.Text));
    form->cmdOk->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(state_.General.Interval, c.Interval) << c.Text;
    EXPECT_EQ(Key("General", "Interval"), std::to_string(c.Interval)) << c.Text;
  }
}

TEST_F(ConfigWindowTest, NotifyTypeSixTicksPopUpAndMailReaderAndDisablesReplay) {
  state_.General.NotifyType = 6;
  state_.General.ReplaySound = kFalse;
  frmConfig* form = Open();
  EXPECT_FALSE(form->chkPlaySound->isChecked());
  EXPECT_TRUE(form->chkPopUpWindow->isChecked());
  EXPECT_TRUE(form->chkRunMailReader->isChecked());
  EXPECT_FALSE(form->chkReplaySound->isEnabled());
  EXPECT_FALSE(form->chkReplaySound->isChecked());
  Close(form);
  EXPECT_EQ(state_.General.NotifyType, 6);
  EXPECT_EQ(Key("General", "NotifyType"), "6");
}

TEST_F(ConfigWindowTest, ReplayIsEnabledOnlyWithTheSoundAndSavedEvenWhileDisabled) {
  state_.General.NotifyType = 1;
  frmConfig* form = Open();
  EXPECT_TRUE(form->chkReplaySound->isEnabled());
  form->chkReplaySound->setChecked(true);
  form->chkPlaySound->setChecked(false);
  EXPECT_FALSE(form->chkReplaySound->isEnabled());
  EXPECT_TRUE(form->chkReplaySound->isChecked());
  form->chkPlaySound->setChecked(true);
  EXPECT_TRUE(form->chkReplaySound->isEnabled());
  form->chkPlaySound->setChecked(false);
  Close(form);
  EXPECT_EQ(state_.General.ReplaySound, kTrue);
  EXPECT_EQ(state_.General.NotifyType, 0);
  EXPECT_EQ(Key("General", "ReplaySound"), "1");
}

TEST_F(ConfigWindowTest, GeneralControlsAreSavedWhenClosing) {
  state_.General.ReceiveLog = kTrue;
  frmConfig* form = Open();
  form->chkAdvancedTrayIcon->setChecked(false);
  form->cmbDoubleClick->setCurrentIndex(1);
  form->chkPopUpWindow->setChecked(true);
  form->txtMailProgram->setText("mutt -f inbox");
  form->txtSoundFile->setText("/snd/new.wav");
  form->txtMDaemonPath->setText("/srv/mdaemon");
  form->chkMDaemonActivate->setChecked(true);
  Close(form);
  EXPECT_EQ(state_.General.TrayType, 0);
  EXPECT_EQ(state_.General.DoubleClick, 1);
  EXPECT_EQ(state_.General.NotifyType, 3);
  EXPECT_EQ(state_.General.MailProgram, "mutt -f inbox");
  EXPECT_EQ(state_.General.SoundFile, "/snd/new.wav");
  EXPECT_EQ(state_.General.MDaemonPath, "/srv/mdaemon");
  EXPECT_EQ(state_.General.MDaemonActivate, 1);
  EXPECT_EQ(state_.General.ReceiveLog, kTrue);
  EXPECT_EQ(Key("General", "ReceiveLog"), std::nullopt);
  EXPECT_EQ(mdaemonEntryVisible_, std::vector<bool>{true});
}

TEST_F(ConfigWindowTest, ClosingHidesTheMDaemonEntryWhenUnticked) {
  state_.General.MDaemonActivate = 1;
  frmConfig* form = Open();
  form->chkMDaemonActivate->setChecked(false);
  Close(form);
  EXPECT_EQ(mdaemonEntryVisible_, std::vector<bool>{false});
}

TEST_F(ConfigWindowTest, PortTextThatIsNoIntegerKeepsTheOldPort) {
  for (const char* text : {"abc", "", "1.5", "99999999999"}) {
    frmConfig* form = Open();
    form->RemotePort->setText(QString::fromLatin1(text));
    Close(form);
    EXPECT_EQ(state_.Mailboxes[0].RemotePort, 1100) << text;
    EXPECT_EQ(Key("MailBox0", "RemotePort"), "1100") << text;
  }
}

TEST_F(ConfigWindowTest, PasswordIsShownAsStars) {
  frmConfig* form = Open();
  form->Password->setText("abcd");
  EXPECT_EQ(form->Password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(form->Password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                               form->Password),
            '*');
  EXPECT_EQ(form->Password->displayText(), "****");
  EXPECT_EQ(form->Password->text(), "abcd");
  Close(form);
  EXPECT_EQ(state_.Mailboxes[0].Password, "abcd");
  EXPECT_EQ(Key("MailBox0", "Password"), TransformPassword("abcd"));
}

TEST_F(ConfigWindowTest, TabsShowTheirFrameAndKeepTheOthersContents) {
  frmConfig* form = Open();
  form->MailBoxName->setText("kept");
  form->TabStrip1->setCurrentIndex(1);
  EXPECT_EQ(form->VisibleFrame(), 1);
  EXPECT_TRUE(form->fraMailboxes->isHidden());
  EXPECT_TRUE(form->fraGeneral2->isHidden());
  form->TabStrip1->setCurrentIndex(2);
  EXPECT_EQ(form->VisibleFrame(), 2);
  form->TabStrip1->setCurrentIndex(0);
  EXPECT_EQ(form->VisibleFrame(), 0);
  EXPECT_EQ(form->MailBoxName->text(), "kept");
  delete form;
}

TEST_F(ConfigWindowTest, ControlsStandAtTheirFixedPlaces) {
  frmConfig* form = Open();
  // 320 pixels, one row of 28 for the security row, 56 for the IMAP rows and 104 for the
  // sign-in rows; the rows above them stay put.
  EXPECT_EQ(form->size(), QSize(335, 508));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_EQ(form->TabStrip1->geometry(), QRect(7, 7, 323, 469));
  for (QWidget* frame : {form->fraMailboxes, form->fraGeneral1, form->fraGeneral2}) {
    EXPECT_EQ(frame->geometry(), QRect(14, 28, 309, 441));
  }
  EXPECT_EQ(form->cmdOk->geometry(), QRect(259, 482, 71, 22));
  EXPECT_EQ(form->cmbSecurity->geometry(), QRect(182, 217, 113, 21));
  EXPECT_EQ(form->cmdTrustCertificate->geometry(), QRect(7, 482, 190, 22));
  // The IMAP controls: the protocol left of the picture, the rest below everything else.
  EXPECT_EQ(form->cmbProtocol->geometry(), QRect(105, 45, 73, 21));
  EXPECT_EQ(form->txtFolder->geometry(), QRect(182, 280, 113, 19));
  EXPECT_EQ(form->chkPush->geometry(), QRect(7, 304, 288, 15));
  EXPECT_EQ(form->chkMarkReadOnAck->geometry(), QRect(7, 321, 288, 15));
  // The sign-in rows at the foot.
  EXPECT_EQ(form->cmbAuth->geometry(), QRect(80, 344, 100, 21));
  EXPECT_EQ(form->cmdSignIn->geometry(), QRect(186, 343, 109, 22));
  EXPECT_EQ(form->txtOAuthProvider->geometry(), QRect(80, 370, 215, 19));
  EXPECT_EQ(form->txtOAuthClientId->geometry(), QRect(80, 394, 95, 19));
  EXPECT_EQ(form->txtOAuthClientSecret->geometry(), QRect(236, 394, 59, 19));
  EXPECT_EQ(form->lblSignInState->geometry(), QRect(7, 417, 288, 28));
  EXPECT_EQ(form->Frame2->geometry(), QRect(7, 14, 85, 232));
  for (int i = 0; i < kUserMailboxes; ++i) {
    EXPECT_EQ(form->Option1[static_cast<std::size_t>(i)]->geometry(),
              QRect(14, 21 + 21 * i, 64, 15));
  }
  EXPECT_EQ(form->pMailbox->geometry(), QRect(182, 28, 36, 36));
  EXPECT_EQ(form->MailBoxName->geometry(), QRect(182, 77, 113, 19));
  EXPECT_EQ(form->Password->geometry(), QRect(182, 133, 113, 19));
  EXPECT_EQ(form->RemotePort->geometry(), QRect(182, 189, 36, 19));
  EXPECT_EQ(form->chkEnabled->geometry(), QRect(280, 192, 15, 15));
  EXPECT_EQ(form->chkLastMail->geometry(), QRect(280, 252, 15, 15));
  EXPECT_EQ(form->txtInterval->geometry(), QRect(56, 14, 29, 16));
  EXPECT_EQ(form->cmbDoubleClick->geometry(), QRect(7, 21, 281, 21));
  EXPECT_EQ(form->fraNotifyOptions->geometry(), QRect(8, 112, 295, 85));
  EXPECT_EQ(form->chkReplaySound->geometry(), QRect(133, 42, 78, 36));
  EXPECT_EQ(form->cmdBrowseSound->geometry(), QRect(217, 42, 71, 22));
  EXPECT_EQ(form->txtMailProgram->geometry(), QRect(7, 21, 204, 16));
  EXPECT_EQ(form->cmdMDaemonBrowse->geometry(), QRect(196, 42, 85, 22));
  EXPECT_EQ(form->txtMDaemonPath->geometry(), QRect(14, 70, 267, 18));
  delete form;
}

// Which tab holds a control: the frame it lies in.
int TabOf(frmConfig& form, QWidget* control) {
  const QWidget* frames[] = {form.fraMailboxes, form.fraGeneral1, form.fraGeneral2};
  for (int tab = 0; tab < 3; ++tab) {
    if (frames[tab]->isAncestorOf(control)) return tab;
  }
  return -1;
}

bool PressEnter(QWidget* target, Qt::Key key = Qt::Key_Return,
                Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  target->setFocus(Qt::OtherFocusReason);
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QCoreApplication::sendEvent(target, &press);
  return press.isAccepted();
}

TEST_F(ConfigWindowTest, EnterInAnyTextFieldActsAsOk) {
  QStringList fields;
  {
    frmConfig* probe = Open();
    for (QLineEdit* edit : probe->findChildren<QLineEdit*>()) {
      // The drop-down list's own editor is not a text field of the dialog.
      if (qobject_cast<QComboBox*>(edit->parentWidget()) == nullptr) fields << edit->objectName();
    }
    Close(probe);
  }
  ASSERT_GE(fields.size(), 9) << fields.join(", ").toStdString();

  for (const QString& name : fields) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
      RemoveFile();
      frmConfig* form = Open();
      form->show();
      QPointer<frmConfig> guard(form);
      auto* edit = form->findChild<QLineEdit*>(name);
      ASSERT_NE(edit, nullptr);
      form->ShowTab(TabOf(*form, edit));
      if (name == "MailBoxName") edit->setText("Typed, then Enter");
      PressEnter(edit, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      EXPECT_TRUE(guard.isNull()) << name.toStdString() << ": Enter did not close the dialog";
      EXPECT_EQ(Sections(), (std::vector<std::string>{"MailBox0", "General"}))
          << name.toStdString() << ": closing by Enter stores and saves as Ok does";
      if (name == "MailBoxName") {
        EXPECT_EQ(state_.Mailboxes[0].Name, "Typed, then Enter");
      }
      if (!guard.isNull()) Close(form);
    }
  }
}

TEST_F(ConfigWindowTest, EnterOnAFocusedButtonPressesThatButtonAndOtherwiseOk) {
  frmConfig* form = Open();
  form->show();
  QPointer<frmConfig> guard(form);
  form->ShowTab(1);
  PressEnter(form->cmdBrowseSound);
  EXPECT_EQ(pickers_.FileCalls.size(), 1u) << "Enter on Browse opens the picker";
  EXPECT_FALSE(guard.isNull()) << "and leaves the dialog open";

  // Shift+Enter in a text field is not the plain Enter that means Ok.
  PressEnter(form->txtSoundFile, Qt::Key_Return, Qt::ShiftModifier);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(guard.isNull());

  // A tick box with the focus passes Enter on to Ok.
  PressEnter(form->chkPlaySound);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(guard.isNull());
}

TEST_F(ConfigWindowTest, ShowTabSelectsAsAClickWouldAndIgnoresOtherNumbers) {
  frmConfig* form = Open();
  for (int tab : {2, 1, 0}) {
    form->ShowTab(tab);
    EXPECT_EQ(form->VisibleFrame(), tab);
  }
  for (int bad : {-1, 3, 99}) {
    form->ShowTab(bad);
    EXPECT_EQ(form->VisibleFrame(), 0) << bad;
  }
  Close(form);
}

TEST_F(ConfigWindowTest, FilePickerRemembersTheLastAcceptedNameForACancel) {
  frmConfig* form = Open();
  pickers_.FileAnswers = {QString("/opt/mail/reader"), std::nullopt};
  form->cmdBrowseMailProgram->click();
  EXPECT_EQ(form->txtMailProgram->text(), "/opt/mail/reader");
  form->cmdBrowseSound->click();
  EXPECT_EQ(form->txtSoundFile->text(), "/opt/mail/reader");

  ASSERT_EQ(pickers_.FileCalls.size(), 2u);
  EXPECT_EQ(pickers_.FileCalls[0].InitialDir, dir_.path());
  EXPECT_EQ(pickers_.FileCalls[0].Filter.Description, ProgramsFilter(900).Description);
  EXPECT_EQ(pickers_.FileCalls[0].FileName, "");
  EXPECT_EQ(pickers_.FileCalls[1].Filter.Description, "Sounds (*.wav)");
  EXPECT_EQ(pickers_.FileCalls[1].FileName, "/opt/mail/reader");
  delete form;

  // A new opening has a new file dialog: a first cancel empties the box.
  form = Open();
  form->cmdBrowseSound->click();
  EXPECT_EQ(form->txtSoundFile->text(), "");
  EXPECT_EQ(pickers_.FileCalls.back().FileName, "");
  delete form;
}

TEST_F(ConfigWindowTest, FolderPickerHasTheFixedPromptAndACancelEmptiesTheBox) {
  state_.General.MDaemonPath = "/srv/old";
  frmConfig* form = Open();
  pickers_.FolderAnswers = {QString("/srv/mdaemon")};
  form->cmdMDaemonBrowse->click();
  EXPECT_EQ(form->txtMDaemonPath->text(), "/srv/mdaemon");
  form->cmdMDaemonBrowse->click();
  EXPECT_EQ(form->txtMDaemonPath->text(), "");
  EXPECT_EQ(pickers_.FolderPrompts,
            (QStringList{QString::fromUtf8("Wählen Sie bitte, bitte einen Ordner:"),
                         QString::fromUtf8("Wählen Sie bitte, bitte einen Ordner:")}));
  delete form;
}

TEST_F(ConfigWindowTest, FilterTextsAreInTheUsersLanguage) {
  EXPECT_EQ(SoundsFilter(900).Description, "Sounds (*.wav)");
  EXPECT_EQ(SoundsFilter(900).Pattern, "*.wav");
#ifdef Q_OS_WIN
  EXPECT_EQ(ProgramsFilter(900).Description, "Programs (*.exe)");
#else
  EXPECT_EQ(ProgramsFilter(900).Description, "Programs (*)");
  EXPECT_TRUE(ProgramsFilter(900).ExecutablesOnly);
#endif
  for (const int16_t base : {300, 700, 1000, 1600, 1900}) {
    const QString sounds = QString::fromStdString(OwnString(base, OwnText::SoundFiles));
    EXPECT_FALSE(sounds.isEmpty());
    EXPECT_NE(SoundsFilter(base).Description, SoundsFilter(900).Description) << base;
    EXPECT_EQ(SoundsFilter(base).Description, sounds + " (*.wav)") << base;
    EXPECT_TRUE(ProgramsFilter(base).Description.startsWith(
        QString::fromStdString(OwnString(base, OwnText::ProgramFiles)) + " ("))
        << base;
  }

  // The dialog asks in its own language.
  state_.LanguageBase = 700;
  frmConfig* form = Open();
  form->cmdBrowseSound->click();
  ASSERT_EQ(pickers_.FileCalls.size(), 1u);
  EXPECT_EQ(pickers_.FileCalls[0].Filter.Description, SoundsFilter(700).Description);
  delete form;
}

class ConfigFromTrayTest : public testing::Test {
 protected:
  QTemporaryDir dir_;
  ScriptedPickers pickers_;
};

TEST_F(ConfigFromTrayTest, SecondRequestBringsTheOpenDialogUpWithoutReloading) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  program.App().ShowConfig();
  frmConfig* first = program.MainWindow().ConfigWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  first->MailBoxName->setText("typed, not saved yet");
  first->TabStrip1->setCurrentIndex(2);

  program.App().ShowConfig();
  EXPECT_EQ(program.MainWindow().ConfigWindow(), first);
  EXPECT_EQ(first->MailBoxName->text(), "typed, not saved yet");
  EXPECT_EQ(first->TabStrip1->currentIndex(), 2);

  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(program.MainWindow().ConfigWindow(), nullptr);
  EXPECT_EQ(program.State().Mailboxes[0].Name, "typed, not saved yet");

  program.App().ShowConfig();
  ASSERT_NE(program.MainWindow().ConfigWindow(), nullptr);
  EXPECT_EQ(program.MainWindow().ConfigWindow()->TabStrip1->currentIndex(), 0);
}

TEST_F(ConfigFromTrayTest, FirstStartOpensTheDialogOnTheMailboxesTabOnlyWithoutASettingsFile) {
  {
    DesktopProgram program(dir_.path().toStdString(), pickers_);
    program.StartUp(0x0409);
    frmConfig* form = program.MainWindow().ConfigWindow();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->VisibleFrame(), 0);
    EXPECT_EQ(form->ShownMailbox(), 0);
    form->close();  // saves: the next start is no first start
  }
  ASSERT_TRUE(QFile::exists(dir_.filePath("Postvane.ini")));
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  EXPECT_EQ(program.MainWindow().ConfigWindow(), nullptr);
}

TEST_F(ConfigFromTrayTest, ClosingTheDialogSetsTheMDaemonMenuEntry) {
  DesktopProgram program(dir_.path().toStdString(), pickers_);
  program.StartUp(0x0409);
  QAction* entry = program.MainWindow().MenuEntry("mnuMdaemon");
  ASSERT_NE(entry, nullptr);
  EXPECT_FALSE(entry->isVisible());
  program.App().ShowConfig();
  program.MainWindow().ConfigWindow()->chkMDaemonActivate->setChecked(true);
  program.MainWindow().ConfigWindow()->close();
  EXPECT_TRUE(entry->isVisible());
}

TEST_F(ConfigFromTrayTest, ExitWhileTheDialogIsOpenSavesNothing) {
  const QString ini = dir_.filePath("Postvane.ini");
  {
    DesktopProgram program(dir_.path().toStdString(), pickers_);
    program.StartUp(0x0409);
    program.App().ShowConfig();
    program.MainWindow().ConfigWindow()->Option1[4]->click();  // saves MailBox0
    QFile::remove(ini);
    program.MainWindow().ConfigWindow()->MailBoxName->setText("lost");
    program.MainWindow().MenuEntry("mnuExit")->trigger();
    EXPECT_EQ(program.MainWindow().ExitRequests(), 1);
  }
  EXPECT_FALSE(QFile::exists(ini));
}

// Security choice and trusting a certificate.

TEST_F(ConfigWindowTest, SecurityChoiceSwitchesTheUsualPortAndIsSaved) {
  state_.Mailboxes[0].RemotePort = 110;
  SaveMailboxes();
  frmConfig* form = Open();
  ASSERT_EQ(form->cmbSecurity->count(), 3);
  EXPECT_EQ(form->cmbSecurity->itemText(0).toStdString(), OwnString(900, OwnText::SecurityNone));
  EXPECT_EQ(form->cmbSecurity->currentIndex(), 0);
  struct Step {
    int choice;
    const char* port;
  };
  for (const Step step :
       {Step{1, "995"}, Step{2, "110"}, Step{1, "995"}, Step{0, "110"}, Step{1, "995"}}) {
    form->cmbSecurity->setCurrentIndex(step.choice);
    emit form->cmbSecurity->activated(step.choice);
    EXPECT_EQ(form->RemotePort->text().toStdString(), step.port) << step.choice;
  }
  // A port of the user's own is left alone.
  form->RemotePort->setText("1995");
  form->cmbSecurity->setCurrentIndex(2);
  emit form->cmbSecurity->activated(2);
  EXPECT_EQ(form->RemotePort->text(), "1995");
  Close(form);
  EXPECT_EQ(state_.Mailboxes[0].Security, 2);
  EXPECT_EQ(Key("MailBox0", "Security"), "2");
  EXPECT_EQ(Key("MailBox0", "RemotePort"), "1995");
}

// A mailbox the file does not hold yet starts on SSL/TLS; the plain choice says what it means.
TEST_F(ConfigWindowTest, NewMailboxStartsSecureAndPlainSaysThePasswordIsReadable) {
  state_.Mailboxes[0].RemotePort = 110;
  store_.SaveMailbox(state_.Mailboxes[0], 0);  // mailbox 0 was filled in before, plainly
  frmConfig* form = Open();
  const QString line = QString::fromStdString(OwnString(900, OwnText::PasswordSentUnencrypted));
  EXPECT_EQ(form->lblPlainPassword->text(), line);
  EXPECT_EQ(form->lblPlainPassword->textFormat(), Qt::PlainText);
  EXPECT_EQ(form->cmbSecurity->currentIndex(), 0);
  EXPECT_FALSE(form->lblPlainPassword->isHidden());
  // Only on the mailboxes tab.
  form->TabStrip1->setCurrentIndex(1);
  EXPECT_TRUE(form->lblPlainPassword->isHidden());
  form->TabStrip1->setCurrentIndex(0);
  EXPECT_FALSE(form->lblPlainPassword->isHidden());

  form->Option1[3]->setChecked(true);
  EXPECT_EQ(form->cmbSecurity->currentIndex(), 1);
  EXPECT_EQ(form->RemotePort->text(), "995");
  EXPECT_TRUE(form->lblPlainPassword->isHidden());
  form->cmbSecurity->setCurrentIndex(0);
  emit form->cmbSecurity->activated(0);
  EXPECT_EQ(form->RemotePort->text(), "110");
  EXPECT_FALSE(form->lblPlainPassword->isHidden());
  form->cmbSecurity->setCurrentIndex(2);
  emit form->cmbSecurity->activated(2);
  EXPECT_TRUE(form->lblPlainPassword->isHidden());
  form->cmbSecurity->setCurrentIndex(1);
  emit form->cmbSecurity->activated(1);
  Close(form);
  EXPECT_EQ(Key("MailBox3", "Security"), "1");
  EXPECT_EQ(Key("MailBox3", "RemotePort"), "995");
  EXPECT_EQ(Key("MailBox0", "Security"), std::nullopt);
  EXPECT_EQ(Key("MailBox0", "RemotePort"), "110");
}

TEST_F(ConfigWindowTest, QuietHoursAreShownAsClockTimesAndSavedInMinutes) {
  state_.General.QuietFrom = 22 * 60;
  frmConfig* form = Open();
  EXPECT_EQ(form->lblQuietFrom->text().toStdString(), OwnString(900, OwnText::QuietFrom));
  EXPECT_EQ(form->lblQuietTo->text().toStdString(), OwnString(900, OwnText::QuietTo));
  EXPECT_EQ(form->txtQuietFrom->text(), "22:00");
  EXPECT_EQ(form->txtQuietTo->text(), "");
  form->txtQuietFrom->setText("23:30");
  form->txtQuietTo->setText("6:45");
  Close(form);
  EXPECT_EQ(Key("General", "QuietFrom"), "1410");
  EXPECT_EQ(Key("General", "QuietTo"), "405");

  form = Open();
  form->txtQuietTo->setText("");  // switched off
  Close(form);
  EXPECT_EQ(Key("General", "QuietFrom"), "1410");
  EXPECT_EQ(Key("General", "QuietTo"), std::nullopt);
}

TEST_F(ConfigWindowTest, WebMailAddressIsShownAndOnlyHttpsIsSaved) {
  state_.Mailboxes[2].WebMailUrl = "https://mail.example.org/";
  SaveMailboxes();
  frmConfig* form = Open();
  EXPECT_EQ(form->lblWebMail->text().toStdString(), OwnString(900, OwnText::WebMailAddress));
  EXPECT_EQ(form->txtWebMailUrl->text(), "");
  form->Option1[2]->setChecked(true);
  EXPECT_EQ(form->txtWebMailUrl->text(), "https://mail.example.org/");
  form->txtWebMailUrl->setText("http://mail.example.org/");
  form->Option1[4]->setChecked(true);
  form->txtWebMailUrl->setText("https://four.example/");
  Close(form);
  EXPECT_EQ(Key("MailBox2", "WebMailUrl"), "https://mail.example.org/");
  EXPECT_EQ(Key("MailBox4", "WebMailUrl"), "https://four.example/");
  EXPECT_EQ(Key("MailBox0", "WebMailUrl"), std::nullopt);

  form = Open();
  EXPECT_EQ(form->lblMarkerColor->text().toStdString(), OwnString(900, OwnText::MarkerColor));
  form->txtMarkerColor->setText("#1e90ff");
  Close(form);
  EXPECT_EQ(Key("MailBox0", "MarkerColor"), "#1e90ff");
}

// Protocol choice and the IMAP controls.

struct ChoiceSwitch {
  const char* name;
  int16_t protocol;  // as stored
  int16_t security;
  int32_t port;
  int toProtocol;  // -1: left as it is
  int toSecurity;  // -1: left as it is; chosen before the protocol
  const char* portAfter;
};

class ProtocolChoiceTest : public ConfigWindowTest,
                           public testing::WithParamInterface<ChoiceSwitch> {};

TEST_P(ProtocolChoiceTest, UsualPortFollowsProtocolAndSecurity) {
  const ChoiceSwitch& c = GetParam();
  MailboxRecord& record = state_.Mailboxes[0];
  record.Protocol = c.protocol;
  record.Security = c.security;
  record.RemotePort = c.port;
  SaveMailboxes();
  frmConfig* form = Open();
  EXPECT_EQ(form->cmbProtocol->currentIndex(), c.protocol);
  if (c.toSecurity >= 0) {
    form->cmbSecurity->setCurrentIndex(c.toSecurity);
    emit form->cmbSecurity->activated(c.toSecurity);
  }
  if (c.toProtocol >= 0) {
    form->cmbProtocol->setCurrentIndex(c.toProtocol);
    emit form->cmbProtocol->activated(c.toProtocol);
  }
  EXPECT_EQ(form->RemotePort->text().toStdString(), c.portAfter);
  const int protocol = form->cmbProtocol->currentIndex();
  Close(form);
  EXPECT_EQ(Key("MailBox0", "RemotePort"), c.portAfter);
  EXPECT_EQ(Key("MailBox0", "Protocol").value_or("0"), std::to_string(protocol));
}

INSTANTIATE_TEST_SUITE_P(Switches, ProtocolChoiceTest,
                         testing::Values(ChoiceSwitch{"Pop3PlainToImap", 0, 0, 110, 1, -1, "143"},
                                         ChoiceSwitch{"Pop3TlsToImap", 0, 1, 995, 1, -1, "993"},
                                         ChoiceSwitch{"ImapTlsToPop3", 1, 1, 993, 0, -1, "995"},
                                         ChoiceSwitch{"ImapStartTlsToPop3", 1, 2, 143, 0, -1,
                                                      "110"},
                                         ChoiceSwitch{"ImapPlainToTls", 1, 0, 143, -1, 1, "993"},
                                         ChoiceSwitch{"ImapTlsToStartTls", 1, 1, 993, -1, 2, "143"},
                                         ChoiceSwitch{"TlsThenImap", 0, 0, 110, 1, 1, "993"},
                                         ChoiceSwitch{"OwnPortStays", 0, 0, 2110, 1, 1, "2110"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigWindowTest, ImapControlsTakeInputOnlyForImapAndAreSaved) {
  SaveMailboxes();
  frmConfig* form = Open();
  EXPECT_EQ(form->lblProtocol->text().toStdString(), OwnString(900, OwnText::Protocol));
  EXPECT_EQ(form->lblFolder->text().toStdString(), OwnString(900, OwnText::Folder));
  EXPECT_EQ(form->chkMarkReadOnAck->text().toStdString(), OwnString(900, OwnText::MarkReadOnAck));
  const auto imapEnabled = [form] {
    return std::vector<bool>{form->txtFolder->isEnabled(), form->chkPush->isEnabled(),
                             form->chkMarkReadOnAck->isEnabled()};
  };
  EXPECT_EQ(imapEnabled(), (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(form->chkPush->isChecked());  // on until switched off
  EXPECT_FALSE(form->chkMarkReadOnAck->isChecked());
  form->cmbProtocol->setCurrentIndex(1);
  emit form->cmbProtocol->activated(1);
  EXPECT_EQ(imapEnabled(), (std::vector<bool>{true, true, true}));
  form->txtFolder->setText(QString::fromUtf8(" Arbeit/Büro "));
  form->chkPush->setChecked(false);
  form->chkMarkReadOnAck->setChecked(true);
  form->Option1[1]->setChecked(true);  // a POP3 mailbox again
  EXPECT_EQ(imapEnabled(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(form->txtFolder->text(), "");
  form->Option1[0]->setChecked(true);
  EXPECT_EQ(imapEnabled(), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(form->txtFolder->text(), QString::fromUtf8("Arbeit/Büro"));
  Close(form);
  EXPECT_EQ(Key("MailBox0", "Protocol"), "1");
  EXPECT_EQ(Key("MailBox0", "Folder"), "Arbeit/B\xC3\xBCro");
  EXPECT_EQ(Key("MailBox0", "Push"), "0");
  EXPECT_EQ(Key("MailBox0", "MarkReadOnAck"), "1");
  for (const char* key : {"Protocol", "Folder", "Push", "MarkReadOnAck"}) {
    EXPECT_EQ(Key("MailBox1", key), std::nullopt) << "a POP3 mailbox gains no line: " << key;
  }
}

TEST_F(ConfigWindowTest, UnknownProtocolShowsNoEntryAndIsKept) {
  QFile file(ini_);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("[MailBox0]\r\nName=Box\r\nProtocol=7\r\nFolder=Sent\r\n");
  file.close();
  store_.LoadMailbox(state_.Mailboxes[0], 0);
  frmConfig* form = Open();
  EXPECT_EQ(form->cmbProtocol->currentIndex(), -1);
  EXPECT_FALSE(form->txtFolder->isEnabled());
  form->MailBoxName->setText("Renamed");
  Close(form);
  EXPECT_EQ(Key("MailBox0", "Protocol"), "7");
  EXPECT_EQ(Key("MailBox0", "Folder"), "Sent");
}

TEST_F(ConfigWindowTest, UnknownSecurityTextShowsNoEntryAndStaysUntilTheUserPicks) {
  for (const std::string raw : {"3", "-1", "tls", "ssl", "0x1"}) {
    SCOPED_TRACE(raw);
    QFile file(ini_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::fromStdString("[MailBox0]\r\nName=Box\r\nSecurity=" + raw + "\r\n"));
    file.close();
    store_.LoadMailbox(state_.Mailboxes[0], 0);

    // Ok after changing another field keeps the text as the file had it.
    frmConfig* form = Open();
    EXPECT_EQ(form->cmbSecurity->currentIndex(), -1);
    form->MailBoxName->setText("Renamed");
    Close(form);
    EXPECT_EQ(Key("MailBox0", "Name"), "Renamed");
    EXPECT_EQ(Key("MailBox0", "Security"), raw);

    // Only a choice the user makes replaces it.
    form = Open();
    EXPECT_EQ(form->cmbSecurity->currentIndex(), -1);
    form->cmbSecurity->setCurrentIndex(1);
    emit form->cmbSecurity->activated(1);
    Close(form);
    EXPECT_EQ(Key("MailBox0", "Security"), "1");
  }
}

// A server whose self-signed certificate holds markup in every name field: the question shows
// that markup as written, with the certificate's real fingerprint, and Yes stores that one.
TEST_F(ConfigWindowTest, TrustQuestionShowsCertificateNamesAsPlainText) {
  const test::TestCertificates certificates;
  if (!certificates.Ready()) GTEST_SKIP() << certificates.Failure();
  const test::CertificateFiles& marked = certificates.Marked();
  test::ScriptedPop3Server server([&marked](int) {
    return test::Pop3Script().StartTls({marked.Certificate, marked.Key}).Hold();
  });
  ASSERT_NE(server.Port(), 0);
  test::QtCheckRig rig;
  MailboxRecord& checked = rig.Enable(0, server.Port());
  checked.Security = 1;
  ASSERT_TRUE(rig.RunCycle());
  ASSERT_EQ(NormalizeFingerprint(checked.RejectedCertificate.Fingerprint),
            NormalizeFingerprint(marked.Fingerprint))
      << rig.Log();
  state_.Mailboxes[0].RejectedCertificate = checked.RejectedCertificate;

  frmConfig* form = Open();
  form->Option1[0]->setChecked(true);
  ASSERT_FALSE(form->cmdTrustCertificate->isHidden());
  Qt::TextFormat format = Qt::AutoText;
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    format = box->textFormat();
    shown = box->text();
    box->button(QMessageBox::Yes)->click();
  });
  form->cmdTrustCertificate->click();

  EXPECT_EQ(format, Qt::PlainText);
  for (const auto& [field, value] : test::kMarkupNames) {
    // Once in the subject, once in the issuer: it signed itself.
    const QString name = QString::fromStdString(field + "=" + value);
    EXPECT_EQ(shown.count(name), 2) << name.toStdString() << "\n" << shown.toStdString();
  }
  const std::string real = FingerprintWithColons(NormalizeFingerprint(marked.Fingerprint));
  EXPECT_TRUE(shown.contains(QString::fromStdString(real))) << shown.toStdString();
  Close(form);
  EXPECT_EQ(NormalizeFingerprint(Key("MailBox0", "CertFingerprint").value_or("")),
            NormalizeFingerprint(marked.Fingerprint));
  server.Stop();
}

TEST_F(ConfigWindowTest, TrustButtonShowsTheCertificateAndStoresItOnlyWhenConfirmed) {
  const std::string fingerprint(64, 'A');
  state_.Mailboxes[1].RejectedCertificate = {"CN=pop.test", "CN=Own CA", "2026-01-01 00:00:00 UTC",
                                             "2027-01-01 00:00:00 UTC", fingerprint};
  frmConfig* form = Open();
  EXPECT_TRUE(form->cmdTrustCertificate->isHidden());
  QString asked;
  std::deque<bool> answers = {false, true};
  form->ConfirmTrust = [&](QWidget*, const QString& details) {
    asked = details;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  };
  form->Option1[1]->setChecked(true);
  ASSERT_FALSE(form->cmdTrustCertificate->isHidden());
  EXPECT_EQ(form->cmdTrustCertificate->text().toStdString(),
            OwnString(900, OwnText::TrustCertificate));
  // Only on the mailboxes tab.
  form->TabStrip1->setCurrentIndex(1);
  EXPECT_TRUE(form->cmdTrustCertificate->isHidden());
  form->TabStrip1->setCurrentIndex(0);

  form->cmdTrustCertificate->click();
  for (const std::string& line : CertificateDetails(900, state_.Mailboxes[1].RejectedCertificate)) {
    EXPECT_TRUE(asked.contains(QString::fromStdString(line))) << line;
  }
  EXPECT_TRUE(state_.Mailboxes[1].CertFingerprint.empty());
  EXPECT_FALSE(Key("MailBox1", "CertFingerprint").has_value());
  EXPECT_FALSE(form->cmdTrustCertificate->isHidden());

  form->cmdTrustCertificate->click();
  EXPECT_EQ(state_.Mailboxes[1].CertFingerprint, fingerprint);
  EXPECT_EQ(Key("MailBox1", "CertFingerprint"), fingerprint);
  EXPECT_TRUE(form->cmdTrustCertificate->isHidden());
  // Mailbox 0 has nothing to trust.
  form->Option1[0]->setChecked(true);
  EXPECT_TRUE(form->cmdTrustCertificate->isHidden());
  delete form;
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
