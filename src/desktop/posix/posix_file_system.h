// The file-system port on POSIX systems: private exclusive temporaries, synced replacement,
// owner checks on links, advisory locks shared with other processes.
#pragma once

#include <memory>
#include <string>

#include "settings/std_file_system.h"

namespace postvane {

// Reads, plain writes, sizes and renames are the portable ones; everything that guards the
// passwords or other programs' changes is done here with the system's own calls.
class PosixFileSystem : public StdFileSystem {
 public:
  // The temporary copy is created owner-only and exclusively (never through a link) before a
  // byte is written, synced, renamed over the target, and the folder is synced.
  bool ReplaceFile(const std::string& path, const std::string& bytes) override;
  // Never follows a link and never waits on a FIFO; anything but a plain file of this user or
  // of root is refused.
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  // Never follows a link and never waits on a FIFO; anything but a plain file of this user is
  // refused; a wider file is tightened.
  bool AppendFile(const std::string& path, const std::string& bytes) override;
  // flock on the side file; a side file of another user is refused.
  std::unique_ptr<FileLock> LockSideFile(const std::string& path) override;
  void RemoveTemporaries(const std::string& path) override;

  // How long LockSideFile waits for another holder before it gives up.
  void SetLockWaitMs(int milliseconds) { lockWaitMs_ = milliseconds; }

 private:
  int lockWaitMs_ = 10000;
};

}  // namespace postvane
