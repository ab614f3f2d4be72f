// The tray program's cross-calls for tests: logged by name, with hooks to act on them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_actions.h"
#include "fakes/call_log.h"

namespace postvane {

class FakeAppActions : public AppActions {
 public:
  explicit FakeAppActions(CallLog* log = nullptr) : log_(log != nullptr ? log : &ownLog_) {}

  const CallLog& Log() const { return *log_; }

  bool UnderWay = false;  // what CheckUnderWay answers
  std::vector<std::pair<int16_t, std::string>> SavedUidls;
  struct SavedPoint {
    int16_t Index;
    uint32_t UidValidity, LastUid;
    bool operator==(const SavedPoint&) const = default;
  };
  std::vector<SavedPoint> SavedImapPoints;
  int CheckCycles = 0;
  // Optional hooks, run after the call is logged.
  std::function<void(int16_t)> OnLoadMailbox;
  std::function<void()> OnLoadGeneral;
  std::function<void()> OnCheckNow;

  void LoadMailbox(int16_t index) override {
    log_->push_back("LoadMailbox(" + std::to_string(index) + ")");
    if (OnLoadMailbox) OnLoadMailbox(index);
  }
  void LoadGeneral() override {
    log_->push_back("LoadGeneral");
    if (OnLoadGeneral) OnLoadGeneral();
  }
  void SaveUidl(int16_t index, const std::string& uidl) override {
    SavedUidls.emplace_back(index, uidl);
    log_->push_back("SaveUidl(" + std::to_string(index) + "," + uidl + ")");
  }
  void SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid) override {
    SavedImapPoints.push_back({index, uidValidity, lastUid});
    log_->push_back("SaveImapPoint(" + std::to_string(index) + "," + std::to_string(uidValidity) +
                    "," + std::to_string(lastUid) + ")");
  }
  void StartCycle() override {
    ++CheckCycles;
    log_->push_back("StartCycle");
    if (OnCheckNow) OnCheckNow();
  }
  bool CheckUnderWay() const override { return UnderWay; }
  void OnMinuteTimer() override { log_->push_back("OnMinuteTimer"); }
  void RefreshTray() override { log_->push_back("RefreshTray"); }
  void PollMDaemon() override { log_->push_back("PollMDaemon"); }
  void RunMailProgram() override { log_->push_back("RunMailProgram"); }

 private:
  CallLog ownLog_;
  CallLog* log_;
};

}  // namespace postvane
