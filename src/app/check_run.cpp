// The command-line check's run: settings in, one cycle over the chosen mailboxes, a definite end.
#include "app/check_run.h"

#include <algorithm>
#include <utility>

#include "app/app_actions.h"
#include "app/tray_commands.h"
#include "text/own_text.h"
#include "text/replace_hash.h"

namespace postvane {

namespace {

// The acknowledgement only saves the unique-id; everything else a tray program would do
// around it has no place in a one-shot run.
class UidlSaver final : public AppActions {
 public:
  explicit UidlSaver(SettingsStore& settings) : settings_(settings) {}

  void SaveUidl(int16_t index, const std::string& uidl) override {
    settings_.SaveUidl(index, uidl);
    if (!settings_.LastWriteSucceeded()) allSaved_ = false;
  }
  void LoadMailbox(int16_t) override {}
  void LoadGeneral() override {}
  void mnuCheckNow_Click() override {}
  bool CheckUnderWay() const override { return false; }
  void OnMinuteTimer() override {}
  void RefreshTray() override {}
  void PollMDaemon() override {}
  void RunMailProgram() override {}

  bool AllSaved() const { return allSaved_; }

 private:
  SettingsStore& settings_;
  bool allSaved_ = true;
};

}  // namespace

CheckRun::RunSocket::RunSocket(Socket& inner, CheckRun& run) : inner_(inner), run_(run) {
  inner_.SetListener(this);
}

CheckRun::RunSocket::~RunSocket() { inner_.SetListener(nullptr); }

SocketError CheckRun::RunSocket::Connect() {
  lastConnectError_ = inner_.Connect();
  return lastConnectError_;
}

void CheckRun::RunSocket::OnConnect() {
  if (run_.finished_ || listener_ == nullptr) return;
  listener_->OnConnect();
  run_.AfterEvent();
}

void CheckRun::RunSocket::OnDataArrival() {
  if (run_.finished_ || listener_ == nullptr) return;
  listener_->OnDataArrival();
  run_.AfterEvent();
}

void CheckRun::RunSocket::OnSocketError(int number, const std::string& description) {
  if (run_.finished_ || listener_ == nullptr) return;
  listener_->OnSocketError(number, description);
  run_.AfterEvent();
}

void CheckRun::RunSocket::OnSocketClose() {
  if (run_.finished_ || listener_ == nullptr) return;
  listener_->OnSocketClose();
  run_.AfterEvent();
}

void CheckRun::RunTimer::SetTickHandler(std::function<void()> handler) {
  if (!handler) {
    inner_.SetTickHandler({});
    return;
  }
  inner_.SetTickHandler([this, handler = std::move(handler)] {
    if (run_.finished_) return;
    handler();
    run_.AfterEvent();
  });
}

CheckRun::CheckRun(ProgramState& state, Socket& socket, Timer& timeout, Timer& timerQuit,
                   Timer& deadline, Clock& clock, FileSystem& files, SettingsStore& settings)
    : state_(state),
      socket_(socket),
      timeout_(timeout),
      timerQuit_(timerQuit),
      deadline_(deadline),
      settings_(settings),
      runSocket_(socket, *this),
      runTimeout_(timeout, *this),
      runTimerQuit_(timerQuit, *this),
      engine_(state, runSocket_, runTimeout_, runTimerQuit_, clock, files, *this,
              {state.General.ReceiveLog, state.Paths.ReceiveLog}) {
  deadline_.SetTickHandler([this] { OnDeadline(); });
}

CheckRun::~CheckRun() { deadline_.SetTickHandler({}); }

void CheckRun::SetFinishedHandler(std::function<void()> handler) {
  finishedHandler_ = std::move(handler);
}

void CheckRun::Start(const std::vector<int16_t>& selected, int16_t languageBase) {
  if (started_) return;
  started_ = true;
  state_.LanguageBase = languageBase;
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(i)];
    settings_.LoadMailbox(record, i);
    record.Headers.assign(1, MessageHeader{});
  }
  settings_.LoadGeneral(state_.General);

  listed_.clear();
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(i)];
    const bool chosen = selected.empty()
                            ? record.Enabled != kFalse
                            : std::find(selected.begin(), selected.end(), i) != selected.end();
    // Only in memory: this run never saves a mailbox.
    if (!chosen) record.Enabled = kFalse;
    if (chosen) listed_.push_back(i);
  }

  deadline_.Start();
  engine_.mnuCheckNow_Click();
  AfterEvent();
}

void CheckRun::AfterEvent() {
  while (started_ && !finished_) {
    const int16_t index = state_.CurrentMailbox;
    if (index < 0 || index >= kUserMailboxes) return;
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(index)];
    // Under way: connecting, in the dialogue, or waiting for the reply to QUIT.
    if (record.Enabled == kFalse || engine_.DialogueRunning() ||
        record.State == MailboxState::QuitSent) {
      return;
    }
    // The socket's own words, as for an error that arrives later.
    const SocketError& error = runSocket_.LastConnectError();
    std::string text = error.Description;
    if (text.empty())
      text = ReplaceHash(OwnString(state_.LanguageBase, OwnText::SocketError), error.Number);
    record.StatusText = text;
    record.State = MailboxState::Idle;
    engine_.WriteReceiveLog(StateCode(MailboxState::Idle), text);
    socket_.Close();
    state_.CurrentMailbox = static_cast<int16_t>(index + 1);
    engine_.CheckNow();
  }
}

void CheckRun::NotifyNewMail() {
  if (!started_ || finished_) return;
  Finish();
}

void CheckRun::OnDeadline() {
  deadline_.Stop();
  if (!started_ || finished_) return;
  const int16_t current = state_.CurrentMailbox;
  for (int16_t i = std::max<int16_t>(current, 0); i < kUserMailboxes; ++i) {
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(i)];
    if (record.Enabled == kFalse) continue;
    // The one under way had no answer in time; the later ones were never asked.
    record.StatusText =
        OwnString(state_.LanguageBase,
                  i == current ? OwnText::NoAnswerInTimeLimit : OwnText::NotReachedInTimeLimit);
    record.State = MailboxState::Idle;
  }
  endedByDeadline_ = true;
  Finish();
}

void CheckRun::Finish() {
  finished_ = true;
  deadline_.Stop();
  timeout_.Stop();
  timerQuit_.Stop();
  socket_.Close();
  if (finishedHandler_) finishedHandler_();
}

bool CheckRun::AcknowledgeNewMail() {
  UidlSaver saver(settings_);
  for (int16_t index : listed_) {
    const MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(index)];
    if (record.Enabled != kFalse && record.NewCount != 0) AcknowledgeMailbox(state_, saver, index);
  }
  return saver.AllSaved();
}

}  // namespace postvane
