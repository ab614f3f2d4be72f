// Wires the tray program's pieces to the settings store, the check engine and the platform.
#include "app/postvane_app.h"

#include "app/mdaemon.h"
#include "app/notifier.h"
#include "app/scheduler.h"
#include "app/tray_commands.h"
#include "app/tray_summary.h"
#include "app/web_mail.h"
#include "settings/quiet_hours.h"
#include "settings/web_mail_url.h"

namespace postvane {

namespace {

// The watches' lines go into the receive log beside the checks', after their mailbox's name.
void WritePushLog(const ProgramState& state, CheckEngine& engine, int16_t index,
                  std::string_view text) {
  if (index < 0 || index >= kUserMailboxes) return;
  engine.WriteReceiveLog(
      0, state.Mailboxes[static_cast<std::size_t>(index)].Name + " IDLE: " + std::string(text));
}

}  // namespace

PostvaneApp::PostvaneApp(ProgramState& state, const AppPlatform& platform)
    : state_(state),
      platform_(platform),
      settings_(platform.Files, state.Paths.SettingsFile, state.Paths.DefaultSoundFile),
      engine_(state, platform.Winsock1, platform.Timeout, platform.TimerQuit, platform.LocalClock,
              platform.Files, *this, {state.General.ReceiveLog, state.Paths.ReceiveLog}) {
  if (platform.Push != nullptr) {
    push_ = std::make_unique<PushWatches>(
        *platform.Push,
        PushWatches::Events{
            .CheckNow = [this](int16_t index) { CheckMailboxNow(index); },
            .Log = [this](int16_t index,
                          std::string_view text) { WritePushLog(state_, engine_, index, text); },
            .Lost = {}});
  }
  if (platform.Http != nullptr) tokens_.emplace(*platform.Http, state.LanguageBase, SteadySeconds);
  platform_.MinuteTimer.SetTickHandler([this] { OnMinuteTimer(); });
  platform_.TrayTimer.SetTickHandler([this] { OnTrayTimer(); });
  // A click on the desktop notice acknowledges like a click on the single tray icon, and
  // opens the web mail of the mailbox it is most likely about.
  platform_.Notices.SetClickHandler([this] {
    const int webMail = WebMailForNotice(state_);
    postvane::AcknowledgeAll(state_, *this);
    RefreshTray();
    if (webMail >= 0) OpenWebMail(webMail);
  });
}

PostvaneApp::~PostvaneApp() {
  push_.reset();
  // The timers may outlive the program's logic; their ticks must not reach a dead object.
  platform_.MinuteTimer.SetTickHandler(nullptr);
  platform_.TrayTimer.SetTickHandler(nullptr);
  platform_.Notices.SetClickHandler(nullptr);
}

void PostvaneApp::StartUp(uint16_t windowsLanguageId) {
  const bool firstStart = !platform_.Files.IsPlainFile(state_.Paths.SettingsFile);
  settings_.RemoveLeftovers();
  NoteMailboxSections();
  postvane::StartUp(state_, platform_.Forms, *this, windowsLanguageId);
  logins_.Remember(state_.Mailboxes);
  UpdatePush();
  if (firstStart) platform_.Forms.ShowConfigOn(ConfigTab::Mailboxes);
}

void PostvaneApp::OnConfigClosed() {
  const bool check = logins_.NewLogin(state_.Mailboxes);
  logins_.Remember(state_.Mailboxes);
  UpdatePush();
  if (check) StartCycle();
}

void PostvaneApp::UpdatePush() {
  if (push_) push_->Update(state_.Mailboxes, state_.LanguageBase, state_.General.Interval);
}

void PostvaneApp::OnMinuteTimer() { postvane::OnMinuteTimer(state_, *this); }
void PostvaneApp::OnTrayTimer() {
  postvane::OnTrayTimer(*this);
  // The tick just showed the last state: nothing more changes until something wakes it.
  if (!TrayTimerHasWork()) platform_.TrayTimer.Stop();
}

// An acknowledged mailbox stops blinking at the next tray tick, as with a timer that always ran.
void PostvaneApp::OnTrayClick(int index) {
  postvane::OnTrayClick(state_, *this, index);
  TrayStateChanged();
}
void PostvaneApp::OnTrayMenuRequest(int /*index*/) { platform_.Forms.ShowTrayMenu(); }
void PostvaneApp::OnTrayDoubleClick(int /*index*/) {
  postvane::OnTrayDoubleClick(state_, platform_.Forms, *this);
  TrayStateChanged();
}
void PostvaneApp::AcknowledgeMailbox(int index) {
  postvane::AcknowledgeMailbox(state_, *this, index);
  TrayStateChanged();
}

void PostvaneApp::StartCycle() {
  // The tokens of the cycle asked for before are still being renewed: that cycle comes.
  if (tokens_ && tokens_->Running()) return;
  // A keyring that was locked at start-up may be open by now; postvane-check may have saved a
  // newer refresh token meanwhile, which must not be overwritten by the one held here.
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(i)];
    settings_.FetchPassword(record, i);
    settings_.ReloadRefreshToken(record, i);
  }
  NoteMailboxSections();
  AdoptUidlsSavedElsewhere();
  // A password the keyring gave only now lets a watch start.
  UpdatePush();
  if (tokens_) {
    tokens_->Run(
        state_.Mailboxes,
        [this](int16_t index) {
          settings_.SaveRefreshToken(state_.Mailboxes[static_cast<std::size_t>(index)], index);
        },
        [this] { BeginEngineCycle(); });
    return;
  }
  BeginEngineCycle();
}

void PostvaneApp::BeginEngineCycle() {
  engine_.StartCycle();
  // The check's animation runs on the tray timer.
  if (TrayTimerHasWork()) TrayStateChanged();
}
void PostvaneApp::CheckMailboxNow(int index) {
  if (index < 0 || index >= kUserMailboxes) return;
  settings_.FetchPassword(state_.Mailboxes[static_cast<std::size_t>(index)],
                          static_cast<int16_t>(index));
  // Under a running cycle the records stay as that cycle found them.
  if (!engine_.CycleRunning()) AdoptUidlsSavedElsewhere();
  engine_.CheckMailboxNow(static_cast<int16_t>(index));
  if (TrayTimerHasWork()) TrayStateChanged();
}
void PostvaneApp::OpenMailReader() { RunMailProgram(); }
void PostvaneApp::ShowStatus() { platform_.Forms.ShowStatus(); }
void PostvaneApp::OpenWebMail(int index) {
  if (index < 0 || index >= kUserMailboxes || platform_.Web == nullptr) return;
  const std::string& url = state_.Mailboxes[static_cast<std::size_t>(index)].WebMailUrl;
  // The file may hold anything; only an https address is ever handed on.
  if (UsableWebMailUrl(url)) platform_.Web->OpenWebPage(url);
}
void PostvaneApp::RequestMDaemon() {
  postvane::RequestMDaemon(state_);
  TrayStateChanged();
}
void PostvaneApp::ShowConfig() { platform_.Forms.ShowConfig(); }
void PostvaneApp::ShowAbout() { platform_.Forms.ShowAbout(); }
void PostvaneApp::ExitProgram() {
  // The watch connections end with a LOGOUT rather than with the process.
  if (push_) push_->StopAll();
  platform_.Forms.ExitProgram();
}

void PostvaneApp::RefreshTray() {
  postvane::RefreshTray(state_, platform_.Tray, platform_.DateFormat);
  if (TrayTimerHasWork()) TrayStateChanged();
}

void PostvaneApp::TrayStateChanged() {
  // A running timer keeps its rhythm: restarting it on every change would hold the blink.
  if (!platform_.TrayTimer.IsRunning()) platform_.TrayTimer.Start();
}

bool PostvaneApp::TrayTimerHasWork() const {
  return TrayAnimates(state_) || state_.MDaemonRequest != kMDaemonNoRequest;
}

void PostvaneApp::NotifyNewMail() {
  // The desktop is asked only when the clock does not already say quiet.
  const auto quiet = [this] {
    return InQuietHours(state_.General, platform_.LocalClock.Now()) ||
           (platform_.Quiet != nullptr && platform_.Quiet->Active());
  };
  postvane::NotifyNewMail(state_, platform_.Sound, platform_.Forms, platform_.Programs,
                          platform_.Notices, platform_.MailClient, quiet);
}

void PostvaneApp::MailboxFinished(int16_t /*index*/, const MailboxOutcome& outcome) {
  if (outcome.Result == MailboxResult::Failed ||
      outcome.Reason == NotCheckedReason::MaildropLocked) {
    RefreshTray();
  }
}

void PostvaneApp::CycleEnded() {
  RefreshTray();
  NotifyNewMail();
}

void PostvaneApp::RunMailProgram() {
  postvane::OpenMailReader(state_, platform_.Programs, platform_.MailClient, platform_.Forms);
}

void PostvaneApp::PollMDaemon() { postvane::PollMDaemon(state_, platform_.Files, *this); }

std::vector<StatusNode> PostvaneApp::BuildStatusTree() const {
  return postvane::BuildStatusTree(state_, platform_.DateFormat);
}

std::optional<std::string> PostvaneApp::StatusNodeTextOnExpand(std::string_view key) const {
  return postvane::StatusNodeTextOnExpand(key, state_, platform_.DateFormat);
}

std::optional<std::string> PostvaneApp::StatusNodeTextOnCollapse(std::string_view key) const {
  return postvane::StatusNodeTextOnCollapse(key, state_, platform_.DateFormat);
}

void PostvaneApp::LoadMailbox(int16_t index) {
  settings_.LoadMailbox(state_.Mailboxes[index], index);
  fileUidls_[index] = state_.Mailboxes[index].UIDL;
  fileImapPoints_[index] = {state_.Mailboxes[index].ImapUidValidity,
                            state_.Mailboxes[index].ImapLastUid};
}

void PostvaneApp::LoadGeneral() { settings_.LoadGeneral(state_.General); }

void PostvaneApp::SaveUidl(int16_t index, const std::string& uidl) {
  settings_.SaveUidl(index, uidl);
  if (settings_.LastWriteSucceeded()) fileUidls_[index] = uidl;
}

void PostvaneApp::SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid) {
  settings_.SaveImapPoint(index, uidValidity, lastUid);
  if (settings_.LastWriteSucceeded()) fileImapPoints_[index] = {uidValidity, lastUid};
}

void PostvaneApp::NoteMailboxSections() {
  state_.SettingsWithoutMailbox =
      platform_.Files.IsPlainFile(state_.Paths.SettingsFile) && !settings_.HasMailboxSection();
}

void PostvaneApp::AdoptUidlsSavedElsewhere() {
  const auto saved = settings_.LoadUidls();
  if (!saved) return;
  for (int i = 0; i < kUserMailboxes; ++i) {
    if ((*saved)[i] == fileUidls_[i]) continue;
    fileUidls_[i] = (*saved)[i];
    state_.Mailboxes[i].UIDL = (*saved)[i];
  }
  const auto points = settings_.LoadImapPoints();
  if (!points) return;
  for (int i = 0; i < kUserMailboxes; ++i) {
    if ((*points)[i] == fileImapPoints_[i]) continue;
    fileImapPoints_[i] = (*points)[i];
    state_.Mailboxes[i].ImapUidValidity = (*points)[i].UidValidity;
    state_.Mailboxes[i].ImapLastUid = (*points)[i].LastUid;
  }
}

// The QUIT wait counts too: its reply or time-out moves the cycle on from CurrentMailbox.
bool PostvaneApp::CheckUnderWay() const {
  return engine_.DialogueRunning() || platform_.TimerQuit.IsRunning();
}

}  // namespace postvane
