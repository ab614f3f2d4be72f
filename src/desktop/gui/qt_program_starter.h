// Starts the mail program from its command line, detached, without waiting.
#pragma once

#include <QString>
#include <QStringList>

#include "app/program_starter.h"

namespace postvane {

class QtProgramStarter : public ProgramStarter {
 public:
  // The command line is split the way a shell would (quotes group, backslashes escape).
  // An empty line, a missing or unstartable program all give false and nothing else.
  bool StartDetached(const std::string& commandLine) override;
};

// The program and its arguments from a command line; empty for a line without a program.
QStringList SplitCommandLine(const std::string& commandLine);

}  // namespace postvane
