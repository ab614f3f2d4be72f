// The MDaemon request: semaphore, wait while busy, then a check cycle.
#include "app/mdaemon.h"

#include <string>

#include "settings/program_paths.h"

namespace postvane {

void PollMDaemon(ProgramState& state, FileSystem& files, CycleControl& cycle) {
  if (state.MDaemonRequest == kMDaemonRequested) {
    SignalProcessNow(state, files);
  } else if (state.MDaemonRequest == kMDaemonWaiting) {
    if (MDaemonBusy(state, files)) return;
    state.MDaemonRequest = kMDaemonNoRequest;
    state.CurrentMailbox = 0;
    cycle.StartCycle();
  }
}

void SignalProcessNow(ProgramState& state, FileSystem& files) {
  const std::string& folder = state.General.MDaemonPath;
  if (!folder.empty()) {
    // Errors are ignored: the request goes on to the wait and then to the check.
    files.WriteFile(JoinPath(folder, std::string(kProcessNowFile)), std::string(kProcessNowText));
  }
  state.MDaemonRequest = kMDaemonWaiting;
}

bool MDaemonBusy(const ProgramState& state, FileSystem& files) {
  const std::string& folder = state.General.MDaemonPath;
  if (folder.empty()) return false;
  return files.IsPlainFile(JoinPath(folder, std::string(kOnlineFile))) ||
         files.IsPlainFile(JoinPath(folder, std::string(kPredialFile)));
}

}  // namespace postvane
