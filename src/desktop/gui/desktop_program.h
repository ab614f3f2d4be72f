// The whole tray program put together: state, settings on disk, the hidden main window and
// the core. main() makes one; tests make as many as they like, each with its own folder.
#pragma once

#include <cstdint>
#include <string>

#include "app/postvane_app.h"
#include "app/program_state.h"
#include "desktop/gui/frm_main.h"
#include "desktop/gui/pickers.h"
#include "desktop/net/qt_charset_converter.h"
#include "desktop/posix/posix_file_system.h"

namespace postvane {

class DesktopProgram {
 public:
  // programFolder holds the settings file, the receive log and the default sound.
  DesktopProgram(const std::string& programFolder, Pickers& pickers);
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  // The core's start-up with the user's Windows language identifier.
  void StartUp(uint16_t windowsLanguageId);

  ProgramState& State() { return state_; }
  frmMain& MainWindow() { return main_; }
  PostvaneApp& App() { return app_; }

 private:
  ProgramState state_;
  PosixFileSystem files_;
  QtCharsetConverter charsets_;
  frmMain main_;
  PostvaneApp app_;
};

}  // namespace postvane
