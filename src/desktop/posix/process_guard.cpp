// Linux: prctl(PR_SET_DUMPABLE); elsewhere the core size limit is the only handle.
#include "desktop/posix/process_guard.h"

#include <sys/resource.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace postvane {

bool ForbidCoreDumps() {
  const rlimit none{0, 0};
  bool done = ::setrlimit(RLIMIT_CORE, &none) == 0;
#if defined(__linux__)
  done = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && done;
#endif
  return done;
}

}  // namespace postvane
