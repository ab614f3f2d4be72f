// The core's file access on the Windows API: wide paths, whole-file replacement, owner-only files.
#pragma once

#include "ports/file_system.h"

namespace postvane {

// Paths are UTF-8. ReplaceFile writes a new file beside the target whose access list allows
// its owner alone (set as it is created, before a byte is written), then swaps it in with
// ReplaceFileW (an existing target keeps its own access list) or MoveFileExW.
class Win32FileSystem : public FileSystem {
 public:
  bool ReadFile(const std::string& path, std::string& bytes) override;
  bool ReplaceFile(const std::string& path, const std::string& bytes) override;
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  bool AppendFile(const std::string& path, const std::string& bytes) override;
  bool IsPlainFile(const std::string& path) override;
};

}  // namespace postvane
