// GetModuleFileNameW and CommandLineToArgvW, turned into the core's UTF-8.
#include "win32/program_folder.h"

// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "win32/wide_text.h"

namespace postvane {

std::string ExecutableFolder() { return FolderOf(ExecutableFile()); }

std::string ExecutableFile() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return Narrow(path);
}

std::vector<std::string> CommandArguments() {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** given = CommandLineToArgvW(GetCommandLineW(), &count);
  if (given == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Narrow(given[i]));
  LocalFree(given);
  return arguments;
}

std::string FolderOf(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/");
  if (last == std::string::npos) return ".";
  if (last == 0 || (last == 2 && path[1] == ':')) return path.substr(0, last + 1);
  return path.substr(0, last);
}

}  // namespace postvane
