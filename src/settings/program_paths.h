// Where the program keeps its files: all beside the executable.
#pragma once

#include <string>

namespace postvane {

struct ProgramPaths {
  std::string ProgramFolder;
  std::string SettingsFile;      // folder + "Postvane.ini"
  std::string ReceiveLog;        // folder + "receive.log"
  std::string DefaultSoundFile;  // folder + "NewMail.wav"
};

// Joins with the platform's separator, so the same settings work on Windows and elsewhere.
ProgramPaths MakeProgramPaths(const std::string& programFolder);

// folder + separator + name; an empty folder gives the name at the root.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace postvane
