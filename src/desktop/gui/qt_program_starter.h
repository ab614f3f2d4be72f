// Starts the mail program from its command line, detached, without waiting.
#pragma once

#include <QString>
#include <QStringList>

#include "ports/program_starter.h"

namespace postvane {

class QtProgramStarter : public ProgramStarter {
 public:
  // An empty line, a missing or unstartable program all give false and nothing else.
  bool StartDetached(const std::string& commandLine) override;
};

// The program and its arguments from a command line, split as a POSIX shell splits words:
// blanks separate, single quotes keep everything, double quotes keep all but \" \\ \$ \`,
// a backslash outside quotes keeps the next character. Nothing is expanded; an unclosed quote
// runs to the end. (On Windows, the platform's own command-line rules.)
QStringList SplitCommandLine(const std::string& commandLine);

}  // namespace postvane
