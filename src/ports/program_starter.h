// Starts another program from a command line without waiting for it.
#pragma once

#include <string>

namespace postvane {

class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;
  // Failures are ignored by the caller; the result is for tests and logs only.
  virtual bool StartDetached(const std::string& commandLine) = 0;
};

}  // namespace postvane
