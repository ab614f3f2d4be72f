// In-memory FileSystem for tests: files are entries of a map, writes can be made to fail.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ports/file_system.h"

namespace postvane {

class FakeFileSystem : public FileSystem {
 public:
  // Path -> content. Tests may read and edit it directly.
  std::map<std::string, std::string> Files;
  // Paths that exist but cannot be read (ReadFile fails, IsPlainFile is true).
  std::set<std::string> Unreadable;
  // Paths that are folders: not plain files, cannot be read or written.
  std::set<std::string> Folders;
  // Every write (replace, write, append) fails and changes nothing.
  bool FailWrites = false;

  // LockSideFile gives no lock.
  bool FailLocks = false;
  // Called inside ReadFile, once; lets a test act as another writer between a read and the
  // replace that follows it.
  std::function<void()> OnNextRead;

  int ReadCount = 0;
  // LockSideFile calls, granted or not: each may wait in a real file system.
  int LockAttempts = 0;
  int ReplaceCount = 0;
  int WriteCount = 0;
  int AppendCount = 0;
  // Side files whose lock is held now, and what happened while one was held.
  std::set<std::string> HeldLocks;
  int ReadsUnderLock = 0;
  int ReplacesUnderLock = 0;
  int ReplacesWithoutLock = 0;
  std::vector<std::string> TemporaryCleanups;
  std::vector<std::pair<std::string, std::string>> Renames;

  bool ReadFile(const std::string& path, std::string& bytes) override {
    ++ReadCount;
    if (!HeldLocks.empty()) ++ReadsUnderLock;
    if (OnNextRead) std::exchange(OnNextRead, nullptr)();
    if (Unreadable.count(path) != 0 || Folders.count(path) != 0) return false;
    auto it = Files.find(path);
    if (it == Files.end()) return false;
    bytes = it->second;
    return true;
  }

  bool ReplaceFile(const std::string& path, const std::string& bytes) override {
    ++ReplaceCount;
    ++(HeldLocks.empty() ? ReplacesWithoutLock : ReplacesUnderLock);
    if (!Writable(path)) return false;
    Files[path] = bytes;
    return true;
  }

  bool WriteFile(const std::string& path, const std::string& bytes) override {
    ++WriteCount;
    if (!Writable(path)) return false;
    Files[path] = bytes;
    return true;
  }

  bool AppendFile(const std::string& path, const std::string& bytes) override {
    ++AppendCount;
    if (!Writable(path)) return false;
    Files[path] += bytes;
    return true;
  }

  bool IsPlainFile(const std::string& path) override {
    return Files.count(path) != 0 || Unreadable.count(path) != 0;
  }

  std::optional<std::uintmax_t> FileSize(const std::string& path) override {
    auto it = Files.find(path);
    if (it == Files.end()) return std::nullopt;
    return it->second.size();
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    auto it = Files.find(from);
    if (it == Files.end() || !Writable(to)) return false;
    Renames.emplace_back(from, to);
    Files[to] = std::move(it->second);
    Files.erase(from);
    return true;
  }

  std::unique_ptr<FileLock> LockSideFile(const std::string& path) override {
    ++LockAttempts;
    if (FailLocks || HeldLocks.count(path) != 0) return nullptr;
    return std::make_unique<HeldLock>(*this, path);
  }

  void RemoveTemporaries(const std::string& path) override { TemporaryCleanups.push_back(path); }

  bool Exists(const std::string& path) const { return Files.count(path) != 0; }

  // Content of a file, empty when it does not exist.
  std::string Content(const std::string& path) const {
    auto it = Files.find(path);
    return it == Files.end() ? std::string() : it->second;
  }

 private:
  class HeldLock : public FileLock {
   public:
    HeldLock(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {
      files_.HeldLocks.insert(path_);
    }
    ~HeldLock() override { files_.HeldLocks.erase(path_); }

   private:
    FakeFileSystem& files_;
    std::string path_;
  };

  bool Writable(const std::string& path) const {
    return !FailWrites && Folders.count(path) == 0 && Unreadable.count(path) == 0;
  }
};

}  // namespace postvane
