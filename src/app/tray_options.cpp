// What the tray program answers on its command line before it opens a display.
#include "app/tray_options.h"

namespace postvane {

TrayRequest TrayArgumentsRequest(const std::vector<std::string>& arguments) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    // After "--" everything is an operand, never an option; a settings file may be named so.
    if (argument == "--") break;
    if (argument == "--settings") {
      ++i;
      continue;
    }
    if (argument == "--help" || argument == "-h") return TrayRequest::Help;
    if (argument == "--version") return TrayRequest::Version;
  }
  return TrayRequest::RunTray;
}

std::string TrayUsage() {
  return "Usage: postvane [--settings FILE]\n"
         "Shows the POP3 mailboxes' new mail in the notification area.\n"
         "\n"
         "  --settings FILE     settings file (default: Postvane.ini beside the program,\n"
         "                      or in the user's configuration folder when installed)\n"
         "  --help              print this text\n"
         "  --version           print the version and the settings file in use\n"
         "\n"
         "postvane-check checks the mailboxes once from a terminal or a script.\n";
}

std::string TrayVersionLine() {
  return "Postvane " + std::to_string(POSTVANE_VERSION_MAJOR) + "." +
         std::to_string(POSTVANE_VERSION_MINOR) + "." + std::to_string(POSTVANE_VERSION_PATCH);
}

}  // namespace postvane
