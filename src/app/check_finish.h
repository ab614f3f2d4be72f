// The end of a one-shot check, the same for every front end: the report, the acknowledgement
// when asked for, and the exit status.
#pragma once

#include <cstdint>
#include <ostream>

#include "app/check_options.h"
#include "app/check_run.h"
#include "app/program_state.h"
#include "settings/settings_store.h"

namespace postvane {

// Call before the run. Removes what a killed save left beside the settings file; a run that
// will acknowledge leaves that to its save, which does the same under the same lock, so a
// lock held by someone else is waited for once per run, not twice.
void TidySettingsFile(SettingsStore& settings, const CheckOptions& options);

// Call once the run has finished. Prints to `out` (unless quiet) and a failed save to `err`.
int FinishCheck(CheckRun& run, const ProgramState& state, const CheckOptions& options,
                int16_t languageBase, std::ostream& out, std::ostream& err);

}  // namespace postvane
