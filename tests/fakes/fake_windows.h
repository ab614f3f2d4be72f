// Windows and tray menu for tests: every call is logged by name.
#pragma once

#include <string>

#include "fakes/call_log.h"
#include "ports/windows.h"

namespace postvane {

class FakeWindows : public Windows {
 public:
  // Logs into its own list unless given one shared with other fakes.
  explicit FakeWindows(CallLog* log = nullptr) : log_(log != nullptr ? log : &ownLog_) {}

  const CallLog& Log() const { return *log_; }

  bool MDaemonMenuVisible = false;
  bool Exited = false;
  int StatusShown = 0;

  void LocalizeMainCaptions() override { log_->push_back("LocalizeMainCaptions"); }
  void ShowStatus() override {
    ++StatusShown;
    log_->push_back("ShowStatus");
  }
  void ShowConfig() override { log_->push_back("ShowConfig"); }
  void ShowAbout() override { log_->push_back("ShowAbout"); }
  void ShowTrayMenu() override { log_->push_back("ShowTrayMenu"); }
  void SetMDaemonMenuVisible(bool visible) override {
    MDaemonMenuVisible = visible;
    log_->push_back(visible ? "SetMDaemonMenuVisible(1)" : "SetMDaemonMenuVisible(0)");
  }
  void ExitProgram() override {
    Exited = true;
    log_->push_back("ExitProgram");
  }

 private:
  CallLog ownLog_;
  CallLog* log_;
};

}  // namespace postvane
