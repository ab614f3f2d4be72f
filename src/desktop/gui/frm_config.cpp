// Widgets of the configuration dialog at their fixed places; the rules are ConfigForm's.
#include "desktop/gui/frm_config.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "check/auth_method.h"
#include "check/mail_protocol.h"
#include "check/secure_failure_text.h"
#include "check/token_refresh.h"
#include "desktop/gui/caption_fit.h"
#include "desktop/gui/form_look.h"
#include "desktop/gui/icon_library.h"
#include "desktop/gui/password_style.h"
#include "desktop/gui/widget_captions.h"
#include "desktop/gui/wrapping_check_box.h"
#include "desktop/net/qt_text.h"
#include "desktop/net/qt_timer.h"
#include "text/own_text.h"

namespace postvane {

namespace {

constexpr int kClientWidth = 335;
// One row (28 pixels) added for the security row under the port; the rows above stay put.
constexpr int kExtraRow = 28;
// The IMAP rows at the foot of the mailboxes tab: the folder, push and marking read.
constexpr int kImapRows = 56;
// Below them the sign-in rows: the choice and the button, the provider, the client, the outcome.
constexpr int kSignInRows = 104;
constexpr int kClientHeight = 320 + kExtraRow + kImapRows + kSignInRows;
constexpr int kFrameHeight = 253 + kExtraRow + kImapRows + kSignInRows;
constexpr int kButtonRow = 294 + kExtraRow + kImapRows + kSignInRows;
constexpr int kFirstMailboxIcon = 124;
constexpr int kMailboxIconPixels = 32;

QString Q(const std::string& text) { return QString::fromStdString(text); }

template <typename W>
W* Place(W* widget, const char* name, int x, int y, int width, int height) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(x, y, width, height);
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int x, int y, int width,
                  int height) {
  auto* label = Place(new QLabel(QString::fromUtf8(caption), parent), name, x, y, width, height);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, int x, int y, int width, int height) {
  return Place(new QLineEdit(parent), name, x, y, width, height);
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const char* caption, int x, int y,
                        int width, int height) {
  return Place(new QCheckBox(QString::fromUtf8(caption), parent), name, x, y, width, height);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int x, int y,
                        int width, int height) {
  return Place(new QPushButton(QString::fromUtf8(caption), parent), name, x, y, width, height);
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const char* caption, int x, int y,
                     int width, int height) {
  return Place(new QGroupBox(QString::fromUtf8(caption), parent), name, x, y, width, height);
}

}  // namespace

frmConfig::frmConfig(ProgramState& state, SettingsStore& store, Pickers& pickers,
                     std::function<void(bool)> setMDaemonMenuVisible, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      state_(state),
      store_(store),
      pickers_(pickers),
      setMDaemonMenuVisible_(std::move(setMDaemonMenuVisible)),
      autostart_(userFolders_, autostartFiles_, JoinPath(state.Paths.ProgramFolder, "postvane")),
      commonDialog1_(pickers) {
  ConfirmTrust = [this](QWidget* parent, const QString& details) {
    const QString title = Q(OwnString(state_.LanguageBase, OwnText::ServerCertificate));
    QMessageBox box(QMessageBox::Question, title, details, QMessageBox::Yes | QMessageBox::No,
                    parent);
    // The details are the server's certificate: markup in its names must show as written,
    // never draw other names, dates or fingerprints.
    box.setTextFormat(Qt::PlainText);
    // "No" is the default: trusting must be a deliberate choice.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  };
  setObjectName(QStringLiteral("frmConfig"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("res132"));
  setWindowIcon(ProgramIcon(1));
  UseFormFont(*this);
  setFixedSize(kClientWidth, kClientHeight);

  TabStrip1 = Place(new QTabWidget(this), "TabStrip1", 7, 7, 323, 28 + kFrameHeight);
  for (const char* caption : {"res101", "res110", "res126"}) {
    TabStrip1->addTab(new QWidget(), QString::fromLatin1(caption));
  }

  // The three frames lie over the tab strip, not inside it, as siblings made after it.
  fraMailboxes = Place(new QWidget(this), "fraMailboxes", 14, 28, 309, kFrameHeight);
  fraGeneral1 = Place(new QWidget(this), "fraGeneral1", 14, 28, 309, kFrameHeight);
  fraGeneral2 = Place(new QWidget(this), "fraGeneral2", 14, 28, 309, kFrameHeight);
  BuildMailboxesTab();
  BuildGeneral1Tab();
  BuildGeneral2Tab();

  cmdOk = MakeButton(this, "cmdOk", "res131", 259, kButtonRow, 71, 22);
  cmdTrustCertificate = MakeButton(this, "cmdTrustCertificate", "", 7, kButtonRow, 190, 22);
  cmdTrustCertificate->setVisible(false);
  lblPlainPassword = MakeLabel(this, "lblPlainPassword", "", 7, kButtonRow - 2, 245, 26);
  lblPlainPassword->setWordWrap(true);
  lblPlainPassword->setVisible(false);
  cmdOk->setDefault(true);

  connect(TabStrip1, &QTabWidget::currentChanged, this, &frmConfig::TabStrip1_Click);
  connect(chkPlaySound, &QCheckBox::toggled, this, &frmConfig::chkPlaySound_Click);
  connect(cmdOk, &QPushButton::clicked, this, &frmConfig::cmdOk_Click);
  connect(cmdBrowseSound, &QPushButton::clicked, this, &frmConfig::cmdBrowseSound_Click);
  connect(cmdBrowseMailProgram, &QPushButton::clicked, this,
          &frmConfig::cmdBrowseMailProgram_Click);
  connect(cmdMDaemonBrowse, &QPushButton::clicked, this, &frmConfig::cmdMDaemonBrowse_Click);
  connect(cmbSecurity, &QComboBox::activated, this, &frmConfig::cmbSecurity_Click);
  connect(cmbProtocol, &QComboBox::activated, this, &frmConfig::cmbProtocol_Click);
  connect(cmdTrustCertificate, &QPushButton::clicked, this, &frmConfig::cmdTrustCertificate_Click);
  connect(cmbAuth, &QComboBox::activated, this, &frmConfig::cmbAuth_Click);
  connect(cmdSignIn, &QPushButton::clicked, this, &frmConfig::cmdSignIn_Click);
  SignInBrowser = &desktopBrowser_;
  connect(mailboxSelector_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) Option1_Click(id);
  });
}

frmConfig::~frmConfig() = default;

void frmConfig::BuildMailboxesTab() {
  QWidget* f = fraMailboxes;
  Frame2 = MakeFrame(f, "Frame2", "res102", 7, 14, 85, 232);
  mailboxSelector_ = new QButtonGroup(this);
  for (int i = 0; i < kUserMailboxes; ++i) {
    auto* option = new QRadioButton(QString::number(i + 1), Frame2);
    option->setObjectName(QStringLiteral("Option1_%1").arg(i));
    option->setGeometry(14, 21 + 21 * i, 64, 15);
    mailboxSelector_->addButton(option, i);
    Option1[static_cast<std::size_t>(i)] = option;
  }
  pMailbox = Place(new QLabel(f), "pMailbox", 182, 28, 36, 36);
  pMailbox->setAlignment(Qt::AlignCenter);
  // Left of the mailbox's picture: the protocol decides what the other boxes mean.
  lblProtocol = MakeLabel(f, "lblProtocol", "", 105, 28, 75, 15);
  cmbProtocol = Place(new QComboBox(f), "cmbProtocol", 105, 45, 73, 21);
  cmbProtocol->setEditable(false);
  // Right of it, the other free place on this tab.
  lblWebMail = MakeLabel(f, "lblWebMail", "", 224, 28, 75, 15);
  txtWebMailUrl = MakeTextBox(f, "txtWebMailUrl", 224, 45, 71, 19);
  // Under the mailbox list: the marker colour, "#rrggbb".
  lblMarkerColor = MakeLabel(f, "lblMarkerColor", "", 7, 254, 38, 15);
  txtMarkerColor = MakeTextBox(f, "txtMarkerColor", 45, 252, 52, 19);

  MakeLabel(f, "Label5", "res103", 105, 77, 85, 15);
  MailBoxName = MakeTextBox(f, "MailBoxName", 182, 77, 113, 19);
  MakeLabel(f, "Label1", "res104", 105, 105, 85, 15);
  User = MakeTextBox(f, "User", 182, 105, 113, 19);
  MakeLabel(f, "Label2", "res105", 105, 133, 92, 15);
  Password = MakeTextBox(f, "Password", 182, 133, 113, 19);
  auto* passwordStyle = new PasswordStyle();
  passwordStyle->setParent(Password);
  Password->setStyle(passwordStyle);
  Password->setEchoMode(QLineEdit::Password);
  MakeLabel(f, "Label3", "res106", 105, 161, 85, 15);
  RemoteHost = MakeTextBox(f, "RemoteHost", 182, 161, 113, 19);
  MakeLabel(f, "Label4", "res107", 105, 189, 92, 15);
  RemotePort = MakeTextBox(f, "RemotePort", 182, 189, 36, 19);
  MakeLabel(f, "Label6", "res108", 224, 192, 51, 15);
  chkEnabled = MakeCheckBox(f, "chkEnabled", "", 280, 192, 15, 15);
  lblSecurity = MakeLabel(f, "lblSecurity", "", 105, 220, 75, 15);
  cmbSecurity = Place(new QComboBox(f), "cmbSecurity", 182, 217, 113, 21);
  cmbSecurity->setEditable(false);
  QLabel* label10 = MakeLabel(f, "Label10", "res109", 104, 217 + kExtraRow, 167, 29);
  label10->setWordWrap(true);
  label10->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  chkLastMail = MakeCheckBox(f, "chkLastMail", "", 280, 224 + kExtraRow, 15, 15);
  // What only an IMAP mailbox has, below everything else.
  constexpr int kImapTop = 252 + kExtraRow;
  lblFolder = MakeLabel(f, "lblFolder", "", 105, kImapTop + 3, 75, 15);
  txtFolder = MakeTextBox(f, "txtFolder", 182, kImapTop, 113, 19);
  // The folder an empty box watches.
  txtFolder->setPlaceholderText(QStringLiteral("INBOX"));
  chkPush = MakeCheckBox(f, "chkPush", "", 7, kImapTop + 24, 288, 15);
  chkMarkReadOnAck = MakeCheckBox(f, "chkMarkReadOnAck", "", 7, kImapTop + 41, 288, 15);
  // How the mailbox signs in, at the foot.
  constexpr int kSignInTop = kImapTop + 64;
  lblAuth = MakeLabel(f, "lblAuth", "", 7, kSignInTop + 3, 72, 15);
  cmbAuth = Place(new QComboBox(f), "cmbAuth", 80, kSignInTop, 100, 21);
  cmbAuth->setEditable(false);
  cmdSignIn = MakeButton(f, "cmdSignIn", "", 186, kSignInTop - 1, 109, 22);
  lblOAuthProvider = MakeLabel(f, "lblOAuthProvider", "", 7, kSignInTop + 28, 72, 15);
  txtOAuthProvider = MakeTextBox(f, "txtOAuthProvider", 80, kSignInTop + 26, 215, 19);
  // The two presets; any other provider by its issuer address.
  txtOAuthProvider->setPlaceholderText(QStringLiteral("google, microsoft, https://…"));
  lblOAuthClientId = MakeLabel(f, "lblOAuthClientId", "", 7, kSignInTop + 52, 72, 15);
  txtOAuthClientId = MakeTextBox(f, "txtOAuthClientId", 80, kSignInTop + 50, 95, 19);
  lblOAuthClientSecret = MakeLabel(f, "lblOAuthClientSecret", "", 180, kSignInTop + 52, 55, 15);
  txtOAuthClientSecret = MakeTextBox(f, "txtOAuthClientSecret", 236, kSignInTop + 50, 59, 19);
  txtOAuthClientSecret->setEchoMode(QLineEdit::Password);
  lblSignInState = MakeLabel(f, "lblSignInState", "", 7, kSignInTop + 73, 288, 28);
  lblSignInState->setWordWrap(true);
  lblSignInState->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void frmConfig::BuildGeneral1Tab() {
  QWidget* f = fraGeneral1;
  QGroupBox* frame6 = MakeFrame(f, "Frame6", "res111", 7, 14, 134, 36);
  MakeLabel(frame6, "Label7", "res112", 7, 14, 43, 15);
  txtInterval = MakeTextBox(frame6, "txtInterval", 56, 14, 29, 16);
  MakeLabel(frame6, "Label8", "min.", 91, 14, 36, 15);

  QGroupBox* frame5 = MakeFrame(f, "Frame5", "res113", 161, 14, 141, 36);
  chkAdvancedTrayIcon = MakeCheckBox(frame5, "chkAdvancedTrayIcon", "res114", 7, 14, 113, 15);

  QGroupBox* frame3 = MakeFrame(f, "Frame3", "res115", 7, 56, 295, 50);
  cmbDoubleClick = Place(new QComboBox(frame3), "cmbDoubleClick", 7, 21, 281, 21);
  cmbDoubleClick->setEditable(false);
  for (const char* item : {"res122", "res123", "res124"}) {
    cmbDoubleClick->addItem(QString::fromLatin1(item));
  }

  fraNotifyOptions = MakeFrame(f, "Frame4", "res116", 8, 112, 295, 85);
  QGroupBox* notify = fraNotifyOptions;
  chkPlaySound = MakeCheckBox(notify, "chkPlaySound", "res117", 14, 21, 99, 15);
  txtSoundFile = MakeTextBox(notify, "txtSoundFile", 133, 21, 155, 16);
  chkPopUpWindow = MakeCheckBox(notify, "chkPopUpWindow", "res118", 14, 42, 197, 15);
  chkReplaySound = Place(new WrappingCheckBox(QStringLiteral("res164"), notify), "chkReplaySound",
                         133, 42, 78, 36);
  cmdBrowseSound = MakeButton(notify, "cmdBrowseSound", "res120", 217, 42, 71, 22);
  chkRunMailReader = MakeCheckBox(notify, "chkRunMailReader", "res119", 14, 63, 120, 15);

  QGroupBox* frame1 = MakeFrame(f, "Frame1", "res121", 7, 203, 295, 43);
  txtMailProgram = MakeTextBox(frame1, "txtMailProgram", 7, 21, 204, 16);
  cmdBrowseMailProgram = MakeButton(frame1, "cmdBrowseMailProgram", "res125", 217, 14, 71, 22);
}

void frmConfig::BuildGeneral2Tab() {
  QWidget* f = fraGeneral2;
  QGroupBox* frame7 = MakeFrame(f, "Frame7", "res127", 7, 14, 295, 99);
  chkMDaemonActivate = MakeCheckBox(frame7, "chkMDaemonActivate", "res128", 14, 21, 162, 22);
  cmdMDaemonBrowse = MakeButton(frame7, "cmdMDaemonBrowse", "res130", 196, 42, 85, 22);
  MakeLabel(frame7, "Label9", "res129", 14, 49, 134, 15);
  txtMDaemonPath = MakeTextBox(frame7, "txtMDaemonPath", 14, 70, 267, 18);

  // Below the MDaemon frame, in the tab's free space.
  chkStartWithDesktop = MakeCheckBox(f, "chkStartWithDesktop", "", 14, 126, 281, 15);
  chkDesktopNotification = MakeCheckBox(f, "chkDesktopNotification", "", 14, 147, 281, 15);
  chkKeyring = MakeCheckBox(f, "chkKeyring", "", 14, 168, 281, 15);
#ifndef POSTVANE_HAVE_KEYCHAIN
  chkKeyring->hide();
#endif
  lblQuietFrom = MakeLabel(f, "lblQuietFrom", "", 14, 194, 96, 15);
  txtQuietFrom = MakeTextBox(f, "txtQuietFrom", 112, 192, 44, 19);
  lblQuietTo = MakeLabel(f, "lblQuietTo", "", 162, 194, 40, 15);
  txtQuietTo = MakeTextBox(f, "txtQuietTo", 204, 192, 44, 19);
}

void frmConfig::Form_Load() {
  LocalizeWidgetCaptions(*this, state_.LanguageBase);
  const int16_t language = state_.LanguageBase;
  lblSecurity->setText(Q(OwnString(language, OwnText::Security)) + QLatin1Char(':'));
  cmbSecurity->clear();
  for (const OwnText entry :
       {OwnText::SecurityNone, OwnText::SecurityTls, OwnText::SecurityStartTls}) {
    cmbSecurity->addItem(Q(OwnString(language, entry)));
  }
  cmdTrustCertificate->setText(Q(OwnString(language, OwnText::TrustCertificate)));
  lblPlainPassword->setText(Q(OwnString(language, OwnText::PasswordSentUnencrypted)));
  lblWebMail->setText(Q(OwnString(language, OwnText::WebMailAddress)));
  lblProtocol->setText(Q(OwnString(language, OwnText::Protocol)));
  cmbProtocol->clear();
  for (const OwnText entry : {OwnText::ProtocolPop3, OwnText::ProtocolImap}) {
    cmbProtocol->addItem(Q(OwnString(language, entry)));
  }
  lblFolder->setText(Q(OwnString(language, OwnText::Folder)));
  chkPush->setText(ToQt(OwnString(language, OwnText::Push)));
  chkMarkReadOnAck->setText(ToQt(OwnString(language, OwnText::MarkReadOnAck)));
  lblAuth->setText(Q(OwnString(language, OwnText::AuthChoice)));
  cmbAuth->clear();
  for (const OwnText entry : {OwnText::AuthPassword, OwnText::AuthOAuth}) {
    cmbAuth->addItem(Q(OwnString(language, entry)));
  }
  cmdSignIn->setText(Q(OwnString(language, OwnText::SignInButton)));
  lblOAuthProvider->setText(Q(OwnString(language, OwnText::OAuthProviderLabel)));
  lblOAuthClientId->setText(Q(OwnString(language, OwnText::OAuthClientIdLabel)));
  lblOAuthClientSecret->setText(Q(OwnString(language, OwnText::OAuthClientSecretLabel)));
  lblMarkerColor->setText(Q(OwnString(language, OwnText::MarkerColor)));
  chkStartWithDesktop->setText(ToQt(OwnString(language, OwnText::StartWithDesktop)));
  chkDesktopNotification->setText(ToQt(OwnString(language, OwnText::DesktopNotification)));
  chkKeyring->setText(ToQt(OwnString(language, OwnText::KeepPasswordsInKeyring)));
  lblQuietFrom->setText(Q(OwnString(language, OwnText::QuietFrom)));
  lblQuietTo->setText(Q(OwnString(language, OwnText::QuietTo)));
  // Once every caption, the security controls' too, is in the user's language.
  FitCaptions(*this);
  form_ = std::make_unique<ConfigForm>(state_.Mailboxes, state_.General, store_, &autostart_);
  // This front end's socket speaks TLS.
  form_->NewMailboxesStartSecure(true);
  // Selecting the first option button runs Option1_Click, which shows mailbox 0.
  if (Option1[0]->isChecked()) {
    Option1_Click(0);
  } else {
    Option1[0]->setChecked(true);
  }
  TabStrip1->setCurrentIndex(0);
  TabStrip1_Click(0);
  ShowGeneralFields(form_->LoadGeneral());
}

int16_t frmConfig::ShownMailbox() const { return form_ ? form_->ShownMailbox() : -1; }

int frmConfig::VisibleFrame() const {
  if (!fraMailboxes->isHidden()) return 0;
  if (!fraGeneral1->isHidden()) return 1;
  if (!fraGeneral2->isHidden()) return 2;
  return -1;
}

void frmConfig::Option1_Click(int index) {
  if (!form_) return;
  // A sign-in belongs to the mailbox it was started for.
  if (signIn_) signIn_->Cancel();
  CloseSignInProgress();
  lblSignInState->clear();
  const ConfigMailboxFields next = form_->SelectMailbox(static_cast<int16_t>(index), ReadMailbox());
  ShowMailboxFields(next);
  mailboxIcon_ = kFirstMailboxIcon + form_->ShownMailbox();
  pMailbox->setPixmap(IconPixmap(mailboxIcon_, kMailboxIconPixels, devicePixelRatioF()));
}

void frmConfig::ShowTab(int index) {
  if (index < 0 || index >= TabStrip1->count()) return;
  TabStrip1->setCurrentIndex(index);
}

void frmConfig::TabStrip1_Click(int index) {
  fraMailboxes->setVisible(index == 0);
  fraGeneral1->setVisible(index == 1);
  fraGeneral2->setVisible(index == 2);
  UpdateTrustButton();
}

void frmConfig::cmbSecurity_Click(int index) {
  RemotePort->setText(Q(PortForChoice(shownProtocol_, shownSecurity_, shownProtocol_, index,
                                      ToStd(RemotePort->text()))));
  shownSecurity_ = index;
  UpdatePlainPasswordLine();
  UpdateSignInControls();
}

void frmConfig::cmbProtocol_Click(int index) {
  RemotePort->setText(Q(PortForChoice(shownProtocol_, shownSecurity_, index, shownSecurity_,
                                      ToStd(RemotePort->text()))));
  shownProtocol_ = index;
  UpdateImapControls();
}

void frmConfig::UpdateImapControls() {
  const bool imap = shownProtocol_ == static_cast<int>(MailProtocol::Imap);
  for (QWidget* control :
       {static_cast<QWidget*>(lblFolder), static_cast<QWidget*>(txtFolder),
        static_cast<QWidget*>(chkPush), static_cast<QWidget*>(chkMarkReadOnAck)}) {
    control->setEnabled(imap);
  }
}

void frmConfig::UpdatePlainPasswordLine() {
  lblPlainPassword->setVisible(TabStrip1->currentIndex() == 0 &&
                               PasswordSentInClear(cmbSecurity->currentIndex()) &&
                               cmdTrustCertificate->isHidden());
}

void frmConfig::UpdateTrustButton() {
  const int16_t shown = ShownMailbox();
  const bool possible = shown >= 0 && shown < kUserMailboxes && TabStrip1->currentIndex() == 0 &&
                        CanTrustCertificate(state_.Mailboxes[static_cast<std::size_t>(shown)]);
  cmdTrustCertificate->setVisible(possible);
  UpdatePlainPasswordLine();
}

void frmConfig::cmdTrustCertificate_Click() {
  const int16_t shown = ShownMailbox();
  if (!form_ || shown < 0 || shown >= kUserMailboxes) return;
  const MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(shown)];
  if (!CanTrustCertificate(record)) return;
  const int16_t language = state_.LanguageBase;
  QStringList lines;
  for (const std::string& line : CertificateDetails(language, record.RejectedCertificate)) {
    lines << Q(line);
  }
  const QString details = lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") +
                          Q(OwnString(language, OwnText::TrustCertificateQuestion));
  const bool confirmed = ConfirmTrust ? ConfirmTrust(this, details) : false;
  if (confirmed) form_->TrustRejectedCertificate(ReadMailbox());
  UpdateTrustButton();
}

void frmConfig::cmbAuth_Click(int index) {
  // OAuth over a plain connection is refused here, not only at check time.
  if (index == static_cast<int>(AuthMethod::OAuth) && !OAuthAllowed(cmbSecurity->currentIndex())) {
    cmbAuth->setCurrentIndex(static_cast<int>(AuthMethod::Password));
  }
  UpdateSignInControls();
  if (index == static_cast<int>(AuthMethod::OAuth) && !OAuthAllowed(cmbSecurity->currentIndex())) {
    lblSignInState->setText(Q(OwnString(state_.LanguageBase, OwnText::OAuthNeedsSecureConnection)));
  }
}

void frmConfig::UpdateSignInControls() {
  const bool oauth = cmbAuth->currentIndex() == static_cast<int>(AuthMethod::OAuth);
  const bool allowed = OAuthAllowed(cmbSecurity->currentIndex());
  // Not needed for an OAuth mailbox; the stored password stays as it is.
  Password->setEnabled(!oauth);
  for (QWidget* control :
       {static_cast<QWidget*>(lblOAuthProvider), static_cast<QWidget*>(txtOAuthProvider),
        static_cast<QWidget*>(lblOAuthClientId), static_cast<QWidget*>(txtOAuthClientId),
        static_cast<QWidget*>(lblOAuthClientSecret), static_cast<QWidget*>(txtOAuthClientSecret)}) {
    control->setEnabled(oauth);
  }
  cmdSignIn->setEnabled(oauth && allowed);
  if (oauth && !allowed) {
    lblSignInState->setText(Q(OwnString(state_.LanguageBase, OwnText::OAuthNeedsSecureConnection)));
  }
}

void frmConfig::cmdSignIn_Click() {
  if (!form_ || (signIn_ && signIn_->Running())) return;
  const int16_t language = state_.LanguageBase;
  if (cmbAuth->currentIndex() != static_cast<int>(AuthMethod::OAuth)) return;
  if (!OAuthAllowed(cmbSecurity->currentIndex())) {
    lblSignInState->setText(Q(OwnString(language, OwnText::OAuthNeedsSecureConnection)));
    return;
  }
  if (!signIn_) {
    signInGiveUp_ = std::make_unique<QtTimer>(SignInGiveUpMs);
    signIn_ = std::make_unique<SignInFlow>(signInHttp_, signInListener_, *SignInBrowser,
                                           *signInGiveUp_, language, SteadySeconds);
  }
  lblSignInState->clear();
  signInProgress_ = new QProgressDialog(Q(OwnString(language, OwnText::SigningIn)),
                                        Q(OwnString(language, OwnText::CancelButton)), 0, 0, this);
  signInProgress_->setObjectName(QStringLiteral("SignInProgress"));
  signInProgress_->setWindowTitle(Q(OwnString(language, OwnText::SignInButton)));
  signInProgress_->setWindowModality(Qt::WindowModal);
  signInProgress_->setMinimumDuration(0);
  signInProgress_->setAutoClose(false);
  signInProgress_->setAutoReset(false);
  connect(signInProgress_, &QProgressDialog::canceled, this, [this] {
    if (signIn_) signIn_->Cancel();
    CloseSignInProgress();
  });
  signInProgress_->show();
  // Typed values, whether or not they are saved yet; the user name hints the account.
  signIn_->Start(ToStd(txtOAuthProvider->text().trimmed()),
                 ToStd(txtOAuthClientId->text().trimmed()),
                 ToStd(txtOAuthClientSecret->text().trimmed()), ToStd(User->text().trimmed()),
                 [this](const SignInResult& result) { SignInEnded(result); });
}

void frmConfig::SignInEnded(const SignInResult& result) {
  CloseSignInProgress();
  const int16_t language = state_.LanguageBase;
  if (result.SignedIn) {
    // Stored at once: the token is never lost to a dialog closed in some other way.
    const bool stored = form_ && form_->StoreRefreshToken(result.RefreshToken);
    lblSignInState->setText(
        Q(OwnString(language, stored ? OwnText::SignedIn : OwnText::SignInNotSaved)));
    return;
  }
  // The provider's reason comes from outside: the label shows it as plain text.
  lblSignInState->setText(Q(result.Problem));
}

void frmConfig::CloseSignInProgress() {
  if (signInProgress_ == nullptr) return;
  QProgressDialog* progress = signInProgress_;
  signInProgress_ = nullptr;
  progress->disconnect(this);
  progress->hide();
  progress->deleteLater();
}

void frmConfig::chkPlaySound_Click() {
  chkReplaySound->setEnabled(ReplaySoundEnabled(chkPlaySound->isChecked()));
}

void frmConfig::cmdOk_Click() { close(); }

void frmConfig::cmdBrowseSound_Click() {
  commonDialog1_.InitDir = Q(state_.Paths.ProgramFolder);
  commonDialog1_.Filter = SoundsFilter(state_.LanguageBase);
  commonDialog1_.ShowOpen(this);
  txtSoundFile->setText(commonDialog1_.FileName);
}

void frmConfig::cmdBrowseMailProgram_Click() {
  commonDialog1_.InitDir = Q(state_.Paths.ProgramFolder);
  commonDialog1_.Filter = ProgramsFilter(state_.LanguageBase);
  commonDialog1_.ShowOpen(this);
  txtMailProgram->setText(commonDialog1_.FileName);
}

void frmConfig::cmdMDaemonBrowse_Click() {
  txtMDaemonPath->setText(pickers_.BrowseForFolder(this, FolderPrompt()));
}

void frmConfig::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void frmConfig::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (!enter || modifiers != Qt::NoModifier) {
    QWidget::keyPressEvent(event);
    return;
  }
  // Text boxes, check boxes and the closed list pass Enter on to here.
  auto* button = qobject_cast<QPushButton*>(focusWidget());
  (button != nullptr && button->isEnabled() ? button : cmdOk)->click();
  event->accept();
}

void frmConfig::Form_Unload() {
  if (unloaded_ || !form_) return;
  unloaded_ = true;
  if (signIn_) signIn_->Cancel();
  CloseSignInProgress();
  const bool mdaemonEntry = form_->SaveOnClose(ReadMailbox(), ReadGeneral());
  if (setMDaemonMenuVisible_) setMDaemonMenuVisible_(mdaemonEntry);
  emit Unloaded();
}

ConfigMailboxFields frmConfig::ReadMailbox() const {
  ConfigMailboxFields fields;
  fields.Name = ToStd(MailBoxName->text());
  fields.User = ToStd(User->text());
  fields.Password = ToStd(Password->text());
  fields.RemoteHost = ToStd(RemoteHost->text());
  fields.RemotePort = ToStd(RemotePort->text());
  fields.Enabled = chkEnabled->isChecked();
  fields.LastMail = chkLastMail->isChecked();
  // An entry the list cannot show stays unselected, and the stored code is kept.
  fields.Security = cmbSecurity->currentIndex();
  fields.WebMailUrl = ToStd(txtWebMailUrl->text());
  fields.MarkerColor = ToStd(txtMarkerColor->text());
  // No entry selected (a stored code the list cannot show) keeps that code.
  fields.Protocol = cmbProtocol->currentIndex();
  fields.Folder = ToStd(txtFolder->text());
  fields.Push = chkPush->isChecked();
  fields.MarkReadOnAck = chkMarkReadOnAck->isChecked();
  // No entry selected (a stored code the list cannot show) keeps that code.
  fields.Auth = cmbAuth->currentIndex();
  fields.OAuthProvider = ToStd(txtOAuthProvider->text());
  fields.OAuthClientId = ToStd(txtOAuthClientId->text());
  fields.OAuthClientSecret = ToStd(txtOAuthClientSecret->text());
  return fields;
}

void frmConfig::ShowMailboxFields(const ConfigMailboxFields& fields) {
  MailBoxName->setText(Q(fields.Name));
  User->setText(Q(fields.User));
  Password->setText(Q(fields.Password));
  RemoteHost->setText(Q(fields.RemoteHost));
  RemotePort->setText(Q(fields.RemotePort));
  chkEnabled->setChecked(fields.Enabled);
  chkLastMail->setChecked(fields.LastMail);
  cmbSecurity->setCurrentIndex(fields.Security);
  shownSecurity_ = fields.Security;
  txtWebMailUrl->setText(Q(fields.WebMailUrl.value_or("")));
  txtMarkerColor->setText(Q(fields.MarkerColor.value_or("")));
  shownProtocol_ = fields.Protocol.value_or(0);
  cmbProtocol->setCurrentIndex(shownProtocol_);
  txtFolder->setText(Q(fields.Folder.value_or("")));
  chkPush->setChecked(fields.Push.value_or(true));
  chkMarkReadOnAck->setChecked(fields.MarkReadOnAck.value_or(false));
  cmbAuth->setCurrentIndex(fields.Auth.value_or(0));
  txtOAuthProvider->setText(Q(fields.OAuthProvider.value_or("")));
  txtOAuthClientId->setText(Q(fields.OAuthClientId.value_or("")));
  txtOAuthClientSecret->setText(Q(fields.OAuthClientSecret.value_or("")));
  UpdateImapControls();
  UpdateSignInControls();
  UpdateTrustButton();
}

ConfigGeneralFields frmConfig::ReadGeneral() const {
  ConfigGeneralFields fields;
  fields.Interval = ToStd(txtInterval->text());
  fields.DoubleClick = cmbDoubleClick->currentIndex();
  fields.AdvancedTrayIcon = chkAdvancedTrayIcon->isChecked();
  fields.PlaySound = chkPlaySound->isChecked();
  fields.ReplaySound = chkReplaySound->isChecked();
  fields.PopUpWindow = chkPopUpWindow->isChecked();
  fields.RunMailReader = chkRunMailReader->isChecked();
  fields.MailProgram = ToStd(txtMailProgram->text());
  fields.SoundFile = ToStd(txtSoundFile->text());
  fields.MDaemonPath = ToStd(txtMDaemonPath->text());
  fields.MDaemonActivate = chkMDaemonActivate->isChecked();
  fields.StartWithDesktop = chkStartWithDesktop->isChecked();
  fields.DesktopNotification = chkDesktopNotification->isChecked();
  fields.Keyring = chkKeyring->isChecked();
  fields.QuietFrom = ToStd(txtQuietFrom->text());
  fields.QuietTo = ToStd(txtQuietTo->text());
  return fields;
}

void frmConfig::ShowGeneralFields(const ConfigGeneralFields& fields) {
  txtInterval->setText(Q(fields.Interval));
  cmbDoubleClick->setCurrentIndex(fields.DoubleClick);
  chkAdvancedTrayIcon->setChecked(fields.AdvancedTrayIcon);
  chkPlaySound->setChecked(fields.PlaySound);
  chkReplaySound->setChecked(fields.ReplaySound);
  chkPlaySound_Click();
  chkPopUpWindow->setChecked(fields.PopUpWindow);
  chkRunMailReader->setChecked(fields.RunMailReader);
  txtMailProgram->setText(Q(fields.MailProgram));
  txtSoundFile->setText(Q(fields.SoundFile));
  txtMDaemonPath->setText(Q(fields.MDaemonPath));
  chkMDaemonActivate->setChecked(fields.MDaemonActivate);
  chkStartWithDesktop->setChecked(fields.StartWithDesktop);
  chkDesktopNotification->setChecked(fields.DesktopNotification);
  chkKeyring->setChecked(fields.Keyring);
  txtQuietFrom->setText(Q(fields.QuietFrom.value_or("")));
  txtQuietTo->setText(Q(fields.QuietTo.value_or("")));
}

}  // namespace postvane
