// The settings place on Windows: the installer's record in the registry and %APPDATA%.
#include "win32/settings_location.h"

#include <windows.h>

#include <cwctype>

#include "settings/program_paths.h"
#include "win32/wide_text.h"

namespace postvane {
namespace {

// Without a trailing separator, in upper case: folders compare as the file system does.
std::wstring FolderKey(std::wstring folder) {
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  for (wchar_t& c : folder) c = static_cast<wchar_t>(std::towupper(c));
  return folder;
}

// The same folder under any name (another case, a short name, another drive letter for it):
// the volume and the file index agree.
bool SameFolder(const std::wstring& a, const std::wstring& b) {
  if (FolderKey(a) == FolderKey(b)) return true;
  const auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE folder =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(folder, &info) != FALSE;
    CloseHandle(folder);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return identity(a, first) && identity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool MakeFolders(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
  const std::size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring::npos || cut == 0) return false;
  return MakeFolders(path.substr(0, cut)) && CreateDirectoryW(path.c_str(), nullptr);
}

}  // namespace

bool Win32PathProbe::IsPlainFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32PathProbe::IsWritableFolder(const std::string& path) {
  const std::wstring probe = Widen(JoinPath(path, "Postvane.write-test"));
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::string Win32PathProbe::EnvironmentValue(const std::string& name) {
  const std::wstring wide = Widen(name);
  const DWORD size = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide.c_str(), value.data(), size);
  value.resize(length < size ? length : 0);
  return Narrow(value);
}

bool Win32PathProbe::MakeOwnerOnlyFolder(const std::string& path) {
  return MakeFolders(Widen(path));
}

bool Win32PathProbe::MakeFolder(const std::string& path) { return MakeFolders(Widen(path)); }

bool Win32PathProbe::RemoveFile(const std::string& path) {
  const std::wstring wide = Widen(path);
  return DeleteFileW(wide.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool InstalledIn(const std::string& programFolder) {
  wchar_t recorded[MAX_PATH * 2] = {};
  DWORD size = sizeof(recorded);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Postvane", L"InstallFolder", RRF_RT_REG_SZ,
                   nullptr, recorded, &size) != ERROR_SUCCESS) {
    return false;
  }
  return SameFolder(recorded, Widen(programFolder));
}

ChosenPaths ChooseWindowsPaths(const std::string& programFolder,
                               const std::optional<std::string>& settingsFile) {
  Win32PathProbe probe;
  const std::string appData = probe.EnvironmentValue("APPDATA");
  const std::string userFolder = appData.empty() ? std::string() : JoinPath(appData, "Postvane");
  return ChooseProgramPaths(programFolder, settingsFile, InstalledIn(programFolder), userFolder,
                            probe);
}

}  // namespace postvane
