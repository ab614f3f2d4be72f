// A path probe over sets the test fills: files, writable folders, environment; records folders
// made.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "ports/path_probe.h"

namespace postvane::test {

class FakePathProbe : public PathProbe {
 public:
  bool IsPlainFile(const std::string& path) override { return Files.count(path) > 0; }
  bool IsWritableFolder(const std::string& path) override {
    return WritableFolders.count(path) > 0;
  }
  std::string EnvironmentValue(const std::string& name) override {
    const auto found = Environment.find(name);
    return found == Environment.end() ? std::string() : found->second;
  }
  bool MakeOwnerOnlyFolder(const std::string& path) override {
    FoldersMade.push_back(path);
    return !FolderFails;
  }

  bool MakeFolder(const std::string& path) override {
    FoldersMade.push_back(path);
    return !FolderFails;
  }
  bool RemoveFile(const std::string& path) override {
    if (RemoveFails) return false;
    Files.erase(path);
    if (Backing) Backing->Files.erase(path);
    return true;
  }

  std::set<std::string> Files;
  std::set<std::string> WritableFolders;
  std::map<std::string, std::string> Environment;
  std::vector<std::string> FoldersMade;
  bool FolderFails = false;
  bool RemoveFails = false;
  // Files written through this file system are removed through the probe too.
  FakeFileSystem* Backing = nullptr;
};

}  // namespace postvane::test
