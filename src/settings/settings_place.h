// Where the settings file and receive log live: beside the program (portable), in the user's
// configuration folder (installed), or where --settings says. Both programs decide this way.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports/path_probe.h"
#include "settings/app_id.h"
#include "settings/program_paths.h"

namespace postvane {

enum class SettingsPlace { Given, BesideProgram, UserFolder };

struct ChosenPaths {
  ProgramPaths Paths;
  SettingsPlace Place = SettingsPlace::BesideProgram;
  // UserFolder only: the folder could not be created owner-only; the settings cannot be saved.
  bool FolderFailed = false;
};

// settingsFile: from --settings, wins over everything. For the user folder, the folder is
// created owner-only before anything is written into it.
ChosenPaths ChooseProgramPaths(const std::string& programFolder,
                               const std::optional<std::string>& settingsFile, PathProbe& probe);

// The same rule where the platform itself tells whether this copy is installed and which
// folder is the user's (Windows: the installer's record, %APPDATA%\Postvane); an empty
// userFolder means there is none. The default sound stays beside the program.
ChosenPaths ChooseProgramPaths(const std::string& programFolder,
                               const std::optional<std::string>& settingsFile, bool installed,
                               const std::string& userFolder, PathProbe& probe);

// The value of "--settings FILE" or "--settings=FILE" among the arguments (without the program
// name); the last one wins. Other arguments are ignored.
std::optional<std::string> SettingsFileArgument(const std::vector<std::string>& arguments);

}  // namespace postvane
