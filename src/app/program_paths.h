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

// Joins with the platform's separator (the design writes folder + "\NAME").
ProgramPaths MakeProgramPaths(const std::string& programFolder);

// folder + separator + name; an empty folder gives the name at the root, as the design does.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace postvane
