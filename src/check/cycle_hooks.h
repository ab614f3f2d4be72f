// What the check cycle calls when it has something to show.
#pragma once

namespace postvane {

class CycleHooks {
 public:
  virtual ~CycleHooks() = default;
  virtual void RefreshTray() = 0;
  virtual void NotifyNewMail() = 0;
};

}  // namespace postvane
