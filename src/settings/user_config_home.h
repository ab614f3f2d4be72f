// The user's configuration folder by the XDG base directory rules.
#pragma once

#include <string>

#include "ports/path_probe.h"

namespace postvane {

// $XDG_CONFIG_HOME when it is absolute, else $HOME/.config; empty when neither gives an
// absolute folder.
std::string UserConfigHome(PathProbe& probe);

}  // namespace postvane
