// Start-up order, the minute scheduler and the tray tick.
#pragma once

#include <cstdint>

#include "app/app_actions.h"
#include "app/program_state.h"
#include "ports/forms.h"

namespace postvane {

// Runs after the front end's single-instance test: language, captions, mailboxes 0..9 (each
// with a one-element Headers), general settings, MDaemon menu entry, first cycle, tray.
void StartUp(ProgramState& state, Forms& forms, AppActions& actions, uint16_t windowsLanguageId);

// Minute tick: a cycle on every (Interval + 1)-th tick; Interval 0 or below: every tick.
// Reads Interval anew each tick, so a change takes effect without resetting MinuteCount.
void OnMinuteTimer(ProgramState& state, CycleControl& cycle);

// Tray tick: refresh the tray, then move the MDaemon request on.
void OnTrayTimer(AppActions& actions);

}  // namespace postvane
