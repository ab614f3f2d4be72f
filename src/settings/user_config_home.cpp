// A relative XDG_CONFIG_HOME is to be ignored, as the XDG rules say.
#include "settings/user_config_home.h"

namespace postvane {

namespace {

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

std::string UserConfigHome(PathProbe& probe) {
  const std::string configHome = probe.EnvironmentValue("XDG_CONFIG_HOME");
  if (IsAbsolute(configHome)) return configHome;
  const std::string home = probe.EnvironmentValue("HOME");
  if (!IsAbsolute(home)) return {};
  return home.back() == '/' ? home + ".config" : home + "/.config";
}

}  // namespace postvane
