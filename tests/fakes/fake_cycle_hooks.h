// Cycle hooks for tests: records RefreshTray and NotifyNewMail in the order they came.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "check/cycle_hooks.h"
#include "fakes/call_log.h"

namespace postvane {

class FakeCycleHooks : public CycleHooks {
 public:
  std::vector<std::string> Calls;
  // Optional shared log, to check the order against other fakes.
  CallLog* Log = nullptr;
  // Optional: runs inside each call, e.g. to look at the table at that moment.
  std::function<void(const std::string&)> OnCall;

  void RefreshTray() override { Record("RefreshTray"); }
  void NotifyNewMail() override { Record("NotifyNewMail"); }

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
