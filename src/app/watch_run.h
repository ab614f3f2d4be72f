// postvane-check --watch: the check engine over the chosen mailboxes at the check interval,
// push watches where the server offers IDLE, and one line (or JSON object) each time a
// mailbox's new count changes, until the program is told to end.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "app/check_report.h"
#include "app/program_state.h"
#include "app/push_watches.h"
#include "check/check_engine.h"
#include "check/cycle_hooks.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/socket.h"
#include "ports/timer.h"
#include "settings/settings_store.h"

namespace postvane {

class WatchRun : public CycleHooks {
 public:
  // state.Paths must be set. `push` may be null: then every mailbox is polled.
  WatchRun(ProgramState& state, Socket& socket, Timer& timeout, Timer& timerQuit,
           const TimerMaker& makeTimer, Clock& clock, FileSystem& files, SettingsStore& settings,
           const PushPlatform* push, bool json, std::ostream& out, std::ostream& err);
  ~WatchRun() override;
  WatchRun(const WatchRun&) = delete;
  WatchRun& operator=(const WatchRun&) = delete;

  // Loads the settings, starts the watches and the first cycle, and polls from then on every
  // Interval + 1 minutes. `selected` as for the one-shot check (empty: the enabled ones).
  void Start(const std::vector<int16_t>& selected, int16_t languageBase);
  // Ends the cycle and every watch.
  void Stop();

  CheckEngine& Engine() { return engine_; }
  const PushWatches* Push() const { return push_.get(); }
  const std::vector<int16_t>& Listed() const { return listed_; }

  void MailboxFinished(int16_t index, const MailboxOutcome& outcome) override;
  void CycleEnded() override;

 private:
  // Reads the settings again (the tray or the dialog may have changed them, or acknowledged
  // mail) for one mailbox, or for all with -1, and brings the watches in line.
  void Reload(int16_t only);
  void OnPoll();
  void CheckNow(int16_t index);
  void Print(int16_t index);

  ProgramState& state_;
  SettingsStore& settings_;
  TimerMaker makeTimer_;
  bool json_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<int16_t> selected_;
  std::vector<int16_t> listed_;
  MailboxResults results_{};
  // The new count each mailbox was last printed with.
  std::array<std::optional<int16_t>, kUserMailboxes> printed_{};
  std::unique_ptr<Timer> poll_;
  std::unique_ptr<PushWatches> push_;
  CheckEngine engine_;
};

}  // namespace postvane
