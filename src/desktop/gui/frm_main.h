// The hidden main window: it owns the ten tray icons, the four timers, the socket and the tray
// menu, stands in for the platform behind the core's interfaces, and forwards every tray and
// menu event to the core.
#pragma once

#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>
#include <array>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/postvane_app.h"
#include "app/program_state.h"
#include "app/push_watches.h"
#include "check/check_time_limit.h"
#include "check/silent_server_guard.h"
#include "desktop/gui/dbus_desktop_notifier.h"
#include "desktop/gui/desktop_do_not_disturb.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui/frm_info.h"
#include "desktop/gui/frm_status.h"
#include "desktop/gui/pickers.h"
#include "desktop/gui/qt_date_text.h"
#include "desktop/gui/qt_program_starter.h"
#include "desktop/gui/qt_sound_player.h"
#include "desktop/gui/qt_tray_icons.h"
#include "desktop/gui/qt_web_browser.h"
#include "desktop/gui/xdg_mail_client.h"
#include "desktop/net/minute_timer_ms.h"
#include "desktop/net/qt_clock.h"
#include "desktop/net/qt_http_client.h"
#include "desktop/net/qt_path_probe.h"
#include "desktop/net/qt_socket.h"
#include "desktop/net/qt_timer.h"
#include "ports/file_system.h"
#include "ports/forms.h"
#include "ports/tray_icons.h"
#include "text/own_text.h"
#include "ui/tray_icon_cache.h"

class QAction;
class QMenu;

namespace postvane {

class frmMain : public QWidget, public Forms {
  Q_OBJECT

 public:
  // Creates the icons (picture 101, no tool tip, icon 0 visible) and the menu, and starts the
  // minute timer: it runs from the moment the window exists. The tray timer is the core's.
  frmMain(ProgramState& state, FileSystem& files, Pickers& pickers, QWidget* parent = nullptr);
  ~frmMain() override;

  // Everything the core reaches the platform through.
  AppPlatform Platform();
  // The core that events go to; until then events are dropped.
  void Attach(PostvaneApp* app) { app_ = app; }
  // What ExitProgram does; by default it only counts (tests), the program ends the process.
  void SetExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }

  // The tray icons as the core sets them.
  TrayIconCache& Tray() { return tray_; }

  // Windows
  void LocalizeMainCaptions() override;
  void ShowStatus() override;
  void ShowConfig() override;
  void ShowConfigOn(ConfigTab tab) override;
  void ShowAbout() override;
  void ShowTrayMenu() override;
  void SetMDaemonMenuVisible(bool visible) override;
  void ExitProgram() override;

  // For tests and the screenshots: what the tray and the windows show.
  QSystemTrayIcon* SysTray(int index) const;
  int TrayPicture(int index) const;
  QMenu* mnuSysTray() const { return mnuSysTray_; }
  QAction* MenuEntry(const QString& name) const;
  frmStatus* StatusWindow() const { return status_; }
  frmConfig* ConfigWindow() const { return config_; }
  frmInfo* InfoWindow() const { return info_; }
  int ExitRequests() const { return exitRequests_; }
  // Counts of pictures and tool tips actually handed to the tray icons.
  int TrayWrites() const { return tray_.Writes(); }

  // The tray events, as the icons deliver them.
  void SysTray_Activated(int index, QSystemTrayIcon::ActivationReason reason);

 private:
  QAction* AddMenuEntry(const char* name, const char* caption, void (PostvaneApp::*handler)());
  void ShowWebMailEntries();
  bool ValidIndex(int index) const { return index >= 0 && index < kTrayIcons; }

  ProgramState& state_;
  FileSystem& files_;
  Pickers& pickers_;
  PostvaneApp* app_ = nullptr;

  QtSocket winsock1_;
  QtTimer timer_{MinuteTimerMs()};
  QtTimer trayTimer_{kTrayTimerMs};
  QtTimer timeout_{kConnectTimeoutMs};
  QtTimer timerQuit_{kQuitWaitMs};
  QtTimer replyTimeout_{ReplyTimeoutMs(std::getenv(kReplyTimeoutVariable))};
  QtTimer checkLimit_{kCheckLimitTickMs};
  // The Qt socket with the reply time-out for servers that go silent.
  SilentServerGuard silenceGuard_{
      winsock1_, replyTimeout_,
      [this] { return OwnString(state_.LanguageBase, OwnText::NoAnswerFromServer); }};
  // The core's socket: that one, with the limit of a whole mailbox check.
  CheckTimeLimit socket_{silenceGuard_, checkLimit_, [this] {
                           return OwnString(state_.LanguageBase, OwnText::MailboxCheckTooLong);
                         }};
  // Sockets and timers for the IMAP push watches, made as the core asks.
  PushPlatform push_{
      .MakeSocket = [] { return std::make_unique<QtSocket>(); },
      .MakeTimer = [](int milliseconds) { return std::make_unique<QtTimer>(milliseconds); },
      .ReplyTimeoutMs = ReplyTimeoutMs(std::getenv(kReplyTimeoutVariable))};
  QtClock clock_;
  QtDateText dateText_;
  QtSoundPlayer sound_;
  DBusDesktopNotifier notices_;
  QtProgramStarter programs_;
  QtPathProbe environment_;
  XdgMailClient mailClient_{files_, environment_, state_.LanguageBase};
  DesktopDoNotDisturb doNotDisturb_;
  QtWebBrowser browser_;
  QtHttpClient http_;
  // "Open web mail" entries, rebuilt each time the menu opens.
  std::vector<QAction*> webMailEntries_;

  QtTrayIcons sysTray_;
  TrayIconCache tray_;

  QMenu* mnuSysTray_ = nullptr;
  QAction* mnuMdaemon_ = nullptr;

  QPointer<frmStatus> status_;
  QPointer<frmConfig> config_;
  QPointer<frmInfo> info_;

  std::function<void()> exitHandler_;
  int exitRequests_ = 0;
};

}  // namespace postvane
