// The about window's version line, from the program's version number.
#pragma once

#include <string>

namespace postvane {

// "Version " + major + "." + minor + "." + revision, each in plain decimal.
std::string VersionLine(int major, int minor, int revision);

// The line for this build's version.
std::string ProgramVersionLine();

}  // namespace postvane
