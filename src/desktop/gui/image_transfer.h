// How the tray program hands its pictures to the X server.
#pragma once

namespace postvane {

// Call before the application object is made: pictures go to the X server in the request
// itself rather than through shared memory. The program's windows are small and its tray
// icons tiny; a shared-memory picture costs a completion event, and with it two wakeups, for
// every repaint of a blinking icon. A choice already made in the environment stands.
void ChooseImageTransfer();

}  // namespace postvane
