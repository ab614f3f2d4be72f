// What the tray program's pieces call on one another, in narrow roles: each function takes
// only the role it uses. PostvaneApp plays them all; tests record the calls instead.
#pragma once

#include <cstdint>

#include "app/uidl_store.h"

namespace postvane {

// Starting and watching the check cycle.
class CycleControl {
 public:
  virtual ~CycleControl() = default;
  // Starts a check cycle from mailbox 0; a running cycle is abandoned.
  virtual void StartCycle() = 0;
  // True while a mailbox's connection, POP3 dialogue or wait for the QUIT reply is under way:
  // the cycle will go on by itself from CurrentMailbox.
  virtual bool CheckUnderWay() const = 0;
};

// Everything the start-up, the timers and the double click need.
class AppActions : public UidlStore, public CycleControl {
 public:
  virtual void LoadMailbox(int16_t index) = 0;
  virtual void LoadGeneral() = 0;
  virtual void OnMinuteTimer() = 0;
  virtual void RefreshTray() = 0;
  virtual void PollMDaemon() = 0;
  virtual void RunMailProgram() = 0;
};

}  // namespace postvane
