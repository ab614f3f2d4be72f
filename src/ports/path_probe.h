// What the program asks of the system about the user's folders: where the settings live, and
// the desktop's autostart entry.
#pragma once

#include <string>

namespace postvane {

class PathProbe {
 public:
  virtual ~PathProbe() = default;
  // A plain file (not a folder) of that name exists. Errors read as false.
  virtual bool IsPlainFile(const std::string& path) = 0;
  // This user may create files in the folder.
  virtual bool IsWritableFolder(const std::string& path) = 0;
  // The environment variable's value; empty when it is unset.
  virtual std::string EnvironmentValue(const std::string& name) = 0;
  // Creates the folder and missing parents; the folder itself ends up readable, writable and
  // listable by its owner only. False when it cannot be made so.
  virtual bool MakeOwnerOnlyFolder(const std::string& path) = 0;
  // Creates the folder and missing parents with the usual rights. True when it exists.
  virtual bool MakeFolder(const std::string& path) = 0;
  // Removes a file. True when it is gone afterwards, also when it never existed.
  virtual bool RemoveFile(const std::string& path) = 0;
};

}  // namespace postvane
