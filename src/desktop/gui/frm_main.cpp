// Tray icons, menu and windows on Qt; every decision is the core's.
#include "desktop/gui/frm_main.h"

#include <QAction>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <functional>

#include "app/web_mail.h"
#include "desktop/gui/form_look.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui/frm_info.h"
#include "desktop/gui/frm_status.h"
#include "desktop/gui/icon_library.h"
#include "desktop/gui/widget_captions.h"

namespace postvane {

namespace {

constexpr int kIdlePicture = 101;
constexpr int kFirstMarkerPicture = 124;

void BringUp(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

frmMain::frmMain(ProgramState& state, FileSystem& files, Pickers& pickers, QWidget* parent)
    : QWidget(parent),
      state_(state),
      files_(files),
      pickers_(pickers),
      sysTray_(*this, kIdlePicture,
               [this](int index, QSystemTrayIcon::ActivationReason reason) {
                 SysTray_Activated(index, reason);
               }),
      tray_(sysTray_, kIdlePicture) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowIcon(ProgramIcon(1));
  // A mailbox's marker in the colour the user gave it; every other picture as drawn.
  sysTray_.SetMarkerColors([this](int iconId) {
    const int marker = iconId - kFirstMarkerPicture;
    return marker >= 0 && marker < kUserMailboxes
               ? QString::fromStdString(
                     state_.Mailboxes[static_cast<std::size_t>(marker)].MarkerColor)
               : QString();
  });
  tray_.SetTrayVisible(0, true);

  mnuSysTray_ = new QMenu(this);
  mnuSysTray_->setObjectName(QStringLiteral("mnuSysTray"));
  mnuSysTray_->setTitle(QStringLiteral("SysTray"));
  AddMenuEntry("mnuCheckNow", "res134", &PostvaneApp::StartCycle);
  AddMenuEntry("mnuMailReader", "res135", &PostvaneApp::OpenMailReader);
  AddMenuEntry("mnuStatus", "res136", &PostvaneApp::ShowStatus);
  mnuMdaemon_ = AddMenuEntry("mnuMdaemon", "res137", &PostvaneApp::RequestMDaemon);
  AddMenuEntry("mnuConfig", "res138", &PostvaneApp::ShowConfig);
  AddMenuEntry("mnuAbout", "res139", &PostvaneApp::ShowAbout);
  AddMenuEntry("mnuExit", "res140", &PostvaneApp::ExitProgram);
  connect(mnuSysTray_, &QMenu::aboutToShow, this, &frmMain::ShowWebMailEntries);

  // The tray timer is the core's to start: it runs only while the tray has work.
  timer_.Start();
}

frmMain::~frmMain() {
  // Windows go with the program without running their close handlers: nothing is saved.
  delete status_.data();
  delete config_.data();
  delete info_.data();
}

QAction* frmMain::AddMenuEntry(const char* name, const char* caption,
                               void (PostvaneApp::*handler)()) {
  QAction* action = mnuSysTray_->addAction(QString::fromLatin1(caption));
  action->setObjectName(QString::fromLatin1(name));
  // Called through std::invoke: GCC 12's AddressSanitizer reports a false stack read for a
  // member-pointer call written out in a slot lambda.
  connect(action, &QAction::triggered, this, [this, handler] {
    if (app_ != nullptr) std::invoke(handler, app_);
  });
  return action;
}

void frmMain::ShowWebMailEntries() {
  for (QAction* entry : webMailEntries_) delete entry;
  webMailEntries_.clear();
  QAction* before = MenuEntry(QStringLiteral("mnuStatus"));
  for (const WebMailEntry& entry : WebMailEntries(state_)) {
    // A mailbox name is plain text: an ampersand in it is no mnemonic.
    auto* action = new QAction(
        QString::fromStdString(entry.Caption).replace(QLatin1Char('&'), QStringLiteral("&&")),
        mnuSysTray_);
    action->setObjectName(QStringLiteral("mnuWebMail%1").arg(entry.Index));
    const int index = entry.Index;
    connect(action, &QAction::triggered, this, [this, index] {
      if (app_ != nullptr) app_->OpenWebMail(index);
    });
    mnuSysTray_->insertAction(before, action);
    webMailEntries_.push_back(action);
  }
}

AppPlatform frmMain::Platform() {
  AppPlatform platform{socket_,   timer_,       trayTimer_,     timeout_,  timerQuit_, clock_,
                       dateText_, files_,       tray_,          sound_,    programs_,  *this,
                       notices_,  &mailClient_, &doNotDisturb_, &browser_, &http_};
  platform.Push = &push_;
  return platform;
}

void frmMain::SysTray_Activated(int index, QSystemTrayIcon::ActivationReason reason) {
  if (app_ == nullptr || !ValidIndex(index)) return;
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      app_->OnTrayClick(index);
      break;
    case QSystemTrayIcon::Context:
      app_->OnTrayMenuRequest(index);
      break;
    case QSystemTrayIcon::DoubleClick:
      app_->OnTrayDoubleClick(index);
      break;
    default:
      break;
  }
}

QSystemTrayIcon* frmMain::SysTray(int index) const { return sysTray_.Icon(index); }

int frmMain::TrayPicture(int index) const { return tray_.Picture(index); }

QAction* frmMain::MenuEntry(const QString& name) const {
  for (QAction* action : mnuSysTray_->actions()) {
    if (action->objectName() == name) return action;
  }
  return nullptr;
}

void frmMain::LocalizeMainCaptions() { LocalizeWidgetCaptions(*this, state_.LanguageBase); }

void frmMain::ShowStatus() {
  if (app_ == nullptr) return;
  if (!status_) {
    status_ = new frmStatus(*app_);
    status_->Form_Load();
    CenterOnScreen(*status_);
  }
  BringUp(*status_);
}

void frmMain::ShowConfig() {
  if (app_ == nullptr) return;
  if (!config_) {
    config_ = new frmConfig(state_, app_->Settings(), pickers_, [this](bool visible) {
      SetMDaemonMenuVisible(visible);
      // Saved settings may change what the tray shows.
      if (app_ != nullptr) app_->TrayStateChanged();
    });
    connect(config_, &frmConfig::Unloaded, this, [this] {
      if (app_ != nullptr) app_->OnConfigClosed();
    });
    // The grey hint in the empty field: what runs while no mail program is set.
    config_->txtMailProgram->setPlaceholderText(QString::fromStdString(mailClient_.Name()));
    config_->Form_Load();
    CenterOnScreen(*config_);
  }
  BringUp(*config_);
}

void frmMain::ShowConfigOn(ConfigTab tab) {
  ShowConfig();
  if (config_) config_->ShowTab(static_cast<int>(tab));
}

void frmMain::ShowAbout() {
  if (!info_) {
    info_ = new frmInfo(state_.LanguageBase);
    info_->Form_Load();
    info_->ShowSettingsFile(state_.Paths.SettingsFile);
    CenterOnScreen(*info_);
  }
  BringUp(*info_);
}

void frmMain::ShowTrayMenu() { mnuSysTray_->popup(QCursor::pos()); }

void frmMain::SetMDaemonMenuVisible(bool visible) { mnuMdaemon_->setVisible(visible); }

void frmMain::ExitProgram() {
  ++exitRequests_;
  if (exitHandler_) exitHandler_();
}

}  // namespace postvane
