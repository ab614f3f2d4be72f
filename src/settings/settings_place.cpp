// The portable copy keeps everything beside the program; an installed one follows the XDG
// base directory rules, so a read-only program folder never stops the settings from saving.
#include "settings/settings_place.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "settings/user_config_home.h"

namespace postvane {

namespace {

constexpr const char* kSettingsName = "Postvane.ini";

// "<prefix>/bin" beside "<prefix>/share": the layout `cmake --install` and the package make.
std::string ShareFolder(const std::string& programFolder) {
  return JoinPath(std::filesystem::path(programFolder).parent_path().string(), "share");
}

bool IsInstalled(const std::string& programFolder, PathProbe& probe) {
  const std::string metainfo = JoinPath(JoinPath(ShareFolder(programFolder), "metainfo"),
                                        std::string(kAppId) + ".metainfo.xml");
  return probe.IsPlainFile(metainfo);
}

std::string UserSettingsFolder(PathProbe& probe) {
  const std::string configHome = UserConfigHome(probe);
  return configHome.empty() ? std::string() : JoinPath(configHome, "postvane");
}

std::string FolderOf(const std::string& file) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(file, error);
  return (error ? std::filesystem::path(file) : absolute).parent_path().string();
}

}  // namespace

ChosenPaths ChooseProgramPaths(const std::string& programFolder,
                               const std::optional<std::string>& settingsFile, PathProbe& probe) {
  const bool installed = IsInstalled(programFolder, probe);
  ChosenPaths chosen =
      ChooseProgramPaths(programFolder, settingsFile, installed, UserSettingsFolder(probe), probe);
  if (installed) {
    chosen.Paths.DefaultSoundFile =
        JoinPath(JoinPath(ShareFolder(programFolder), "postvane"), "NewMail.wav");
  }
  return chosen;
}

ChosenPaths ChooseProgramPaths(const std::string& programFolder,
                               const std::optional<std::string>& settingsFile, bool installed,
                               const std::string& userFolder, PathProbe& probe) {
  ChosenPaths chosen;
  chosen.Paths = MakeProgramPaths(programFolder);

  if (settingsFile && !settingsFile->empty()) {
    chosen.Place = SettingsPlace::Given;
    chosen.Paths.SettingsFile = *settingsFile;
    chosen.Paths.ReceiveLog = JoinPath(FolderOf(*settingsFile), "receive.log");
    return chosen;
  }

  if (probe.IsPlainFile(chosen.Paths.SettingsFile)) return chosen;
  // Without a home there is nowhere else to go: stay beside the program.
  if (userFolder.empty()) return chosen;
  const bool userSettingsExist = probe.IsPlainFile(JoinPath(userFolder, kSettingsName));
  if (!installed && !userSettingsExist && probe.IsWritableFolder(programFolder)) return chosen;

  chosen.Place = SettingsPlace::UserFolder;
  chosen.Paths.SettingsFile = JoinPath(userFolder, kSettingsName);
  chosen.Paths.ReceiveLog = JoinPath(userFolder, "receive.log");
  chosen.FolderFailed = !probe.MakeOwnerOnlyFolder(userFolder);
  return chosen;
}

std::optional<std::string> SettingsFileArgument(const std::vector<std::string>& arguments) {
  static constexpr std::string_view kOption = "--settings";
  std::optional<std::string> found;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == kOption) {
      if (i + 1 < arguments.size()) found = arguments[++i];
    } else if (argument.size() > kOption.size() + 1 && argument.starts_with(kOption) &&
               argument[kOption.size()] == '=') {
      found = argument.substr(kOption.size() + 1);
    }
  }
  return found;
}

}  // namespace postvane
