// Settings replacement, the receive log and the settings lock with POSIX calls.
#include "desktop/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <utility>

namespace postvane {

namespace {

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;
// A file another program reads (the MDaemon request): the umask decides as for any new file.
constexpr mode_t kSharedFile = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;

// Closes the descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }
  // close() reports late write errors on some file systems; a save must see them.
  bool Close() { return ::close(Release()) == 0; }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The descriptor is a plain file of this user; a wider one is made owner-only.
bool OwnPlainFile(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    return false;
  }
  if ((info.st_mode & 07777) != kOwnerOnly && ::fchmod(fd, kOwnerOnly) != 0) return false;
  return true;
}

// A link is replaced by a plain file only when the user owns both it and what it points at;
// otherwise a save could be steered into another user's file, or rob them of their link.
bool MayReplace(const std::string& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0) return errno == ENOENT;
  const uid_t user = ::geteuid();
  if (S_ISLNK(link.st_mode)) {
    struct stat target {};
    if (link.st_uid != user || ::stat(path.c_str(), &target) != 0) return false;
    return S_ISREG(target.st_mode) && target.st_uid == user;
  }
  if (!S_ISREG(link.st_mode)) return false;
  // The platform refuses to write a read-only file; a rename would not, so ask first.
  return (link.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// An exclusive new file beside the target: O_EXCL never opens an existing name or a link.
Descriptor CreateTemporary(const std::string& path, std::string& name) {
  static std::atomic<std::uint64_t> counter{0};
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::mt19937_64 mix(seed ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL) ^
                        static_cast<std::uint64_t>(::getpid()));
    name = FolderOf(path) + "/" + TemporaryPrefix(NameOf(path)) + std::to_string(mix());
    const int fd =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly);
    if (fd >= 0) return Descriptor(fd);
    if (errno != EEXIST) break;
  }
  name.clear();
  return Descriptor();
}

void SyncFolder(const std::string& folder) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.Get() >= 0) ::fsync(fd.Get());
}

class FlockHold : public FileLock {
 public:
  explicit FlockHold(int fd) : fd_(fd) {}
  ~FlockHold() override { ::flock(fd_.Get(), LOCK_UN); }

 private:
  Descriptor fd_;
};

}  // namespace

bool PosixFileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  if (path.empty() || !MayReplace(path)) return false;
  std::string temporary;
  Descriptor fd = CreateTemporary(path, temporary);
  if (fd.Get() < 0) return false;
  // The umask may have taken the owner's own bits; the mode is set before any content.
  bool done =
      ::fchmod(fd.Get(), kOwnerOnly) == 0 && WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
  done = fd.Close() && done;
  if (done) done = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!done) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

bool PosixFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  // Non-blocking, so that a FIFO put in the file's place cannot hold the program; it is then
  // refused with every other file that is not plain, or that someone else planted.
  Descriptor fd(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kSharedFile));
  if (fd.Get() < 0) return false;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      (info.st_uid != ::geteuid() && info.st_uid != 0)) {
    return false;
  }
  const bool written = ::ftruncate(fd.Get(), 0) == 0 && WriteAll(fd.Get(), bytes);
  return fd.Close() && written;
}

bool PosixFileSystem::AppendFile(const std::string& path, const std::string& bytes) {
  // Non-blocking for the same reason as WriteFile: a FIFO as the log must not hang the check.
  Descriptor fd(::open(path.c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       kOwnerOnly));
  if (fd.Get() < 0 || !OwnPlainFile(fd.Get())) return false;
  const bool written = WriteAll(fd.Get(), bytes);
  return fd.Close() && written;
}

std::unique_ptr<FileLock> PosixFileSystem::LockSideFile(const std::string& path) {
  Descriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly));
  // Another user's side file could be held by them for ever: not ours, not used.
  if (fd.Get() < 0 || !OwnPlainFile(fd.Get())) return nullptr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs_);
  // Saves hold the lock for milliseconds; polling keeps the wait bounded without signals.
  while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return std::make_unique<FlockHold>(fd.Release());
}

void PosixFileSystem::RemoveTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string fileName = NameOf(path);
  Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFd.Get() < 0) return;
  DIR* listing = ::fdopendir(::dup(folderFd.Get()));
  if (listing == nullptr) return;
  const uid_t user = ::geteuid();
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (!IsTemporaryName(name, fileName)) continue;
    struct stat info {};
    if (::fstatat(folderFd.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(info.st_mode) && info.st_uid == user) ::unlinkat(folderFd.Get(), name.c_str(), 0);
  }
  ::closedir(listing);
}

}  // namespace postvane
