// The tray program's own command line: --help and --version answer without a display.
#pragma once

#include <string>
#include <vector>

namespace postvane {

enum class TrayRequest { RunTray, Help, Version };

// Arguments without the program name. The first of --help (-h) and --version decides; every
// other argument (--settings FILE, the toolkit's own) is left to the tray start.
TrayRequest TrayArgumentsRequest(const std::vector<std::string>& arguments);

// The --help text, lines ending in "\n".
std::string TrayUsage();

// "Postvane 1.2.0", from the build's version.
std::string TrayVersionLine();

}  // namespace postvane
