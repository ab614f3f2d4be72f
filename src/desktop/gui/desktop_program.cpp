// Wiring order: the state with its paths, the window with its platform, then the core.
#include "desktop/gui/desktop_program.h"

#include "desktop/gui/no_tray_notice.h"

namespace postvane {

namespace {

ProgramState StateFor(const ProgramPaths& paths) {
  ProgramState state;
  state.Paths = paths;
  return state;
}

}  // namespace

DesktopProgram::DesktopProgram(const std::string& programFolder, Pickers& pickers)
    : DesktopProgram(MakeProgramPaths(programFolder), pickers) {}

DesktopProgram::DesktopProgram(const ProgramPaths& paths, Pickers& pickers)
    : state_(StateFor(paths)), main_(state_, files_, pickers), app_(state_, main_.Platform()) {
#ifdef POSTVANE_HAVE_KEYCHAIN
  app_.Settings().UseSecretStore(&secrets_);
#endif
  main_.Attach(&app_);
  app_.Engine().SetCharsetConverter(charsets_);
}

DesktopProgram::~DesktopProgram() {
  main_.Attach(nullptr);
  delete noTrayNotice_.data();
}

void DesktopProgram::StartUp(uint16_t windowsLanguageId) { app_.StartUp(windowsLanguageId); }

void DesktopProgram::CheckNotificationArea(bool available, std::ostream& err) {
  if (available || noTrayTold_) return;
  noTrayTold_ = true;
  noTrayNotice_ = TellNoNotificationArea(state_.LanguageBase, err);
}

}  // namespace postvane
