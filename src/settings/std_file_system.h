// FileSystem on the real disk, in standard C++ only (std::filesystem and file streams).
#pragma once

#include <string>

#include "ports/file_system.h"

namespace postvane {

// Paths are UTF-8 text on every platform. The portable fallback: standard C++ knows no file
// owners and no locks, so it refuses to replace any link, and its lock keeps out nobody but
// itself. The programs use their platform's implementation instead.
class StdFileSystem : public FileSystem {
 public:
  bool ReadFile(const std::string& path, std::string& bytes) override;
  // Writes a temporary file beside the target and renames it over the target, so a failure
  // at any point leaves the old file as it was. The new file is for its owner only.
  bool ReplaceFile(const std::string& path, const std::string& bytes) override;
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  bool AppendFile(const std::string& path, const std::string& bytes) override;
  bool IsPlainFile(const std::string& path) override;
  std::optional<std::uintmax_t> FileSize(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  std::unique_ptr<FileLock> LockSideFile(const std::string& path) override;
  void RemoveTemporaries(const std::string& path) override;
};

// The name part "<file>.tmp-" that ReplaceFile gives its temporary copies of `file`, followed
// by digits. Shared with the platform implementations, so each removes the others' leftovers.
std::string TemporaryPrefix(const std::string& fileName);
bool IsTemporaryName(const std::string& name, const std::string& fileName);

}  // namespace postvane
