// The configuration dialog: three tabs of controls over the mailbox table and the general
// settings. Every way of closing it stores and saves what it shows.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "app/program_state.h"
#include "check/sign_in_flow.h"
#include "desktop/gui/pickers.h"
#include "desktop/gui/qt_web_browser.h"
#include "desktop/net/qt_http_client.h"
#include "desktop/net/qt_loopback_listener.h"
#include "desktop/net/qt_path_probe.h"
#include "settings/autostart_entry.h"
#include "settings/settings_store.h"
#include "settings/std_file_system.h"
#include "ui/config_form.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace postvane {

class frmConfig : public QWidget {
  Q_OBJECT

 public:
  // setMDaemonMenuVisible shows or hides the tray menu's MDaemon entry when the dialog closes.
  frmConfig(ProgramState& state, SettingsStore& store, Pickers& pickers,
            std::function<void(bool)> setMDaemonMenuVisible, QWidget* parent = nullptr);
  ~frmConfig() override;

  // Fills every control from memory; the caller shows the window afterwards.
  void Form_Load();

  int16_t ShownMailbox() const;
  // Icon number shown by pMailbox: 124 + the shown mailbox.
  int MailboxIconShown() const { return mailboxIcon_; }
  // The frame that is visible: 0 mailboxes, 1 general 1, 2 general 2.
  int VisibleFrame() const;
  // Selects a tab as a click on it would (0 mailboxes, 1 general 1, 2 general 2).
  void ShowTab(int index);

  // The controls, by the names the caption table and the tests know them by.
  QTabWidget* TabStrip1 = nullptr;
  QWidget* fraMailboxes = nullptr;
  QWidget* fraGeneral1 = nullptr;
  QWidget* fraGeneral2 = nullptr;
  QPushButton* cmdOk = nullptr;

  QGroupBox* Frame2 = nullptr;
  std::array<QRadioButton*, kUserMailboxes> Option1{};
  QLabel* pMailbox = nullptr;
  QLineEdit* MailBoxName = nullptr;
  QLineEdit* User = nullptr;
  QLineEdit* Password = nullptr;
  QLineEdit* RemoteHost = nullptr;
  QLineEdit* RemotePort = nullptr;
  QCheckBox* chkEnabled = nullptr;
  QCheckBox* chkLastMail = nullptr;
  QLabel* lblWebMail = nullptr;
  QLineEdit* txtWebMailUrl = nullptr;
  QLabel* lblMarkerColor = nullptr;
  QLineEdit* txtMarkerColor = nullptr;
  QLabel* lblSecurity = nullptr;
  QComboBox* cmbSecurity = nullptr;
  // Shown on the mailboxes tab while the shown mailbox's last check refused a certificate.
  QPushButton* cmdTrustCertificate = nullptr;
  // In the same place while the shown mailbox's security sends the password readable.
  QLabel* lblPlainPassword = nullptr;
  // Left of the picture: POP3 or IMAP. At the foot of the tab, what only IMAP has.
  QLabel* lblProtocol = nullptr;
  QComboBox* cmbProtocol = nullptr;
  QLabel* lblFolder = nullptr;
  QLineEdit* txtFolder = nullptr;
  QCheckBox* chkPush = nullptr;
  QCheckBox* chkMarkReadOnAck = nullptr;
  // Under those, how the mailbox signs in: the password or OAuth 2.0 at a provider.
  QLabel* lblAuth = nullptr;
  QComboBox* cmbAuth = nullptr;
  QPushButton* cmdSignIn = nullptr;
  QLabel* lblOAuthProvider = nullptr;
  QLineEdit* txtOAuthProvider = nullptr;
  QLabel* lblOAuthClientId = nullptr;
  QLineEdit* txtOAuthClientId = nullptr;
  QLabel* lblOAuthClientSecret = nullptr;
  QLineEdit* txtOAuthClientSecret = nullptr;
  // The outcome of the last sign-in, or why OAuth cannot be chosen; plain text.
  QLabel* lblSignInState = nullptr;

  // Where "Sign in…" sends the user; the desktop's browser unless replaced (tests fetch the
  // page themselves). Read when a sign-in starts.
  WebBrowser* SignInBrowser = nullptr;
  // How long a sign-in waits for the browser before it gives up; read at the first sign-in.
  int SignInGiveUpMs = kSignInGiveUpMs;
  // The progress window of the running sign-in; null when none runs.
  QProgressDialog* SignInProgress() const { return signInProgress_; }

  // Asks the user to confirm trusting a certificate, given its details; a message box unless
  // replaced (tests answer it themselves).
  std::function<bool(QWidget* parent, const QString& details)> ConfirmTrust;

  QLineEdit* txtInterval = nullptr;
  QCheckBox* chkAdvancedTrayIcon = nullptr;
  QComboBox* cmbDoubleClick = nullptr;
  QGroupBox* fraNotifyOptions = nullptr;
  QCheckBox* chkPlaySound = nullptr;
  QLineEdit* txtSoundFile = nullptr;
  QCheckBox* chkPopUpWindow = nullptr;
  QCheckBox* chkReplaySound = nullptr;
  QPushButton* cmdBrowseSound = nullptr;
  QCheckBox* chkRunMailReader = nullptr;
  QLineEdit* txtMailProgram = nullptr;
  QPushButton* cmdBrowseMailProgram = nullptr;

  QCheckBox* chkMDaemonActivate = nullptr;
  QPushButton* cmdMDaemonBrowse = nullptr;
  QLineEdit* txtMDaemonPath = nullptr;
  // The desktop's autostart entry; not a setting of the file.
  QCheckBox* chkStartWithDesktop = nullptr;
  // Ours: the fourth notify option; General 1's notify frame has no room left.
  QCheckBox* chkDesktopNotification = nullptr;
  // Ours: passwords in the desktop keyring; hidden in a build without keyring support.
  QCheckBox* chkKeyring = nullptr;
  QLabel* lblQuietFrom = nullptr;
  QLineEdit* txtQuietFrom = nullptr;
  QLabel* lblQuietTo = nullptr;
  QLineEdit* txtQuietTo = nullptr;

 signals:
  // Everything shown has been stored and saved; the dialog is about to go.
  void Unloaded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Enter acts on Ok, as in a dialog with a default button; on a focused button, on that one.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildMailboxesTab();
  void BuildGeneral1Tab();
  void BuildGeneral2Tab();

  void Option1_Click(int index);
  void TabStrip1_Click(int index);
  void chkPlaySound_Click();
  void cmdOk_Click();
  void cmdBrowseSound_Click();
  void cmdBrowseMailProgram_Click();
  void cmdMDaemonBrowse_Click();
  void cmbSecurity_Click(int index);
  void cmbProtocol_Click(int index);
  // The IMAP controls take input only while the protocol list shows IMAP.
  void UpdateImapControls();
  void UpdatePlainPasswordLine();
  void cmdTrustCertificate_Click();
  void cmbAuth_Click(int index);
  void cmdSignIn_Click();
  void SignInEnded(const SignInResult& result);
  void CloseSignInProgress();
  // The sign-in boxes take input only for OAuth, the password box only without it.
  void UpdateSignInControls();
  void UpdateTrustButton();
  void Form_Unload();

  ConfigMailboxFields ReadMailbox() const;
  void ShowMailboxFields(const ConfigMailboxFields& fields);
  ConfigGeneralFields ReadGeneral() const;
  void ShowGeneralFields(const ConfigGeneralFields& fields);

  ProgramState& state_;
  SettingsStore& store_;
  Pickers& pickers_;
  std::function<void(bool)> setMDaemonMenuVisible_;
  QtPathProbe userFolders_;
  StdFileSystem autostartFiles_;
  AutostartEntry autostart_;
  std::unique_ptr<ConfigForm> form_;
  // CommonDialog1: lives and dies with this opening of the dialog.
  FileOpenDialog commonDialog1_;
  QButtonGroup* mailboxSelector_ = nullptr;
  int mailboxIcon_ = 0;
  // The security entry before the latest change, for the port switch.
  int shownSecurity_ = 0;
  // Likewise the protocol entry (-1: a stored code the list cannot show).
  int shownProtocol_ = 0;
  bool unloaded_ = false;
  // The browser sign-in: its ports live as long as the dialog, the flow from the first click.
  QtWebBrowser desktopBrowser_;
  QtLoopbackListener signInListener_;
  std::unique_ptr<Timer> signInGiveUp_;
  std::unique_ptr<SignInFlow> signIn_;
  // Gone before the flow: a request it drops on the way can only reach a flow still there.
  QtHttpClient signInHttp_;
  QProgressDialog* signInProgress_ = nullptr;
};

}  // namespace postvane
