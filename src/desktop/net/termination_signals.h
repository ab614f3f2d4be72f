// Ends the Qt event loop cleanly on SIGTERM or SIGINT (Ctrl+C), for programs that run until
// they are told to stop.
#pragma once

namespace postvane {

// Call once, after the QCoreApplication exists. A signal then makes exec() return, so that the
// program closes its connections and exits with its own status. False when the system
// refused a pipe or a handler; the signals then keep their default action.
bool QuitOnTerminationSignals();

}  // namespace postvane
