// Guards for a process that holds passwords in memory.
#pragma once

namespace postvane {

// No core file and no debugger attach by other processes of the same user: a dump would hold
// the passwords in clear. True when the system agreed.
bool ForbidCoreDumps();

}  // namespace postvane
