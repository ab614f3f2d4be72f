// One check cycle from start to a definite end, for the command-line check: the tray program's
// engine over the chosen mailboxes, a whole-run deadline, and the acknowledgement afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "app/check_report.h"
#include "app/program_state.h"
#include "check/check_engine.h"
#include "check/cycle_hooks.h"
#include "check/token_refresh.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/socket.h"
#include "ports/timer.h"
#include "settings/settings_store.h"

namespace postvane {

class CheckRun : public CycleHooks {
 public:
  // state.Paths must be set. `deadline` ticks once when the whole run has taken too long.
  CheckRun(ProgramState& state, Socket& socket, Timer& timeout, Timer& timerQuit, Timer& deadline,
           Clock& clock, FileSystem& files, SettingsStore& settings);
  ~CheckRun() override;
  CheckRun(const CheckRun&) = delete;
  CheckRun& operator=(const CheckRun&) = delete;

  // Called once when the run has ended, by the end of the cycle or by the deadline.
  void SetFinishedHandler(std::function<void()> handler);
  // Access tokens are renewed with it before the cycle; without one, OAuth mailboxes fail.
  void UseTokenRefresh(TokenRefresh* refresh) { tokens_ = refresh; }

  // Loads the settings, switches off for this run every mailbox not in `selected` (empty:
  // keep the enabled ones), then starts the cycle and the deadline. The run may end at once.
  void Start(const std::vector<int16_t>& selected, int16_t languageBase);

  CheckEngine& Engine() { return engine_; }

  bool Finished() const { return finished_; }
  bool EndedByDeadline() const { return endedByDeadline_; }

  // The mailboxes to report: those given, or the enabled ones, in ascending order.
  const std::vector<int16_t>& Listed() const { return listed_; }

  // How each mailbox's check ended; Failed for those the run never finished.
  const MailboxResults& Results() const { return results_; }

  // Before Start: the run will be acknowledged, so IMAP mailboxes with MarkReadOnAck mark the
  // new messages they count read in the same check (a one-shot run has no next check).
  void WillAcknowledge() { acknowledging_ = true; }

  // After the run: takes over NewestUidl for every checked mailbox with new mail, as a click
  // on the tray icon does. False when a save did not reach the file.
  bool AcknowledgeNewMail();

  void MailboxFinished(int16_t index, const MailboxOutcome& outcome) override;
  void CycleEnded() override;

  void OnDeadline();

 private:
  void Finish();

  ProgramState& state_;
  Timer& deadline_;
  SettingsStore& settings_;
  std::function<void()> finishedHandler_;
  std::vector<int16_t> listed_;
  MailboxResults results_{};
  bool started_ = false;
  bool finished_ = false;
  TokenRefresh* tokens_ = nullptr;
  bool endedByDeadline_ = false;
  bool acknowledging_ = false;
  // A connect request that fails at once fails that mailbox: a one-shot run has no next cycle.
  CheckEngine engine_;
};

}  // namespace postvane
