// The general section of the settings file, held in memory for the whole run.
#pragma once

#include <cstdint>
#include <string>

#include "check/mailbox_table.h"

namespace postvane {

// NotifyType bits.
constexpr int16_t kNotifySound = 1;
constexpr int16_t kNotifyPopUp = 2;
constexpr int16_t kNotifyMailProgram = 4;
// The fourth way, beside the three above: a notice through the desktop's notification service.
constexpr int16_t kNotifyDesktop = 8;
// The bits the dialogs have boxes for; any other bit is kept as read.
constexpr int16_t kNotifyBoxes = kNotifySound | kNotifyPopUp | kNotifyMailProgram | kNotifyDesktop;

struct GeneralSettings {
  int16_t Interval = 5;
  int16_t NotifyType = 1;
  int16_t TrayType = 1;
  int16_t DoubleClick = 0;
  std::string MailProgram;
  std::string SoundFile;
  std::string MDaemonPath;
  int16_t MDaemonActivate = 0;
  int16_t ReceiveLog = kFalse;
  int16_t ReplaySound = kFalse;
  // Ours: new passwords go to the desktop keyring instead of the file.
  int16_t Keyring = kFalse;
  // Ours: quiet hours in minutes after midnight; -1 (no time) in either switches them off.
  int16_t QuietFrom = -1;
  int16_t QuietTo = -1;
  bool operator==(const GeneralSettings&) const = default;
};

}  // namespace postvane
