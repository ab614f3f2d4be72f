// Program starter for tests: records the command lines; can be made to fail.
#pragma once

#include <string>
#include <vector>

#include "fakes/call_log.h"
#include "ports/program_starter.h"

namespace postvane {

class FakeProgramStarter : public ProgramStarter {
 public:
  explicit FakeProgramStarter(CallLog* log = nullptr) : log_(log) {}

  std::vector<std::string> Started;
  bool Succeeds = true;

  bool StartDetached(const std::string& commandLine) override {
    Started.push_back(commandLine);
    if (log_ != nullptr) log_->push_back("StartDetached(" + commandLine + ")");
    return Succeeds;
  }

 private:
  CallLog* log_;
};

}  // namespace postvane
