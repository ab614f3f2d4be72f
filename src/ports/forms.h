// The program's forms (its windows and the tray menu), as the tray commands reach them.
#pragma once

namespace postvane {

// The configuration dialog's tabs, in their order.
enum class ConfigTab { Mailboxes, General1, General2 };

class Forms {
 public:
  virtual ~Forms() = default;
  // Replaces the caption codes of the main window's tray menu (start-up).
  virtual void LocalizeMainCaptions() = 0;
  virtual void ShowStatus() = 0;  // modeless; built on first show, only raised while open
  virtual void ShowConfig() = 0;
  // As ShowConfig, then brings that tab to the front (also when the dialog was open already).
  virtual void ShowConfigOn(ConfigTab tab) = 0;
  virtual void ShowAbout() = 0;
  virtual void ShowTrayMenu() = 0;  // at the mouse position
  virtual void SetMDaemonMenuVisible(bool visible) = 0;
  virtual void ExitProgram() = 0;  // at once, nothing saved
};

}  // namespace postvane
