// Exec quoting follows the desktop entry rules: reserved characters inside double quotes get a
// backslash, and string escaping doubles every backslash once more.
#include "settings/autostart_entry.h"

#include <utility>

#include "settings/app_id.h"
#include "settings/user_config_home.h"

namespace postvane {

namespace {

constexpr const char* kEntryName = "postvane.desktop";

// Reserved on an Exec line: the argument is quoted when one of these appears.
bool NeedsQuotes(const std::string& path) {
  return path.find_first_of(" \t\"'\\><~|&;$*?#()`") != std::string::npos;
}

std::string QuotedExec(const std::string& path) {
  std::string exec;
  const bool quoted = NeedsQuotes(path);
  if (quoted) exec += '"';
  for (const char c : path) {
    if (c == '%') {
      exec += "%%";  // field codes start with %
    } else if (quoted && (c == '"' || c == '`' || c == '$')) {
      exec += '\\';
      exec += c;
    } else if (c == '\\') {
      // Escaped for the quoting rule inside quotes, then again as a string value.
      exec += "\\\\\\\\";
    } else {
      exec += c;
    }
  }
  if (quoted) exec += '"';
  return exec;
}

}  // namespace

std::string AutostartEntryText(const std::string& programFile, const std::string& iconName) {
  if (programFile.empty() || programFile.front() != '/') return {};
  for (const char c : programFile) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return {};
  }
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Postvane\n"
         "Exec=" +
         QuotedExec(programFile) +
         "\n"
         "Icon=" +
         iconName +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

AutostartEntry::AutostartEntry(PathProbe& probe, FileSystem& files, std::string programFile)
    : probe_(probe), files_(files), programFile_(std::move(programFile)) {
  const std::string configHome = UserConfigHome(probe_);
  if (configHome.empty()) return;
  folder_ = configHome + "/autostart";
  entryFile_ = folder_ + "/" + kEntryName;
}

bool AutostartEntry::Exists() const {
  return !entryFile_.empty() && files_.IsPlainFile(entryFile_);
}

bool AutostartEntry::Set(bool wanted) {
  if (entryFile_.empty()) return false;
  if (!wanted) return probe_.RemoveFile(entryFile_);
  const std::string text = AutostartEntryText(programFile_, kAppId);
  if (text.empty() || !probe_.MakeFolder(folder_)) return false;
  // Replaced as a whole: a desktop reading it at log-in never sees half an entry.
  return files_.ReplaceFile(entryFile_, text);
}

}  // namespace postvane
