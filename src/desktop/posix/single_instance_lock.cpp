// flock on a file the user owns: released by the system when the process ends, even killed.
#include "desktop/posix/single_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace postvane {

namespace {

// A real folder (not a link) of this user that no one else may write to.
bool PrivateFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string SingleInstanceFolder() {
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime.front() == '/' && PrivateFolder(runtime)) return runtime;

  std::string temporary = Environment("TMPDIR");
  if (temporary.empty() || temporary.front() != '/') temporary = "/tmp";
  const std::string own = temporary + "/postvane-" + std::to_string(::geteuid());
  // mkdir never follows a link, and the check after it sees who made the name.
  if (::mkdir(own.c_str(), S_IRWXU) != 0 && errno != EEXIST) return {};
  return PrivateFolder(own) ? own : std::string();
}

std::string SingleInstanceLockPath() {
  const std::string folder = SingleInstanceFolder();
  return folder.empty() ? std::string() : folder + "/postvane.lock";
}

SingleInstanceLock::SingleInstanceLock(const std::string& path) {
  if (path.empty()) return;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd_ < 0) return;
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    outcome_ = Outcome::Held;
  } else if (errno == EWOULDBLOCK) {
    outcome_ = Outcome::AnotherInstance;
  }
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace postvane
