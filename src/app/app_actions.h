// What the tray program's pieces call on one another. PostvaneApp wires these to the
// settings store, the check engine and its own handlers; tests record the calls instead.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

class AppActions {
 public:
  virtual ~AppActions() = default;
  virtual void LoadMailbox(int16_t index) = 0;
  virtual void LoadGeneral() = 0;
  virtual void SaveUidl(int16_t index, const std::string& uidl) = 0;
  // Starts a check cycle from mailbox 0; a running cycle is abandoned.
  virtual void mnuCheckNow_Click() = 0;
  // True while a mailbox's connection, POP3 dialogue or wait for the QUIT reply is under way:
  // the cycle will go on by itself from CurrentMailbox.
  virtual bool CheckUnderWay() const = 0;
  virtual void OnMinuteTimer() = 0;
  virtual void RefreshTray() = 0;
  virtual void PollMDaemon() = 0;
  virtual void RunMailProgram() = 0;
};

}  // namespace postvane
