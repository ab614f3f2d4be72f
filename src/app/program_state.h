// Everything process-wide: the program owns one and hands it out by reference.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "check/check_state.h"
#include "settings/general_settings.h"
#include "settings/program_paths.h"

namespace postvane {

struct ProgramState : CheckState {
  GeneralSettings General{};

  // Scheduler, notification, tray summary, MDaemon.
  int16_t MinuteCount = 0;
  std::array<int16_t, kMailboxSlots> NotifiedCount{};
  int16_t BlinkPhase = 0;
  int16_t AnimationFrame = 0;
  int16_t MDaemonRequest = 0;
  // The settings file exists but holds no mailbox section (an encoding or layout we cannot
  // read, or a file for something else): said in the tray's tool tip instead of looking idle.
  bool SettingsWithoutMailbox = false;

  ProgramPaths Paths;
};

}  // namespace postvane
