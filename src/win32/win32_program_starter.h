// Starts the mail reader from its command line with CreateProcessW, without waiting for it.
#pragma once

#include "ports/program_starter.h"

namespace postvane {

class Win32ProgramStarter : public ProgramStarter {
 public:
  bool StartDetached(const std::string& commandLine) override;
};

}  // namespace postvane
