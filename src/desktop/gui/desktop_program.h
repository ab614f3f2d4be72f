// The whole tray program put together: state, settings on disk, the hidden main window and
// the core. main() makes one; tests make as many as they like, each with its own folder.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <ostream>
#include <string>

#include "app/postvane_app.h"
#include "app/program_state.h"
#include "desktop/gui/frm_main.h"
#include "desktop/gui/pickers.h"
#include "desktop/net/qt_charset_converter.h"
#include "desktop/posix/posix_file_system.h"
#ifdef POSTVANE_HAVE_KEYCHAIN
#include "desktop/net/keychain_secret_store.h"
#endif

namespace postvane {

class DesktopProgram {
 public:
  // programFolder holds the settings file, the receive log and the default sound.
  DesktopProgram(const std::string& programFolder, Pickers& pickers);
  // Settings and log where the paths say (see ChooseProgramPaths).
  DesktopProgram(const ProgramPaths& paths, Pickers& pickers);
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  // The core's start-up with the user's Windows language identifier.
  void StartUp(uint16_t windowsLanguageId);

  // After start-up: without a notification area, says so once, on `err` and in a small
  // window, and runs on; the icons show as soon as an area appears.
  void CheckNotificationArea(bool available, std::ostream& err);
  QWidget* NoTrayNotice() const { return noTrayNotice_; }

  ProgramState& State() { return state_; }
  frmMain& MainWindow() { return main_; }
  PostvaneApp& App() { return app_; }

 private:
  ProgramState state_;
  PosixFileSystem files_;
  QtCharsetConverter charsets_;
#ifdef POSTVANE_HAVE_KEYCHAIN
  KeychainSecretStore secrets_;
#endif
  frmMain main_;
  PostvaneApp app_;
  bool noTrayTold_ = false;
  QPointer<QWidget> noTrayNotice_;
};

}  // namespace postvane
