// The settings-place questions answered through QtCore, for both programs.
#pragma once

#include "ports/path_probe.h"

namespace postvane {

class QtPathProbe : public PathProbe {
 public:
  bool IsPlainFile(const std::string& path) override;
  bool IsWritableFolder(const std::string& path) override;
  std::string EnvironmentValue(const std::string& name) override;
  bool MakeOwnerOnlyFolder(const std::string& path) override;
  bool MakeFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
};

}  // namespace postvane
