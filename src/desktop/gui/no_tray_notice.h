// The word a user gets when the desktop has no notification area to show the icons in.
#pragma once

#include <cstdint>
#include <ostream>

class QWidget;

namespace postvane {

// Writes the notice in the user's language to `err` and opens it in a small window of its
// own, which deletes itself when closed. The caller shows it once per start.
QWidget* TellNoNotificationArea(int16_t languageBase, std::ostream& err);

}  // namespace postvane
