// The end of a one-shot check, the same for every front end: the report, the acknowledgement
// when asked for, and the exit status.
#pragma once

#include <cstdint>
#include <ostream>

#include "app/check_options.h"
#include "app/check_run.h"
#include "app/program_state.h"

namespace postvane {

// Call once the run has finished. Prints to `out` (unless quiet) and a failed save to `err`.
int FinishCheck(CheckRun& run, const ProgramState& state, const CheckOptions& options,
                int16_t languageBase, std::ostream& out, std::ostream& err);

}  // namespace postvane
