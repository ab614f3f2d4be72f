// Files the core reads and writes: settings, receive log, MDaemon semaphores.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace postvane {

// An advisory lock, held for as long as the object lives.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Whole file as bytes. False when it is missing or unreadable.
  virtual bool ReadFile(const std::string& path, std::string& bytes) = 0;
  // Replaces the file as a whole: either the old or the new content is on disk, never a mix.
  // The new content is readable by its owner only from its first byte on, whatever the old
  // file allowed. A path that is a link is replaced by a plain file only when the link and
  // what it points at are the user's own; otherwise nothing is written and the call fails.
  virtual bool ReplaceFile(const std::string& path, const std::string& bytes) = 0;
  // Creates or truncates, then writes.
  virtual bool WriteFile(const std::string& path, const std::string& bytes) = 0;
  // Opens for appending, writes, closes. A file this call creates is its owner's only; a path
  // that is a link is not followed (the call fails).
  virtual bool AppendFile(const std::string& path, const std::string& bytes) = 0;
  // A plain file (not a folder) of that name exists. Errors read as false.
  virtual bool IsPlainFile(const std::string& path) = 0;
  // Size in bytes of a plain file; nullopt when it is missing or not a plain file.
  virtual std::optional<std::uintmax_t> FileSize(const std::string& path) = 0;
  // Renames `from` to `to`, replacing `to` when it exists.
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // An exclusive lock on the side file `path` (made owner-only when missing), shared with other
  // processes; waits a bounded time for another holder. Null when it cannot be had.
  virtual std::unique_ptr<FileLock> LockSideFile(const std::string& path) = 0;
  // Removes the temporary copies that ReplaceFile leaves beside `path` when it is killed. Call
  // it only under the lock that every writer of `path` takes.
  virtual void RemoveTemporaries(const std::string& path) = 0;
};

}  // namespace postvane
