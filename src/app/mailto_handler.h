// Which program a Linux desktop opens for mailto: links, found the way its own menus find it:
// the mimeapps.list defaults, then the program's desktop entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/file_system.h"
#include "ports/path_probe.h"

namespace postvane {

struct DesktopEntry {
  std::string Name;               // in the user's language where the entry has it
  std::vector<std::string> Exec;  // program and arguments, field codes expanded or dropped
  std::string Path;               // the entry's file
};

// The desktop-file ids listed for x-scheme-handler/mailto under [Default Applications] of
// one mimeapps.list text, in order.
std::vector<std::string> MailtoDefaults(const std::string& mimeappsText);

// The [Desktop Entry] group of a desktop file: nothing for a hidden entry, one that is no
// application, or one without a usable Exec line. `languageCode` picks Name[code].
std::optional<DesktopEntry> ParseDesktopEntry(const std::string& text,
                                              const std::string& languageCode,
                                              const std::string& path);

// An Exec value split into arguments by the desktop-entry quoting rules. Field codes for files
// and addresses are dropped (the client opens with no message), %c becomes the name, %k the
// entry's file, %% a percent sign. Nothing for a malformed line.
std::optional<std::vector<std::string>> ExecArguments(const std::string& exec,
                                                      const std::string& name,
                                                      const std::string& path);

// The XDG base directory rules: the user's mimeapps.list files, then the system's; the first
// default whose desktop entry exists and is usable wins.
std::optional<DesktopEntry> FindMailtoHandler(FileSystem& files, PathProbe& environment,
                                              int16_t languageBase);

}  // namespace postvane
