// Cycle hooks for tests. Calls are named after what the tray program does on each event:
// "RefreshTray" when a mailbox failed or was found locked, "RefreshTray" and "NotifyNewMail"
// when the cycle ended. Every outcome is kept as well, in order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "check/cycle_hooks.h"
#include "fakes/call_log.h"

namespace postvane {

class FakeCycleHooks : public CycleHooks {
 public:
  std::vector<std::string> Calls;
  std::vector<std::pair<int16_t, MailboxOutcome>> Outcomes;
  // Optional shared log, to check the order against other fakes.
  CallLog* Log = nullptr;
  // Optional: runs inside each call, e.g. to look at the table at that moment.
  std::function<void(const std::string&)> OnCall;

  void MailboxFinished(int16_t index, const MailboxOutcome& outcome) override {
    Outcomes.emplace_back(index, outcome);
    if (outcome.Result == MailboxResult::Failed ||
        outcome.Reason == NotCheckedReason::MaildropLocked) {
      Record("RefreshTray");
    }
  }
  void CycleEnded() override {
    Record("RefreshTray");
    Record("NotifyNewMail");
  }

  int Count(const std::string& name) const {
    return static_cast<int>(std::count(Calls.begin(), Calls.end(), name));
  }

 private:
  void Record(const std::string& name) {
    Calls.push_back(name);
    if (Log != nullptr) Log->push_back(name);
    if (OnCall) OnCall(name);
  }
};

}  // namespace postvane
