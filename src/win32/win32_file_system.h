// The core's file access on the Windows API: wide paths, whole-file replacement, owner-only files.
#pragma once

#include "ports/file_system.h"

namespace postvane {

// Paths are UTF-8. ReplaceFile writes a new file beside the target whose access list allows
// its owner alone (set as it is created, before a byte is written), then swaps it in with
// ReplaceFileW (an existing target keeps its own access list) or MoveFileExW. The side-file
// lock is LockFileEx on the whole file, which other processes see as well.
class Win32FileSystem : public FileSystem {
 public:
  bool ReadFile(const std::string& path, std::string& bytes) override;
  bool ReplaceFile(const std::string& path, const std::string& bytes) override;
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  bool AppendFile(const std::string& path, const std::string& bytes) override;
  bool IsPlainFile(const std::string& path) override;
  std::optional<std::uintmax_t> FileSize(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  std::unique_ptr<FileLock> LockSideFile(const std::string& path) override;
  void RemoveTemporaries(const std::string& path) override;

  // How long LockSideFile waits for another holder.
  void SetLockWaitMs(int milliseconds) { lockWaitMs_ = milliseconds; }

 private:
  int lockWaitMs_ = 10000;
};

}  // namespace postvane
