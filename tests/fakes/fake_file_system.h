// In-memory FileSystem for tests: files are entries of a map, writes can be made to fail.
#pragma once

#include <map>
#include <set>
#include <string>

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

  int ReadCount = 0;
  int ReplaceCount = 0;
  int WriteCount = 0;
  int AppendCount = 0;

  bool ReadFile(const std::string& path, std::string& bytes) override {
    ++ReadCount;
    if (Unreadable.count(path) != 0 || Folders.count(path) != 0) return false;
    auto it = Files.find(path);
    if (it == Files.end()) return false;
    bytes = it->second;
    return true;
  }

  bool ReplaceFile(const std::string& path, const std::string& bytes) override {
    ++ReplaceCount;
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

  bool Exists(const std::string& path) const { return Files.count(path) != 0; }

  // Content of a file, empty when it does not exist.
  std::string Content(const std::string& path) const {
    auto it = Files.find(path);
    return it == Files.end() ? std::string() : it->second;
  }

 private:
  bool Writable(const std::string& path) const {
    return !FailWrites && Folders.count(path) == 0 && Unreadable.count(path) == 0;
  }
};

}  // namespace postvane
