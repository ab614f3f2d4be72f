// "Start with the desktop": the XDG autostart entry that starts the tray program at log-in.
#pragma once

#include <string>

#include "ports/autostart.h"
#include "ports/file_system.h"
#include "ports/path_probe.h"

namespace postvane {

// The entry's text for the program file; empty when the path cannot be written on an Exec
// line (not absolute, or holding a line break or a control character).
std::string AutostartEntryText(const std::string& programFile, const std::string& iconName);

class AutostartEntry : public Autostart {
 public:
  // programFile: the tray program the entry starts, an absolute path.
  AutostartEntry(PathProbe& probe, FileSystem& files, std::string programFile);

  // $XDG_CONFIG_HOME/autostart/postvane.desktop; empty without a configuration folder.
  std::string EntryFile() const { return entryFile_; }
  bool Exists() const override;
  // Writes or removes the entry. False when that failed or was impossible; then nothing is left
  // half-written.
  bool Set(bool wanted) override;

 private:
  PathProbe& probe_;
  FileSystem& files_;
  std::string programFile_;
  std::string folder_;
  std::string entryFile_;
};

}  // namespace postvane
