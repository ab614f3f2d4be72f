// Wiring order: the state with its paths, the window with its platform, then the core.
#include "desktop/gui/desktop_program.h"

namespace postvane {

namespace {

ProgramState StateFor(const std::string& programFolder) {
  ProgramState state;
  state.Paths = MakeProgramPaths(programFolder);
  return state;
}

}  // namespace

DesktopProgram::DesktopProgram(const std::string& programFolder, Pickers& pickers)
    : state_(StateFor(programFolder)),
      main_(state_, files_, pickers),
      app_(state_, main_.Platform()) {
  main_.Attach(&app_);
  app_.Engine().SetCharsetConverter(charsets_);
}

DesktopProgram::~DesktopProgram() { main_.Attach(nullptr); }

void DesktopProgram::StartUp(uint16_t windowsLanguageId) { app_.StartUp(windowsLanguageId); }

}  // namespace postvane
