// Where the running executable lives, and the command line, as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace postvane {

// The folder of the running .exe, without a trailing separator.
std::string ExecutableFolder();
// The running .exe itself.
std::string ExecutableFile();
// The arguments after the program name, from the wide command line.
std::vector<std::string> CommandArguments();
// The folder part of a path (up to the last \ or /); "." for a bare name.
std::string FolderOf(const std::string& path);

}  // namespace postvane
