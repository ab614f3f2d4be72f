// The forms and tray menu for tests: every call is logged by name.
#pragma once

#include <functional>
#include <string>

#include "fakes/call_log.h"
#include "ports/forms.h"

namespace postvane {

class FakeForms : public Forms {
 public:
  // Logs into its own list unless given one shared with other fakes.
  explicit FakeForms(CallLog* log = nullptr) : log_(log != nullptr ? log : &ownLog_) {}

  const CallLog& Log() const { return *log_; }

  bool MDaemonMenuVisible = false;
  bool Exited = false;
  int StatusShown = 0;
  // Runs inside ShowConfigOn, to look at what else was done by then.
  std::function<void()> OnShowConfigOn;

  void LocalizeMainCaptions() override { log_->push_back("LocalizeMainCaptions"); }
  void ShowStatus() override {
    ++StatusShown;
    log_->push_back("ShowStatus");
  }
  void ShowConfig() override { log_->push_back("ShowConfig"); }
  void ShowConfigOn(ConfigTab tab) override {
    static const char* const kTabs[] = {"Mailboxes", "General1", "General2"};
    log_->push_back(std::string("ShowConfigOn(") + kTabs[static_cast<int>(tab)] + ")");
    if (OnShowConfigOn) OnShowConfigOn();
  }
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
