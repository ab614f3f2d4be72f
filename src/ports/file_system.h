// Files the core reads and writes: settings, receive log, MDaemon semaphores.
#pragma once

#include <string>

namespace postvane {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Whole file as bytes. False when it is missing or unreadable.
  virtual bool ReadFile(const std::string& path, std::string& bytes) = 0;
  // Replaces the file as a whole: either the old or the new content is on disk, never a mix.
  // A file this call creates is readable and writable by its owner only.
  virtual bool ReplaceFile(const std::string& path, const std::string& bytes) = 0;
  // Creates or truncates, then writes.
  virtual bool WriteFile(const std::string& path, const std::string& bytes) = 0;
  // Opens for appending (creating it when missing), writes, closes.
  virtual bool AppendFile(const std::string& path, const std::string& bytes) = 0;
  // A plain file (not a folder) of that name exists. Errors read as false.
  virtual bool IsPlainFile(const std::string& path) = 0;
};

}  // namespace postvane
