// The tray program's logic: start-up, scheduler, tray summary, tray commands,
// notification and MDaemon requests, wired to the platform through interfaces.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_actions.h"
#include "app/first_use.h"
#include "app/program_state.h"
#include "app/push_watches.h"
#include "check/check_engine.h"
#include "check/cycle_hooks.h"
#include "check/token_refresh.h"
#include "ports/clock.h"
#include "ports/date_text.h"
#include "ports/default_mail_client.h"
#include "ports/desktop_notifier.h"
#include "ports/do_not_disturb.h"
#include "ports/file_system.h"
#include "ports/forms.h"
#include "ports/http_client.h"
#include "ports/program_starter.h"
#include "ports/socket.h"
#include "ports/sound_player.h"
#include "ports/timer.h"
#include "ports/tray_icons.h"
#include "ports/web_browser.h"
#include "settings/settings_store.h"
#include "ui/status_tree.h"

namespace postvane {

struct AppPlatform {
  Socket& Winsock1;
  Timer& MinuteTimer;  // "Timer", 60000 ms, running from the start
  Timer& TrayTimer;    // 1500 ms, running only while the tray has work
  Timer& Timeout;      // 15000 ms
  Timer& TimerQuit;    // 1000 ms
  Clock& LocalClock;
  DateText& DateFormat;
  FileSystem& Files;
  TrayIcons& Tray;
  SoundPlayer& Sound;
  ProgramStarter& Programs;
  postvane::Forms& Forms;
  DesktopNotifier& Notices;
  // Where no mail program is set; null on a platform that cannot tell.
  DefaultMailClient* MailClient = nullptr;
  // The desktop's do-not-disturb; null where it cannot be asked.
  DoNotDisturb* Quiet = nullptr;
  // Web mail from the tray; null where no browser can be asked.
  WebBrowser* Web = nullptr;
  // Token requests for OAuth mailboxes; null where the platform has none yet.
  HttpClient* Http = nullptr;
  // Sockets and timers for the IMAP push watches; null: no push, the checks poll.
  const PushPlatform* Push = nullptr;
};

// Order for the front end, on creating the hidden main window:
//   1. its own single-instance test (a second instance ends before anything here runs);
//   2. construct PostvaneApp with state.Paths set;
//   3. StartUp(language id);
//   4. start MinuteTimer; it is the window's timer and runs from the moment it exists.
// PostvaneApp starts and stops TrayTimer itself: it runs while something on the tray
// animates or blinks, or an MDaemon request waits (its semaphore is polled on each tick), so
// an idle program never wakes between two minute ticks. Whatever may change what the tray
// shows starts it again; one tick after the work is done it stops.
// Every call below runs on the user-interface thread, one event at a time.
class PostvaneApp : public CycleHooks, private AppActions {
 public:
  // state.Paths must be set. Registers the minute and tray timer tick handlers.
  PostvaneApp(ProgramState& state, const AppPlatform& platform);
  ~PostvaneApp() override;
  PostvaneApp(const PostvaneApp&) = delete;
  PostvaneApp& operator=(const PostvaneApp&) = delete;

  // Start-up after the single-instance test: language, captions, settings, first cycle, tray.
  // Without a settings file (the first start) the configuration dialog opens on its Mailboxes
  // tab once the tray shows.
  void StartUp(uint16_t windowsLanguageId);

  // The configuration dialog has stored and saved what it showed. A mailbox newly enabled, or
  // an enabled one with another server, port, user or password, is checked at once.
  void OnConfigClosed();

  void OnMinuteTimer() override;
  void OnTrayTimer();

  void OnTrayClick(int index);
  void OnTrayMenuRequest(int index);
  void OnTrayDoubleClick(int index);
  void AcknowledgeMailbox(int index);

  void StartCycle() override;
  // Checks that mailbox alone, out of turn, or right after a running cycle; its outcome shows
  // and is announced as a cycle's is.
  void CheckMailboxNow(int index);
  // Without a mail program set, the desktop's default mail client, or else the status window.
  void OpenMailReader();
  void ShowStatus();
  // The menu's "Open web mail" of that mailbox; nothing without a usable address.
  void OpenWebMail(int index);
  void RequestMDaemon();
  void ShowConfig();
  void ShowAbout();
  void ExitProgram();

  void RefreshTray() override;
  // The front end changed something the tray shows (settings saved): the next tray tick
  // shows it.
  void TrayStateChanged();
  void NotifyNewMail();
  void RunMailProgram() override;

  // The engine's events: a mailbox that failed or was found locked shows at once, and the
  // end of the cycle brings the tray up to date and the notification.
  void MailboxFinished(int16_t index, const MailboxOutcome& outcome) override;
  void CycleEnded() override;
  void PollMDaemon() override;

  // The status window's tree and its mailbox-line texts, with this program's date text.
  std::vector<StatusNode> BuildStatusTree() const;
  std::optional<std::string> StatusNodeTextOnExpand(std::string_view key) const;
  std::optional<std::string> StatusNodeTextOnCollapse(std::string_view key) const;

  // The push watches; null on a platform without them.
  const PushWatches* Push() const { return push_.get(); }

  ProgramState& State() { return state_; }
  SettingsStore& Settings() { return settings_; }
  CheckEngine& Engine() { return engine_; }

 private:
  void LoadMailbox(int16_t index) override;
  void LoadGeneral() override;
  void SaveUidl(int16_t index, const std::string& uidl) override;
  void SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid) override;
  bool CheckUnderWay() const override;
  // Another program (postvane-check --ack) may have acknowledged mail since the file was read;
  // its unique-id counts, or that mail would show as new again.
  void AdoptUidlsSavedElsewhere();
  // Re-read before every cycle: the configuration dialog may have added the first mailbox.
  void NoteMailboxSections();
  bool TrayTimerHasWork() const;
  // Watches for the mailboxes that ask for push now, none for the others.
  void UpdatePush();

  ProgramState& state_;
  AppPlatform platform_;
  SettingsStore settings_;
  CheckEngine engine_;
  // Renews OAuth access tokens before each cycle; empty without the platform's HTTP client.
  std::optional<TokenRefresh> tokens_;
  void BeginEngineCycle();
  LoginWatch logins_;
  std::unique_ptr<PushWatches> push_;
  // Each mailbox's unique-id as this program last read or wrote it in the file.
  std::array<std::string, kUserMailboxes> fileUidls_;
  // The same for the IMAP points.
  std::array<ImapPoint, kUserMailboxes> fileImapPoints_{};
};

}  // namespace postvane
