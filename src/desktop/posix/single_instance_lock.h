// One running tray program per user: an advisory lock on a file in a folder only the user owns.
#pragma once

#include <string>

namespace postvane {

// The user's runtime folder (XDG_RUNTIME_DIR) when it is an absolute path to a folder of this
// user that nobody else may write to; else "postvane-<uid>" in the temporary folder, made
// owner-only when missing. Empty when neither can be trusted: another user made that name first.
std::string SingleInstanceFolder();
// "<folder>/postvane.lock", or empty with the folder.
std::string SingleInstanceLockPath();

class SingleInstanceLock {
 public:
  enum class Outcome { Held, AnotherInstance, Unavailable };

  // Takes the lock at once or not at all. The lock ends with the process, however it ends.
  explicit SingleInstanceLock(const std::string& path = SingleInstanceLockPath());
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  Outcome Result() const { return outcome_; }
  // True only when another running instance of this user holds the lock. A lock that cannot
  // be had at all (no folder of ours, a file of another user) does not keep the program from
  // running: anyone could otherwise stop it by making that file first.
  bool AnotherInstanceRunning() const { return outcome_ == Outcome::AnotherInstance; }

 private:
  int fd_ = -1;
  Outcome outcome_ = Outcome::Unavailable;
};

}  // namespace postvane
