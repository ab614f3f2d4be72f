// The event loop that both programs run on.
#pragma once

namespace postvane {

// Call before the application object is made: Qt's own event loop instead of GLib's. GLib's
// wakes itself with an extra write and read each time a socket is watched or no longer
// watched, which happens several times for every POP3 command. A choice already made in the
// environment stands.
void ChooseEventLoop();

}  // namespace postvane
