// One running Postvane per user: a lock file in the user's runtime (or temporary) folder.
#pragma once

#include <QLockFile>
#include <QString>

namespace postvane {

// Where the lock lives: the runtime folder when there is one, else the temporary folder.
QString SingleInstanceLockPath();

// Takes the lock on construction and holds it for its lifetime. A lock left behind by a
// process that no longer runs is taken over.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(const QString& path = SingleInstanceLockPath());

  // True only when another running instance holds the lock. A lock that cannot be made at
  // all (no writable folder) does not keep the program from running.
  bool AnotherInstanceRunning() const { return anotherInstance_; }

 private:
  QLockFile lock_;
  bool anotherInstance_ = false;
};

}  // namespace postvane
