// The long run of postvane-check --watch.
#include "app/watch_run.h"

#include <algorithm>
#include <string>

#include "text/display_text.h"
#include "text/own_text.h"

namespace postvane {

WatchRun::WatchRun(ProgramState& state, Socket& socket, Timer& timeout, Timer& timerQuit,
                   const TimerMaker& makeTimer, Clock& clock, FileSystem& files,
                   SettingsStore& settings, const PushPlatform* push, bool json, std::ostream& out,
                   std::ostream& err)
    : state_(state),
      settings_(settings),
      makeTimer_(makeTimer),
      json_(json),
      out_(out),
      err_(err),
      // A server that cannot be reached fails its mailbox; the next poll tries again.
      engine_(state, socket, timeout, timerQuit, clock, files, *this,
              {state.General.ReceiveLog, state.Paths.ReceiveLog},
              ConnectFailurePolicy::FailAndGoOn) {
  if (push != nullptr) {
    push_ = std::make_unique<PushWatches>(
        *push, PushWatches::Events{
                   .CheckNow = [this](int16_t index) { CheckNow(index); },
                   .Log =
                       [this](int16_t index, std::string_view text) {
                         engine_.WriteReceiveLog(
                             0, state_.Mailboxes[static_cast<std::size_t>(index)].Name +
                                    " IDLE: " + std::string(text));
                       },
                   // Push matters to whoever reads the lines: its loss is said, the
                   // polls go on meanwhile.
                   .Lost =
                       [this](int16_t index, std::string_view reason, int) {
                         err_ << "postvane-check: "
                              << DisplayText(state_.Mailboxes[static_cast<std::size_t>(index)].Name)
                              << ": " << OwnString(state_.LanguageBase, OwnText::IdleConnectionLost)
                              << " - " << DisplayText(reason) << '\n'
                              << std::flush;
                       }});
  }
}

WatchRun::~WatchRun() {
  if (poll_) poll_->SetTickHandler({});
  push_.reset();
}

void WatchRun::Start(const std::vector<int16_t>& selected, int16_t languageBase) {
  state_.LanguageBase = languageBase;
  selected_ = selected;
  Reload(-1);
  listed_.clear();
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    if (state_.Mailboxes[static_cast<std::size_t>(i)].Enabled != kFalse) listed_.push_back(i);
  }
  results_.fill(MailboxResult::Failed);
  poll_ = makeTimer_(LongestRetryMs(state_.General.Interval));
  poll_->SetTickHandler([this] { OnPoll(); });
  poll_->Start();
  engine_.StartCycle();
}

void WatchRun::Stop() {
  if (poll_) poll_->Stop();
  engine_.StopCycle();
  if (push_) push_->StopAll();
}

void WatchRun::Reload(int16_t only) {
  for (int16_t i = 0; i < kUserMailboxes; ++i) {
    if (only >= 0 && i != only) continue;
    MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(i)];
    settings_.LoadMailbox(record, i);
    if (record.Headers.empty()) record.Headers.assign(1, MessageHeader{});
    const bool chosen = selected_.empty()
                            ? record.Enabled != kFalse
                            : std::find(selected_.begin(), selected_.end(), i) != selected_.end();
    // Only in memory: this run never saves a mailbox.
    if (!chosen) record.Enabled = kFalse;
  }
  if (only < 0) settings_.LoadGeneral(state_.General);
  if (push_) push_->Update(state_.Mailboxes, state_.LanguageBase, state_.General.Interval);
}

void WatchRun::OnPoll() {
  Reload(-1);
  engine_.StartCycle();
}

void WatchRun::CheckNow(int16_t index) {
  // Under a running cycle the records stay as that cycle found them.
  if (!engine_.CycleRunning()) Reload(index);
  engine_.CheckMailboxNow(index);
}

void WatchRun::MailboxFinished(int16_t index, const MailboxOutcome& outcome) {
  if (index < 0 || index >= kUserMailboxes) return;
  results_[static_cast<std::size_t>(index)] = outcome.Result;
  if (!outcome.Counted()) return;
  const int16_t count = state_.Mailboxes[static_cast<std::size_t>(index)].NewCount;
  std::optional<int16_t>& printed = printed_[static_cast<std::size_t>(index)];
  if (printed == count) return;
  printed = count;
  Print(index);
}

void WatchRun::CycleEnded() {}

void WatchRun::Print(int16_t index) {
  if (json_) {
    // The whole picture, so that a status bar needs only the last object.
    out_ << RenderJsonReport(MakeCheckReport(state_, listed_, results_)) << std::flush;
    return;
  }
  // The mailbox's own line of the one-shot report, without the message lines under it.
  const std::string report = RenderPlainReport(MakeCheckReport(state_, {index}, results_));
  out_ << report.substr(0, report.find('\n')) << '\n' << std::flush;
}

}  // namespace postvane
