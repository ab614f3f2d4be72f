// FileSystem on the real disk, in standard C++ only (std::filesystem and file streams).
#pragma once

#include <string>

#include "ports/file_system.h"

namespace postvane {

// Paths are UTF-8 text on every platform.
class StdFileSystem : public FileSystem {
 public:
  bool ReadFile(const std::string& path, std::string& bytes) override;
  // Writes a temporary file beside the target and renames it over the target, so a failure
  // at any point leaves the old file as it was. The target keeps its permissions; a file
  // created here is for its owner only, since the settings hold a password.
  bool ReplaceFile(const std::string& path, const std::string& bytes) override;
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  bool AppendFile(const std::string& path, const std::string& bytes) override;
  bool IsPlainFile(const std::string& path) override;
};

}  // namespace postvane
