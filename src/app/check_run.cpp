// The command-line check's run: settings in, one cycle over the chosen mailboxes, a definite end.
#include "app/check_run.h"

#include <algorithm>
#include <utility>

#include "app/tray_commands.h"
#include "app/uidl_store.h"
#include "text/own_text.h"

namespace postvane {

namespace {

// The acknowledgement only saves the unique-id, and notes whether every save reached the file.
class UidlSaver final : public UidlStore {
 public:
  explicit UidlSaver(SettingsStore& settings) : settings_(settings) {}

  void SaveUidl(int16_t index, const std::string& uidl) override {
    // After one save failed the acknowledgement has failed: trying the others would only wait
    // for the same lock again.
    if (!allSaved_) return;
    settings_.SaveUidl(index, uidl);
    if (!settings_.LastWriteSucceeded()) allSaved_ = false;
  }

  void SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid) override {
    if (!allSaved_) return;
    settings_.SaveImapPoint(index, uidValidity, lastUid);
    if (!settings_.LastWriteSucceeded()) allSaved_ = false;
  }

  bool AllSaved() const { return allSaved_; }

 private:
  SettingsStore& settings_;
  bool allSaved_ = true;
};

}  // namespace

CheckRun::CheckRun(ProgramState& state, Socket& socket, Timer& timeout, Timer& timerQuit,
                   Timer& deadline, Clock& clock, FileSystem& files, SettingsStore& settings)
    : state_(state),
      deadline_(deadline),
      settings_(settings),
      engine_(state, socket, timeout, timerQuit, clock, files, *this,
              {state.General.ReceiveLog, state.Paths.ReceiveLog},
              ConnectFailurePolicy::FailAndGoOn) {
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
    record.ImapMarkNewRead = chosen && acknowledging_;
  }

  results_.fill(MailboxResult::Failed);
  deadline_.Start();
  if (tokens_ == nullptr) {
    engine_.StartCycle();
    return;
  }
  // The deadline covers the token requests too. A new refresh token is saved at once, with or
  // without --ack: the provider may already have retired the old one.
  tokens_->Run(
      state_.Mailboxes,
      [this](int16_t index) {
        settings_.SaveRefreshToken(state_.Mailboxes[static_cast<std::size_t>(index)], index);
      },
      [this] {
        if (!finished_) engine_.StartCycle();
      });
}

void CheckRun::MailboxFinished(int16_t index, const MailboxOutcome& outcome) {
  if (finished_ || index < 0 || index >= kUserMailboxes) return;
  results_[static_cast<std::size_t>(index)] = outcome.Result;
}

void CheckRun::CycleEnded() {
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
  engine_.StopCycle();
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
