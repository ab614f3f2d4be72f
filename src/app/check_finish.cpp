// The end of a one-shot check: report, acknowledgement, exit status.
#include "app/check_finish.h"

#include "app/check_report.h"
#include "text/own_text.h"

namespace postvane {

void TidySettingsFile(SettingsStore& settings, const CheckOptions& options) {
  if (!options.Ack) settings.RemoveLeftovers();
}

int FinishCheck(CheckRun& run, const ProgramState& state, const CheckOptions& options,
                int16_t languageBase, std::ostream& out, std::ostream& err) {
  const CheckReport report = MakeCheckReport(state, run.Listed(), run.Results());
  if (!options.Quiet) {
    out << (options.Json ? RenderJsonReport(report) : RenderPlainReport(report)) << std::flush;
  }
  if (options.Ack && !run.AcknowledgeNewMail()) {
    err << "postvane-check: " << state.Paths.SettingsFile << ": "
        << OwnString(languageBase, OwnText::AcknowledgementNotSaved) << '\n';
    return kExitNotSaved;
  }
  return CheckExitStatus(report);
}

}  // namespace postvane
