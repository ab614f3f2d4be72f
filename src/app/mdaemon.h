// Requests to an MDaemon mail server through semaphore files in its application folder.
#pragma once

#include <string_view>

#include "app/app_actions.h"
#include "app/program_state.h"
#include "ports/file_system.h"

namespace postvane {

// MDaemonRequest values.
constexpr int16_t kMDaemonNoRequest = 0;
constexpr int16_t kMDaemonRequested = 1;
constexpr int16_t kMDaemonWaiting = 2;

inline constexpr std::string_view kProcessNowFile = "PROCNOW.SEM";
inline constexpr std::string_view kOnlineFile = "ONLINE.SEM";
inline constexpr std::string_view kPredialFile = "PREDIAL.SEM";
inline constexpr std::string_view kProcessNowText = "Process Now\r\n";

// On every tray tick: a new request writes the semaphore; a waiting one starts a check
// cycle on the first tick that finds MDaemon idle.
void PollMDaemon(ProgramState& state, FileSystem& files, CycleControl& cycle);

// Writes the semaphore, replacing any old content; the request then waits whatever happened.
// An empty MDaemonPath writes nothing: the file would land at the root of the file system.
void SignalProcessNow(ProgramState& state, FileSystem& files);

// ONLINE.SEM or PREDIAL.SEM present as a plain file. An empty path or a failing test: not busy.
bool MDaemonBusy(const ProgramState& state, FileSystem& files);

}  // namespace postvane
