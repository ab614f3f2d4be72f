// The about window's version line.
#include "ui/version_line.h"

namespace postvane {

std::string VersionLine(int major, int minor, int revision) {
  return "Version " + std::to_string(major) + "." + std::to_string(minor) + "." +
         std::to_string(revision);
}

std::string ProgramVersionLine() {
  return VersionLine(POSTVANE_VERSION_MAJOR, POSTVANE_VERSION_MINOR, POSTVANE_VERSION_PATCH);
}

}  // namespace postvane
