// Where the Windows programs keep Postvane.ini and receive.log: as on Linux, beside the program
// for a copy in a folder of its own, in the user's %APPDATA%\Postvane for an installed one, or
// where --settings says. An installed copy is one whose folder the installer recorded.
#pragma once

#include <optional>
#include <string>

#include "ports/path_probe.h"
#include "settings/settings_place.h"

namespace postvane {

// The path probe on the Windows API.
class Win32PathProbe final : public PathProbe {
 public:
  bool IsPlainFile(const std::string& path) override;
  // Tried by making (and at once removing) a file in it.
  bool IsWritableFolder(const std::string& path) override;
  std::string EnvironmentValue(const std::string& name) override;
  // The folder inherits the access list of the user's profile, which only the user (and the
  // system) may read.
  bool MakeOwnerOnlyFolder(const std::string& path) override;
  bool MakeFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
};

// HKEY_LOCAL_MACHINE\Software\Postvane, value InstallFolder, which the MSI writes.
bool InstalledIn(const std::string& programFolder);

ChosenPaths ChooseWindowsPaths(const std::string& programFolder,
                               const std::optional<std::string>& settingsFile);

}  // namespace postvane
