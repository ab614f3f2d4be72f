// Path joining for the files beside the executable and in the MDaemon folder.
#include "settings/program_paths.h"

#include <filesystem>

namespace postvane {

std::string JoinPath(const std::string& folder, const std::string& name) {
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  if (!folder.empty() && (folder.back() == '/' || folder.back() == separator)) return folder + name;
  return folder + separator + name;
}

ProgramPaths MakeProgramPaths(const std::string& programFolder) {
  ProgramPaths paths;
  paths.ProgramFolder = programFolder;
  paths.SettingsFile = JoinPath(programFolder, "Postvane.ini");
  paths.ReceiveLog = JoinPath(programFolder, "receive.log");
  paths.DefaultSoundFile = JoinPath(programFolder, "NewMail.wav");
  return paths;
}

}  // namespace postvane
